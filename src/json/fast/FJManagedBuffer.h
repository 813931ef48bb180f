#pragma once
// A byte buffer that starts in caller-provided (usually stack) storage and
// moves to the heap only when it outgrows it. Growth rounds the size up to a
// multiple of the buffer's rounding size.

#include <cstddef>

namespace tolva {

class FJManagedBuffer {
 public:
  FJManagedBuffer(unsigned char* stackBytes, size_t stackLength, size_t roundSize) noexcept
      : bytes_(stackBytes), length_(stackLength), roundSize_(roundSize ? roundSize : 1) {}
  ~FJManagedBuffer() { release(); }
  FJManagedBuffer(const FJManagedBuffer&) = delete;
  FJManagedBuffer& operator=(const FJManagedBuffer&) = delete;

  unsigned char* bytes() const noexcept { return bytes_; }
  // The usable size of the storage.
  size_t length() const noexcept { return length_; }
  bool onHeap() const noexcept { return onHeap_; }
  bool mustFree() const noexcept { return mustFree_; }
  size_t roundSize() const noexcept { return roundSize_; }

  // Makes room for at least n bytes, keeping the contents. A buffer on the
  // stack moves to a fresh heap block. When memory cannot be had the buffer is
  // freed (bytes() becomes null) and false is returned.
  bool grow(size_t n) noexcept;
  // Gives the heap block up to the caller (who frees it with free()); null
  // when the bytes are still in the stack storage.
  unsigned char* releaseHeap() noexcept;
  // Frees any heap block and goes back to the given storage.
  void reset(unsigned char* stackBytes, size_t stackLength) noexcept;

 private:
  void release() noexcept;

  unsigned char* bytes_;
  size_t length_;
  size_t roundSize_;
  bool onHeap_ = false;
  bool mustFree_ = false;
};

}  // namespace tolva
