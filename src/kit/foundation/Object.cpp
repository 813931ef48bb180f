#include "kit/foundation/Object.h"

#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <new>
#include <unordered_map>
#include <vector>

#include "kit/foundation/Exception.h"

namespace kit {
namespace {

// The WeakControls of objects with weak references, by object address, in a
// few shards so unrelated threads seldom wait for each other.
struct WeakShard {
  std::mutex mutex;
  std::unordered_map<const Object*, WeakControl*> controls;
};

WeakShard& weakShard(const Object* o) {
  constexpr size_t kShards = 16;
  static WeakShard* shards = new WeakShard[kShards];  // never freed: objects may die during exit
  auto p = reinterpret_cast<uintptr_t>(o);
  return shards[(p >> 4 ^ p >> 12) % kShards];
}

WeakControl* takeWeakControl(const Object* o) noexcept {
  WeakShard& shard = weakShard(o);
  std::lock_guard<std::mutex> g(shard.mutex);
  auto it = shard.controls.find(o);
  if (it == shard.controls.end()) return nullptr;
  WeakControl* c = it->second;
  shard.controls.erase(it);
  return c;
}

// Frees running inside one another on this thread, and the objects whose
// free waits for the outermost one to finish (made only when a tree is that
// deep; plain data, so the thread needs no clean-up of it).
constexpr int kNestedFrees = 64;
struct FreeQueue {
  int depth;
  std::vector<const Object*>* waiting;
};
thread_local FreeQueue freeQueue{0, nullptr};

}  // namespace

Object::~Object() {
  // Weak references let go here, last, while the memory is still this
  // object's (until now their lock() found the count at zero and gave
  // nothing); the entry goes before another object can get this address.
  if (refs_.load(std::memory_order_acquire) & kWeakBit) {
    if (WeakControl* c = takeWeakControl(this)) {
      c->clear();
      c->dropRef();
    }
  }
}

void Object::release() const noexcept {
  if ((refs_.fetch_sub(1, std::memory_order_acq_rel) & kCountMask) == 1) destroy(this);
}

void Object::destroy(const Object* o) noexcept {
  FreeQueue& q = freeQueue;
  if (q.depth >= kNestedFrees) {
    try {
      if (!q.waiting) q.waiting = new std::vector<const Object*>;
      q.waiting->push_back(o);
      return;
    } catch (...) {
      // No room to wait in: free it here, deeper on the stack.
    }
  }
  ++q.depth;
  delete o;
  if (q.depth == 1 && q.waiting) {
    // Each waiting object starts a nest of frees of its own.
    while (!q.waiting->empty()) {
      const Object* next = q.waiting->back();
      q.waiting->pop_back();
      delete next;
    }
    delete q.waiting;
    q.waiting = nullptr;
  }
  --q.depth;
}

bool Object::tryRetain() const noexcept {
  unsigned long n = refs_.load(std::memory_order_relaxed);
  while (n & kCountMask) {
    if (refs_.compare_exchange_weak(n, n + 1, std::memory_order_acq_rel)) return true;
  }
  return false;
}

WeakControl* Object::weakControl() const {
  WeakShard& shard = weakShard(this);
  std::lock_guard<std::mutex> g(shard.mutex);
  auto it = shard.controls.find(this);
  if (it != shard.controls.end()) return it->second;
  auto* fresh = new WeakControl(this);
  try {
    shard.controls.emplace(this, fresh);
  } catch (...) {
    delete fresh;
    throw;
  }
  refs_.fetch_or(kWeakBit, std::memory_order_acq_rel);
  return fresh;
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
