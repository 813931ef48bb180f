#include "json/fast/FJManagedBuffer.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <limits>

namespace tolva {
namespace {

size_t pageRounded(size_t n) noexcept {
  static const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  return (n + page - 1) / page * page;
}

}  // namespace

bool FJManagedBuffer::grow(size_t n) noexcept {
  if (n <= length_ && bytes_) return true;
  // Geometric steps keep repeated small growths of a large buffer linear overall.
  size_t want = n;
  if (length_ < std::numeric_limits<size_t>::max() / 2 && want < length_ + length_ / 2)
    want = length_ + length_ / 2;
  if (want > std::numeric_limits<size_t>::max() - roundSize_) {
    release();
    return false;
  }
  want = (want + roundSize_ - 1) / roundSize_ * roundSize_;
  if (paged_ && want >= kMappedFrom) return growMapped(want);

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

bool FJManagedBuffer::growMapped(size_t want) noexcept {
  if (want > std::numeric_limits<size_t>::max() / 2) {
    release();
    return false;
  }
  want = pageRounded(want);
  void* fresh;
  if (mapped_) {
    fresh = mremap(bytes_, length_, want, MREMAP_MAYMOVE);
  } else {
    fresh = mmap(nullptr, want, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (fresh != MAP_FAILED && bytes_ && length_) std::memcpy(fresh, bytes_, length_);
  }
  if (fresh == MAP_FAILED) {
    release();
    return false;
  }
  // Large pages, and the new ones made ready in one go: a fault per small
  // page, taken one write at a time, costs more than the writing.
  madvise(fresh, want, MADV_HUGEPAGE);
  const size_t kept = mapped_ ? length_ : 0;
#ifdef MADV_POPULATE_WRITE
  madvise(static_cast<unsigned char*>(fresh) + kept, want - kept, MADV_POPULATE_WRITE);
#endif
  if (!mapped_ && mustFree_) std::free(bytes_);
  bytes_ = static_cast<unsigned char*>(fresh);
  length_ = want;
  onHeap_ = mapped_ = true;
  mustFree_ = false;
  return true;
}

unsigned char* FJManagedBuffer::releaseMapping(size_t used, size_t* size) noexcept {
  if (!mapped_) return nullptr;
  unsigned char* p = bytes_;
  size_t keep = pageRounded(used ? used : 1);
  // Shrinking in place never moves the pages; should it fail, all of it goes.
  if (keep < length_ && mremap(p, length_, keep, 0) != MAP_FAILED) length_ = keep;
  *size = length_;
  bytes_ = nullptr;
  length_ = 0;
  onHeap_ = mustFree_ = mapped_ = false;
  return p;
}

unsigned char* FJManagedBuffer::releaseHeap() noexcept {
  if (!onHeap_ || mapped_) return nullptr;
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
  if (mapped_)
    munmap(bytes_, length_);
  else if (mustFree_)
    std::free(bytes_);
  if (onHeap_) {
    bytes_ = nullptr;
    length_ = 0;
  }
  onHeap_ = mustFree_ = mapped_ = false;
}

}  // namespace tolva
