#include "json/fast/FJManagedBuffer.h"

#include <cstdlib>
#include <cstring>
#include <limits>

namespace tolva {

bool FJManagedBuffer::grow(size_t n) noexcept {
  if (n <= length_ && bytes_) return true;
  // Doubling keeps repeated small growths of a large buffer linear overall,
  // each byte copied about once.
  size_t want = n;
  if (length_ < std::numeric_limits<size_t>::max() / 2 && want < 2 * length_) want = 2 * length_;
  if (want > std::numeric_limits<size_t>::max() - roundSize_) {
    release();
    return false;
  }
  want = (want + roundSize_ - 1) / roundSize_ * roundSize_;

  unsigned char* fresh;
  if (onHeap_) {
    fresh = static_cast<unsigned char*>(std::realloc(bytes_, want));
  } else {
    fresh = static_cast<unsigned char*>(std::malloc(want));
    if (fresh && bytes_ && length_) std::memcpy(fresh, bytes_, length_);
  }
  if (!fresh) {
    release();
    return false;
  }
  bytes_ = fresh;
  length_ = want;
  onHeap_ = true;
  mustFree_ = true;
  return true;
}

unsigned char* FJManagedBuffer::releaseHeap() noexcept {
  if (!onHeap_) return nullptr;
  unsigned char* p = bytes_;
  bytes_ = nullptr;
  length_ = 0;
  onHeap_ = mustFree_ = false;
  return p;
}

void FJManagedBuffer::reset(unsigned char* stackBytes, size_t stackLength) noexcept {
  release();
  bytes_ = stackBytes;
  length_ = stackLength;
}

void FJManagedBuffer::release() noexcept {
  if (mustFree_) std::free(bytes_);
  if (onHeap_) {
    bytes_ = nullptr;
    length_ = 0;
  }
  onHeap_ = mustFree_ = false;
}

}  // namespace tolva
