#pragma once
// A response body produced on demand instead of held in memory.

#include <cstddef>
#include <cstdint>

namespace tolvatest {

class TestBodySource {
 public:
  virtual ~TestBodySource() = default;
  virtual uint64_t size() const = 0;
  // Copies bytes [offset, offset + length) into out; the range lies within size().
  virtual void read(uint64_t offset, char* out, size_t length) const = 0;
};

}  // namespace tolvatest
