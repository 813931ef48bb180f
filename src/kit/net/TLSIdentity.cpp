#include "kit/net/TLSIdentity.h"

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

bool TLSIdentity::applyTo(SSL* ssl) const {
  return SSL_use_certificate(ssl, certificate_) == 1 && SSL_use_PrivateKey(ssl, key_) == 1;
}

}  // namespace kit
