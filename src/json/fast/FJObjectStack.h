#pragma once
// The parser's stack of parsed children: three parallel arrays of values,
// dictionary keys and key hashes. A collection's children are pushed as they
// are parsed and handed to the collection in one step when it closes. The
// stack owns what is on it (one reference each) and releases whatever is
// left when it goes away.

#include <cstddef>

namespace kit {
class Object;
}

namespace tolva {

class FJObjectStack {
 public:
  // Slots a parse starts with in its own (stack) storage, the rounding of
  // growth, and the least it grows by (it at least doubles).
  static constexpr size_t kInitialSlots = 1024;
  static constexpr size_t kGrowthRound = 2048;
  static constexpr size_t kGrowthStep = 128;

  FJObjectStack(kit::Object** objects, kit::Object** keys, size_t* hashes, size_t count) noexcept
      : objects_(objects), keys_(keys), hashes_(hashes), count_(count) {}
  ~FJObjectStack();
  FJObjectStack(const FJObjectStack&) = delete;
  FJObjectStack& operator=(const FJObjectStack&) = delete;

  size_t count() const noexcept { return count_; }
  size_t index() const noexcept { return index_; }
  bool onHeap() const noexcept { return onHeap_; }
  kit::Object** objects() const noexcept { return objects_; }
  kit::Object** keys() const noexcept { return keys_; }
  size_t* hashes() const noexcept { return hashes_; }

  // Makes sure at least `free` slots are unused, growing when needed; false
  // when memory cannot be had (the stack keeps its contents).
  bool reserve(size_t free) noexcept { return count_ - index_ >= free || grow(free); }
  // Takes over one reference to each object; key may be null (arrays).
  void push(kit::Object* key, size_t hash, kit::Object* object) noexcept {
    keys_[index_] = key;
    hashes_[index_] = hash;
    objects_[index_] = object;
    ++index_;
  }
  // Fills in the object of the last slot pushed (pushed with a null object).
  void setLastObject(kit::Object* object) noexcept { objects_[index_ - 1] = object; }
  // Forgets the slots from `start` on; their references went elsewhere.
  void popTo(size_t start) noexcept;
  // Releases the slots from `start` on and forgets them.
  void releaseFrom(size_t start) noexcept;

 private:
  bool grow(size_t free) noexcept;

  kit::Object** objects_;
  kit::Object** keys_;
  size_t* hashes_;
  size_t count_;
  size_t index_ = 0;
  bool onHeap_ = false;
};

}  // namespace tolva
