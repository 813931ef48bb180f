#pragma once
// A deterministic stream of pseudo-random bytes of any size (1 GiB for the
// benchmarks), readable at any offset; its digest can be computed without a
// server to check what a client received.

#include <string>

#include "support/TestBodySource.h"

namespace tolvatest {

class PseudoRandomBody : public TestBodySource {
 public:
  explicit PseudoRandomBody(uint64_t size, uint64_t seed = 1);

  uint64_t size() const override { return size_; }
  uint64_t seed() const { return seed_; }
  void read(uint64_t offset, char* out, size_t length) const override;

  std::string bytes(uint64_t offset, size_t length) const;
  // Lower-case hex SHA-256 of all size() bytes.
  std::string sha256Hex() const;

 private:
  uint64_t word(uint64_t index) const;

  uint64_t size_;
  uint64_t seed_;
};

}  // namespace tolvatest
