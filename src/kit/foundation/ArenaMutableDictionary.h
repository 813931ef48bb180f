#pragma once
// A MutableDictionary cut from an ObjectArena together with the room for its
// table, made in one step from entries a decoder collected. It is a
// MutableDictionary in every way that shows; growing beyond its first room
// moves the table to the heap.

#include <cstddef>

#include "kit/foundation/Dictionary.h"
#include "kit/foundation/ObjectArena.h"

namespace kit {

class ArenaMutableDictionary final : public MutableDictionary {
 public:
  // Takes over one reference to each of the `count` keys and values in
  // keysAndValues (key, value, key, value, ...; none null, keys immutable);
  // a repeated key keeps its first place and its last value. The dictionary
  // starts with one reference, the caller's.
  static ArenaMutableDictionary* make(ObjectArena& arena, Object* const* keysAndValues, size_t count);

  static void operator delete(void* p, size_t size) noexcept { ObjectArena::release(p, size); }

 private:
  struct Trailing {
    size_t bytes;
  };
  static void* operator new(size_t size, ObjectArena& arena, Trailing extra) {
    return arena.allocate(size + extra.bytes);
  }
  static void operator delete(void* p, ObjectArena&, Trailing) noexcept { ObjectArena::release(p, 0); }
  ArenaMutableDictionary() = default;
};

}  // namespace kit
