#pragma once
// Certificates made at run time for TLS tests: a self-signed EC P-256 CA and
// server certificates it signs. Clients under test trust shared()'s
// certificatePEM(); untrusted() is a second CA nobody trusts.

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tolvatest {

struct TestCertificate {
  std::string certificatePEM;
  std::string privateKeyPEM;
};

struct TestCertificateRequest {
  std::string commonName = "localhost";
  std::vector<std::string> dnsNames{"localhost"};
  std::vector<std::string> ipAddresses{"127.0.0.1"};
  // Validity relative to now; a negative end gives an expired certificate.
  long notBeforeSeconds = -3600;
  long notAfterSeconds = 30L * 24 * 3600;
};

class TestCertificateAuthority {
 public:
  explicit TestCertificateAuthority(const std::string& commonName = "Tolva Test CA");
  ~TestCertificateAuthority();
  TestCertificateAuthority(const TestCertificateAuthority&) = delete;
  TestCertificateAuthority& operator=(const TestCertificateAuthority&) = delete;

  // Made once per process, on first use; thread-safe.
  static const TestCertificateAuthority& shared();
  static const TestCertificateAuthority& untrusted();

  const std::string& certificatePEM() const { return certificatePEM_; }
  // Writes certificatePEM() to a file; false on failure.
  bool writeCertificate(const std::string& path) const;

  TestCertificate issue(const TestCertificateRequest& request) const;
  // For "localhost" and 127.0.0.1; made once per CA.
  const TestCertificate& localhostCertificate() const;

  // Signed by shared() but only for "wrong.host.invalid": a host-name mismatch.
  static const TestCertificate& wrongHostCertificate();
  // For localhost and 127.0.0.1, signed by untrusted().
  static const TestCertificate& untrustedCertificate();
  // For localhost and 127.0.0.1, signed by shared(), expired yesterday.
  static const TestCertificate& expiredCertificate();

 private:
  struct Keys;
  std::unique_ptr<Keys> keys_;
  std::string certificatePEM_;
  mutable std::mutex mutex_;
  mutable std::unique_ptr<TestCertificate> localhost_;
};

}  // namespace tolvatest
