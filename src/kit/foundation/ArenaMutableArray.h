#pragma once
// A MutableArray cut from an ObjectArena together with the room for its
// elements, made in one step from elements a decoder collected. It is a
// MutableArray in every way that shows; growing beyond its first room moves
// the elements to the heap.

#include <cstddef>

#include "kit/foundation/Array.h"
#include "kit/foundation/ObjectArena.h"

namespace kit {

class ArenaMutableArray final : public MutableArray {
 public:
  // Takes over one reference to each of objects[0 .. count) (none null). The
  // array starts with one reference, the caller's.
  static ArenaMutableArray* make(ObjectArena& arena, Object* const* objects, size_t count);

  static void operator delete(void* p, size_t size) noexcept { ObjectArena::release(p, size); }

 private:
  struct Trailing {
    size_t bytes;
  };
  static void* operator new(size_t size, ObjectArena& arena, Trailing extra) {
    return arena.allocate(size + extra.bytes);
  }
  static void operator delete(void* p, ObjectArena&, Trailing) noexcept { ObjectArena::release(p, 0); }
  ArenaMutableArray() = default;
};

}  // namespace kit
