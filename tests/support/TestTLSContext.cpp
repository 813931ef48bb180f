#include "support/TestTLSContext.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>

#include <stdexcept>

namespace tolvatest {
namespace {

std::shared_ptr<SSL_CTX> wrap(SSL_CTX* context) { return std::shared_ptr<SSL_CTX>(context, SSL_CTX_free); }

}  // namespace

std::shared_ptr<SSL_CTX> TestTLSContext::server(const TestCertificate& certificate) {
  auto context = wrap(SSL_CTX_new(TLS_server_method()));
  if (!context) throw std::runtime_error("SSL_CTX_new failed");
  SSL_CTX_set_min_proto_version(context.get(), TLS1_2_VERSION);
  SSL_CTX_set_options(context.get(), SSL_OP_IGNORE_UNEXPECTED_EOF);

  BIO* bio = BIO_new_mem_buf(certificate.certificatePEM.data(), int(certificate.certificatePEM.size()));
  X509* x509 = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr);
  BIO_free(bio);
  bio = BIO_new_mem_buf(certificate.privateKeyPEM.data(), int(certificate.privateKeyPEM.size()));
  EVP_PKEY* key = PEM_read_bio_PrivateKey(bio, nullptr, nullptr, nullptr);
  BIO_free(bio);
  const bool ok = x509 && key && SSL_CTX_use_certificate(context.get(), x509) == 1 &&
                  SSL_CTX_use_PrivateKey(context.get(), key) == 1 && SSL_CTX_check_private_key(context.get()) == 1;
  X509_free(x509);
  EVP_PKEY_free(key);
  if (!ok) {
    ERR_clear_error();
    throw std::runtime_error("the test certificate or key is unusable");
  }
  return context;
}

std::shared_ptr<SSL_CTX> TestTLSContext::client(const std::string& trustedPEM) {
  const std::string& pem = trustedPEM.empty() ? TestCertificateAuthority::shared().certificatePEM() : trustedPEM;
  auto context = wrap(SSL_CTX_new(TLS_client_method()));
  if (!context) throw std::runtime_error("SSL_CTX_new failed");
  SSL_CTX_set_min_proto_version(context.get(), TLS1_2_VERSION);
  SSL_CTX_set_options(context.get(), SSL_OP_IGNORE_UNEXPECTED_EOF);
  SSL_CTX_set_verify(context.get(), SSL_VERIFY_PEER, nullptr);
  X509_STORE* store = SSL_CTX_get_cert_store(context.get());
  BIO* bio = BIO_new_mem_buf(pem.data(), int(pem.size()));
  int added = 0;
  while (X509* x509 = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr)) {
    if (X509_STORE_add_cert(store, x509) == 1) ++added;
    X509_free(x509);
  }
  BIO_free(bio);
  ERR_clear_error();  // the end of the PEM text reads as an error
  if (added == 0) throw std::runtime_error("no certificate in the trusted PEM text");
  return context;
}

}  // namespace tolvatest
