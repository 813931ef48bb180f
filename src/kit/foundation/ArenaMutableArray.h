#pragma once
// A MutableArray cut from an ObjectArena together with the room for its
// elements, made in one step from elements a decoder collected. It is a
// MutableArray in every way that shows; growing beyond its first room moves
// the elements to the heap.

#include <cstddef>

#include "kit/foundation/Array.h"
#include "kit/foundation/ObjectArena.h"

namespace kit {

class ArenaMutableArray final : public MutableArray, private ObjectArenaRoom {
 public:
  // Takes over one reference to each of objects[0 .. count) (none null). The
  // array starts with one reference, the caller's.
  static ArenaMutableArray* make(ObjectArena& arena, Object* const* objects, size_t count);

 private:
  ArenaMutableArray() = default;
};

}  // namespace kit
