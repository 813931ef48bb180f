#pragma once
// A decoded number: a kit::Number in every way that shows (type letter,
// class name, comparisons), whose room comes from the parse's arena.

#include <cstddef>
#include <cstdint>

#include "kit/foundation/ObjectArena.h"
#include "kit/foundation/Number.h"

namespace tolva {

class FJNumber final : public kit::Number {
 public:
  // Each starts with `owners` references, handed to its first owners. The
  // type letters are those of numberWithLongLong, numberWithUnsignedLongLong
  // and numberWithDouble.
  static FJNumber* makeSigned(kit::ObjectArena& arena, int64_t v, long owners) {
    auto* n = new (arena) FJNumber('q', Store::Signed, owners);
    n->v_.i = v;
    return n;
  }
  static FJNumber* makeUnsigned(kit::ObjectArena& arena, uint64_t v, long owners) {
    auto* n = new (arena) FJNumber('Q', Store::Unsigned, owners);
    n->v_.u = v;
    return n;
  }
  static FJNumber* makeDouble(kit::ObjectArena& arena, double v, long owners) {
    auto* n = new (arena) FJNumber('d', Store::Double, owners);
    n->v_.d = v;
    return n;
  }

  // The value as stored, read without a virtual call (the serializer's walk).
  bool storesDouble() const noexcept { return store_ == Store::Double; }
  bool storesUnsigned() const noexcept { return store_ == Store::Unsigned; }
  int64_t storedSigned() const noexcept { return v_.i; }
  uint64_t storedUnsigned() const noexcept { return v_.u; }
  double storedDouble() const noexcept { return v_.d; }

  static void* operator new(size_t size, kit::ObjectArena& arena) { return arena.allocate(size); }
  static void operator delete(void* p, kit::ObjectArena&) noexcept { kit::ObjectArena::release(p, 0); }
  static void operator delete(void* p, size_t size) noexcept { kit::ObjectArena::release(p, size); }

 private:
  FJNumber(char type, Store store, long owners) : kit::Number(type, store) { setInitialRetainCount(owners); }
};

}  // namespace tolva
