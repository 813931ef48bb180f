#include "kit/net/TLSIdentity.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include "kit/net/NetError.h"
#include "kit/net/TLSContext.h"

namespace kit {

TLSIdentity::~TLSIdentity() {
  X509_free(certificate_);
  EVP_PKEY_free(key_);
}

Ref<TLSIdentity> TLSIdentity::identityWithPEM(std::string_view certificatePEM, std::string_view privateKeyPEM,
                                              Ref<Error>* error) {
  Ref<TLSIdentity> identity(new TLSIdentity());
  BIO* certBio = BIO_new_mem_buf(certificatePEM.data(), int(certificatePEM.size()));
  identity->certificate_ = certBio ? PEM_read_bio_X509(certBio, nullptr, nullptr, nullptr) : nullptr;
  BIO_free(certBio);
  BIO* keyBio = BIO_new_mem_buf(privateKeyPEM.data(), int(privateKeyPEM.size()));
  identity->key_ = keyBio ? PEM_read_bio_PrivateKey(keyBio, nullptr, nullptr, nullptr) : nullptr;
  BIO_free(keyBio);
  if (!identity->certificate_ || !identity->key_ || X509_check_private_key(identity->certificate_, identity->key_) != 1) {
    if (error) *error = NetError::tlsFailure("The client identity is not a certificate with its key: " + TLSContext::takeErrorText());
    else TLSContext::takeErrorText();
    return nullptr;
  }
  return identity;
}

namespace {

// Adds the certificates of one element to the connection's chain; false when it holds none or
// one is refused.
bool addChainCertificates(SSL* ssl, const std::string& element) {
  if (element.find("-----BEGIN") == std::string::npos) {
    const auto* der = reinterpret_cast<const unsigned char*>(element.data());
    X509* certificate = d2i_X509(nullptr, &der, long(element.size()));
    const bool added = certificate && SSL_add0_chain_cert(ssl, certificate) == 1;
    if (!added) X509_free(certificate);
    return added;
  }
  BIO* bio = BIO_new_mem_buf(element.data(), int(element.size()));
  if (!bio) return false;
  int added = 0;
  bool refused = false;
  while (X509* certificate = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr)) {
    if (SSL_add0_chain_cert(ssl, certificate) != 1) {
      X509_free(certificate);
      refused = true;
      break;
    }
    ++added;
  }
  BIO_free(bio);
  if (added && !refused) ERR_clear_error();  // the end of the text reads as a PEM error
  return added && !refused;
}

}  // namespace

bool TLSIdentity::applyTo(SSL* ssl, const std::vector<std::string>& chain) const {
  if (SSL_use_certificate(ssl, certificate_) != 1 || SSL_use_PrivateKey(ssl, key_) != 1) return false;
  for (const std::string& element : chain)
    if (!addChainCertificates(ssl, element)) return false;
  return true;
}

}  // namespace kit
