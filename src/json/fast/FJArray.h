#pragma once
// The fast decoder's array: a plain block of retained object pointers,
// created by the parser in one step from the parsed children. It is mutable
// or immutable as the decoder call asked; an immutable one refuses every
// mutation. Outside code cannot create one.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "kit/foundation/ObjectArena.h"
#include "json/fast/FJTypes.h"
#include "kit/foundation/Array.h"

namespace tolva {

class FJParseState;

class FJArray final : public kit::MutableArray, private kit::ObjectArenaRoom {
 public:
  // Always raises InvalidArgumentException: the class is private to the decoder.
  static kit::Ref<FJArray> alloc();
  ~FJArray() override;

  size_t count() const noexcept override { return own().count; }
  kit::Object* objectAtIndex(size_t index) const override;
  // Copies the objects of [location, location + length) into `objects`.
  void getObjects(kit::Object** objects, size_t location, size_t length) const;
  // Hands out up to `len` objects per call into `buffer`; returns how many (0 at the end).
  size_t countByEnumerating(FJFastEnumerationState* state, kit::Object** buffer, size_t len) const;

  void insertObject(kit::Ref<kit::Object> obj, size_t index) override;
  void removeObjectAtIndex(size_t index) override;
  void removeLastObject() override;
  void replaceObjectAtIndex(size_t index, kit::Ref<kit::Object> obj) override;

  unsigned long mutationCount() const noexcept override { return mutations_; }
  size_t capacity() const noexcept { return own().capacity; }
  // Counts are kept in 32 bits.
  static constexpr size_t kMaxCount = 0xFFFFFFFFu;
  // The storage itself, count() objects. Valid until the next mutation.
  kit::Object* const* objects() const noexcept { return storage(); }

  std::string className() const override { return "FJArray"; }
  bool isMutable() const noexcept override { return mutations_ != 0; }
  // The array itself when immutable, else a new kit::Array of the same objects.
  kit::Ref<kit::Object> copy() const override;
  kit::Ref<kit::Object> mutableCopy() const override;

 private:
  friend class FJParseState;
  FJArray() { useOwnCounts(); }
  // The room made with the array, right behind it: its first objects, or,
  // once they moved to the heap, the pointer to them (so an array is never
  // made with less room than one pointer).
  kit::Object** inlineStorage() const noexcept {
    return reinterpret_cast<kit::Object**>(const_cast<FJArray*>(this) + 1);
  }
  kit::Object** storage() const noexcept {
    if (!onHeap_) return inlineStorage();
    kit::Object** heap;
    std::memcpy(&heap, inlineStorage(), sizeof heap);
    return heap;
  }
  void setHeapStorage(kit::Object** heap) noexcept {
    std::memcpy(inlineStorage(), &heap, sizeof heap);
    onHeap_ = true;
  }
  // Takes over one reference to each of the `count` objects on success; on
  // failure (bad_alloc) the caller keeps them. The array comes with one
  // reference, the caller's.
  static FJArray* create(kit::ObjectArena& arena, kit::Object** objects, size_t count, bool mutableCollection);

  void requireMutable(const char* method) const;
  void bumpMutations() noexcept { mutations_ = mutations_ >= 0xFFFFFFFFul ? 1 : mutations_ + 1; }

  // Nothing else: no pointer to the storage, and the count and capacity are
  // the base's own counts. The flag sits in the base's padding.
  bool onHeap_ = false;
};

}  // namespace tolva
