#include "kit/foundation/Object.h"

#include <cstdio>
#include <functional>

#include "kit/foundation/Exception.h"

namespace kit {

Object::~Object() {
  if (WeakControl* c = weak_.load(std::memory_order_acquire)) c->dropRef();
}

void Object::release() const noexcept {
  if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) {
    if (WeakControl* c = weak_.load(std::memory_order_acquire)) c->clear();
    delete this;
  }
}

bool Object::tryRetain() const noexcept {
  long n = refs_.load(std::memory_order_relaxed);
  while (n > 0) {
    if (refs_.compare_exchange_weak(n, n + 1, std::memory_order_acq_rel)) return true;
  }
  return false;
}

WeakControl* Object::weakControl() const {
  WeakControl* c = weak_.load(std::memory_order_acquire);
  if (c) return c;
  auto* fresh = new WeakControl(this);
  if (weak_.compare_exchange_strong(c, fresh, std::memory_order_acq_rel)) return fresh;
  delete fresh;
  return c;
}

size_t Object::hash() const noexcept { return std::hash<const void*>()(this); }

std::string Object::description() const {
  char buf[64];
  std::snprintf(buf, sizeof buf, ": %p>", static_cast<const void*>(this));
  return "<" + className() + buf;
}

Ref<Object> Object::copy() const { return Ref<Object>(const_cast<Object*>(this)); }

Ref<Object> Object::mutableCopy() const {
  throw InvalidArgumentException(className() + " has no mutable form");
}

}  // namespace kit
