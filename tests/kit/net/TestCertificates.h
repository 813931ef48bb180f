#pragma once
// A certificate authority made at test time, and server certificates it signs.

#include <openssl/types.h>

#include <string>
#include <vector>

namespace nettest {

class TestCertificates {
 public:
  explicit TestCertificates(const std::string& caName);
  ~TestCertificates();
  TestCertificates(const TestCertificates&) = delete;
  TestCertificates& operator=(const TestCertificates&) = delete;

  const std::string& caPEM() const { return caPEM_; }
  // A server context (owned by this object) whose certificate, signed by the CA, names these
  // hosts: DNS names, or IP addresses written as such.
  SSL_CTX* serverContext(const std::vector<std::string>& names);

  // The CA the suite's servers use, added to the trusted certificates once.
  static TestCertificates& trusted();

 private:
  EVP_PKEY* caKey_ = nullptr;
  X509* caCert_ = nullptr;
  std::string caPEM_;
  std::vector<SSL_CTX*> contexts_;
};

}  // namespace nettest
