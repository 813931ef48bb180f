#pragma once
// OpenSSL contexts for the loopback servers and the test client.

#include <memory>
#include <string>

#include "support/TestCertificateAuthority.h"

typedef struct ssl_ctx_st SSL_CTX;

namespace tolvatest {

class TestTLSContext {
 public:
  // A server context presenting the certificate; throws std::runtime_error if
  // OpenSSL refuses it.
  static std::shared_ptr<SSL_CTX> server(const TestCertificate& certificate);
  // A client context that verifies peers against the PEM certificates given
  // (the shared test CA when empty).
  static std::shared_ptr<SSL_CTX> client(const std::string& trustedPEM = std::string());
};

}  // namespace tolvatest
