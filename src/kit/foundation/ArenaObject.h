#pragma once
// An object of class Base whose room is cut from an ObjectArena: a Base in
// every way that shows (class name, equality, hash, copies, mutability),
// cheaper to make in bulk. It starts with one reference, its maker's, so a
// decoder can hand it to its first owner without an atomic increment:
//
//   Object* s = new (arena) ArenaObject<MutableString>(text);  // count 1
//   ... adopt it, or s->release() ...

#include <cstddef>
#include <utility>

#include "kit/foundation/ObjectArena.h"

namespace kit {

template <class Base>
class ArenaObject final : public Base {
  static_assert(alignof(Base) <= 8, "an ObjectArena hands out 8-byte aligned room");

 public:
  template <class... Args>
  explicit ArenaObject(Args&&... args) : Base(std::forward<Args>(args)...) {
    this->setInitialRetainCount(1);
  }

  static void* operator new(size_t size, ObjectArena& arena) { return arena.allocate(size); }
  static void operator delete(void* p, ObjectArena&) noexcept { ObjectArena::release(p, 0); }
  static void operator delete(void* p, size_t size) noexcept { ObjectArena::release(p, size); }
};

}  // namespace kit
