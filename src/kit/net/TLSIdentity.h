#pragma once
// A client certificate with its private key, offered to servers that ask for one during the
// TLS handshake. Immutable.

#include <openssl/types.h>

#include <string>
#include <string_view>
#include <vector>

#include "kit/foundation/Error.h"
#include "kit/foundation/Object.h"

namespace kit {

class TLSIdentity : public Object {
 public:
  ~TLSIdentity() override;
  // From PEM texts (the certificate first of the chain); null with `error` when they do not
  // parse or the key does not belong to the certificate.
  static Ref<TLSIdentity> identityWithPEM(std::string_view certificatePEM, std::string_view privateKeyPEM,
                                          Ref<Error>* error = nullptr);
  // Puts the identity on a connection, its certificate followed by `chain` (each element PEM
  // text of one or more certificates, or one DER certificate); false when one does not parse or
  // the TLS library refused it.
  bool applyTo(SSL* ssl, const std::vector<std::string>& chain = {}) const;
  std::string className() const override { return "TLSIdentity"; }

 private:
  TLSIdentity() = default;
  X509* certificate_ = nullptr;
  EVP_PKEY* key_ = nullptr;
};

}  // namespace kit
