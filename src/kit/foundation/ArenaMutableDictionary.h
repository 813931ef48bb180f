#pragma once
// A MutableDictionary cut from an ObjectArena together with the room for its
// table, made in one step from entries a decoder collected. It is a
// MutableDictionary in every way that shows; growing beyond its first room
// moves the table to the heap.

#include <cstddef>

#include "kit/foundation/Dictionary.h"
#include "kit/foundation/ObjectArena.h"

namespace kit {

class ArenaMutableDictionary final : public MutableDictionary, private ObjectArenaRoom {
 public:
  // Takes over one reference to each of the `count` keys and values in
  // keysAndValues (key, value, key, value, ...; none null, keys immutable);
  // a repeated key keeps its first place and its last value. The dictionary
  // starts with one reference, the caller's.
  static ArenaMutableDictionary* make(ObjectArena& arena, Object* const* keysAndValues, size_t count);

 private:
  ArenaMutableDictionary() = default;
};

}  // namespace kit
