#include "TestCertificates.h"

#include <arpa/inet.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <stdexcept>

#include "kit/net/HTTPReadStream.h"

namespace nettest {

namespace {

EVP_PKEY* newKey() {
  EVP_PKEY* key = EVP_EC_gen("P-256");
  if (!key) throw std::runtime_error("cannot make a key");
  return key;
}

void addExtension(X509* cert, X509* issuer, int nid, const std::string& value) {
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
  X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value.c_str());
  if (!ext) throw std::runtime_error("bad extension " + value);
  X509_add_ext(cert, ext, -1);
  X509_EXTENSION_free(ext);
}

X509* newCertificate(const std::string& commonName, EVP_PKEY* key, X509* issuer, long serial) {
  X509* cert = X509_new();
  X509_set_version(cert, 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert), serial);
  X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
  X509_gmtime_adj(X509_getm_notAfter(cert), 86400L * 30);
  X509_set_pubkey(cert, key);
  X509_NAME* name = X509_get_subject_name(cert);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(commonName.c_str()), -1,
                             -1, 0);
  X509_set_issuer_name(cert, issuer ? X509_get_subject_name(issuer) : name);
  return cert;
}

}  // namespace

TestCertificates::TestCertificates(const std::string& caName) {
  caKey_ = newKey();
  caCert_ = newCertificate(caName, caKey_, nullptr, 1);
  addExtension(caCert_, caCert_, NID_basic_constraints, "critical,CA:TRUE");
  addExtension(caCert_, caCert_, NID_key_usage, "critical,keyCertSign,cRLSign");
  addExtension(caCert_, caCert_, NID_subject_key_identifier, "hash");
  X509_sign(caCert_, caKey_, EVP_sha256());
  BIO* bio = BIO_new(BIO_s_mem());
  PEM_write_bio_X509(bio, caCert_);
  char* data = nullptr;
  long n = BIO_get_mem_data(bio, &data);
  caPEM_.assign(data, size_t(n));
  BIO_free(bio);
}

TestCertificates::~TestCertificates() {
  for (SSL_CTX* c : contexts_) SSL_CTX_free(c);
  X509_free(caCert_);
  EVP_PKEY_free(caKey_);
}

SSL_CTX* TestCertificates::serverContext(const std::vector<std::string>& names) {
  EVP_PKEY* key = newKey();
  X509* cert = newCertificate(names.empty() ? "server" : names[0], key, caCert_, long(contexts_.size()) + 2);
  std::string san;
  for (const auto& n : names) {
    unsigned char buf[16];
    const bool ip = inet_pton(AF_INET, n.c_str(), buf) == 1 || inet_pton(AF_INET6, n.c_str(), buf) == 1;
    if (!san.empty()) san += ",";
    san += (ip ? "IP:" : "DNS:") + n;
  }
  addExtension(cert, caCert_, NID_basic_constraints, "CA:FALSE");
  addExtension(cert, caCert_, NID_ext_key_usage, "serverAuth");
  if (!san.empty()) addExtension(cert, caCert_, NID_subject_alt_name, san);
  X509_sign(cert, caKey_, EVP_sha256());
  SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
  SSL_CTX_use_certificate(ctx, cert);
  SSL_CTX_use_PrivateKey(ctx, key);
  X509_free(cert);
  EVP_PKEY_free(key);
  contexts_.push_back(ctx);
  return ctx;
}

TestCertificates& TestCertificates::trusted() {
  static TestCertificates* certs = [] {
    auto* c = new TestCertificates("Tolva Test CA");
    kit::HTTPReadStream::addTrustedCertificate(c->caPEM());
    return c;
  }();
  return *certs;
}

}  // namespace nettest
