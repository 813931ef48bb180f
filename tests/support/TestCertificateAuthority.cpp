#include "support/TestCertificateAuthority.h"

#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <fstream>
#include <stdexcept>

namespace tolvatest {
namespace {

EVP_PKEY* newKey() {
  EVP_PKEY* key = EVP_EC_gen("P-256");
  if (!key) throw std::runtime_error("cannot generate a P-256 key");
  return key;
}

void addExtension(X509* certificate, X509* issuer, int nid, const std::string& value) {
  X509V3_CTX context;
  X509V3_set_ctx_nodb(&context);
  X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
  X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str());
  if (!extension) throw std::runtime_error("bad certificate extension " + value);
  X509_add_ext(certificate, extension, -1);
  X509_EXTENSION_free(extension);
}

// A certificate for `key` with the given subject, not yet signed.
X509* newCertificate(EVP_PKEY* key, const std::string& commonName, long notBefore, long notAfter) {
  X509* certificate = X509_new();
  X509_set_version(certificate, 2);
  BIGNUM* serial = BN_new();
  BN_rand(serial, 63, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY);
  BN_to_ASN1_INTEGER(serial, X509_get_serialNumber(certificate));
  BN_free(serial);
  X509_gmtime_adj(X509_getm_notBefore(certificate), notBefore);
  X509_gmtime_adj(X509_getm_notAfter(certificate), notAfter);
  X509_set_pubkey(certificate, key);
  X509_NAME* name = X509_get_subject_name(certificate);
  X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("Tolva Tests"), -1, -1,
                             0);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(commonName.c_str()),
                             -1, -1, 0);
  return certificate;
}

std::string toPEM(X509* certificate) {
  BIO* bio = BIO_new(BIO_s_mem());
  PEM_write_bio_X509(bio, certificate);
  char* data = nullptr;
  long length = BIO_get_mem_data(bio, &data);
  std::string pem(data, size_t(length));
  BIO_free(bio);
  return pem;
}

std::string toPEM(EVP_PKEY* key) {
  BIO* bio = BIO_new(BIO_s_mem());
  PEM_write_bio_PrivateKey(bio, key, nullptr, nullptr, 0, nullptr, nullptr);
  char* data = nullptr;
  long length = BIO_get_mem_data(bio, &data);
  std::string pem(data, size_t(length));
  BIO_free(bio);
  return pem;
}

}  // namespace

struct TestCertificateAuthority::Keys {
  EVP_PKEY* key = nullptr;
  X509* certificate = nullptr;
  ~Keys() {
    X509_free(certificate);
    EVP_PKEY_free(key);
  }
};

TestCertificateAuthority::TestCertificateAuthority(const std::string& commonName)
    : keys_(std::make_unique<Keys>()) {
  keys_->key = newKey();
  X509* certificate = newCertificate(keys_->key, commonName, -24L * 3600, 365L * 24 * 3600);
  keys_->certificate = certificate;
  X509_set_issuer_name(certificate, X509_get_subject_name(certificate));
  addExtension(certificate, certificate, NID_basic_constraints, "critical,CA:TRUE");
  addExtension(certificate, certificate, NID_key_usage, "critical,keyCertSign,cRLSign");
  addExtension(certificate, certificate, NID_subject_key_identifier, "hash");
  addExtension(certificate, certificate, NID_authority_key_identifier, "keyid:always");
  if (X509_sign(certificate, keys_->key, EVP_sha256()) == 0) throw std::runtime_error("cannot sign the test CA");
  certificatePEM_ = toPEM(certificate);
}

TestCertificateAuthority::~TestCertificateAuthority() = default;

const TestCertificateAuthority& TestCertificateAuthority::shared() {
  static const TestCertificateAuthority authority("Tolva Test CA");
  return authority;
}

const TestCertificateAuthority& TestCertificateAuthority::untrusted() {
  static const TestCertificateAuthority authority("Tolva Untrusted Test CA");
  return authority;
}

bool TestCertificateAuthority::writeCertificate(const std::string& path) const {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << certificatePEM_;
  out.close();
  return bool(out);
}

TestCertificate TestCertificateAuthority::issue(const TestCertificateRequest& request) const {
  std::lock_guard<std::mutex> lock(mutex_);
  EVP_PKEY* key = newKey();
  X509* certificate = newCertificate(key, request.commonName, request.notBeforeSeconds, request.notAfterSeconds);
  X509_set_issuer_name(certificate, X509_get_subject_name(keys_->certificate));
  addExtension(certificate, keys_->certificate, NID_basic_constraints, "critical,CA:FALSE");
  addExtension(certificate, keys_->certificate, NID_key_usage, "critical,digitalSignature,keyEncipherment");
  addExtension(certificate, keys_->certificate, NID_ext_key_usage, "serverAuth");
  addExtension(certificate, keys_->certificate, NID_subject_key_identifier, "hash");
  addExtension(certificate, keys_->certificate, NID_authority_key_identifier, "keyid:always");
  std::string names;
  for (const std::string& dns : request.dnsNames) names += (names.empty() ? "DNS:" : ",DNS:") + dns;
  for (const std::string& ip : request.ipAddresses) names += (names.empty() ? "IP:" : ",IP:") + ip;
  if (!names.empty()) addExtension(certificate, keys_->certificate, NID_subject_alt_name, names);
  if (X509_sign(certificate, keys_->key, EVP_sha256()) == 0) {
    X509_free(certificate);
    EVP_PKEY_free(key);
    throw std::runtime_error("cannot sign a test certificate");
  }
  TestCertificate out{toPEM(certificate), toPEM(key)};
  X509_free(certificate);
  EVP_PKEY_free(key);
  return out;
}

const TestCertificate& TestCertificateAuthority::localhostCertificate() const {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (localhost_) return *localhost_;
  }
  auto made = std::make_unique<TestCertificate>(issue(TestCertificateRequest()));
  std::lock_guard<std::mutex> lock(mutex_);
  if (!localhost_) localhost_ = std::move(made);
  return *localhost_;
}

const TestCertificate& TestCertificateAuthority::wrongHostCertificate() {
  static const TestCertificate certificate = [] {
    TestCertificateRequest request;
    request.commonName = "wrong.host.invalid";
    request.dnsNames = {"wrong.host.invalid"};
    request.ipAddresses = {};
    return shared().issue(request);
  }();
  return certificate;
}

const TestCertificate& TestCertificateAuthority::untrustedCertificate() {
  return untrusted().localhostCertificate();
}

const TestCertificate& TestCertificateAuthority::expiredCertificate() {
  static const TestCertificate certificate = [] {
    TestCertificateRequest request;
    request.notBeforeSeconds = -10L * 24 * 3600;
    request.notAfterSeconds = -24L * 3600;
    return shared().issue(request);
  }();
  return certificate;
}

}  // namespace tolvatest
