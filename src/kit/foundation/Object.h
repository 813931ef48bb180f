#pragma once
// The root of kit's object model: reference counting, identity, equality,
// description and copying, shared by every value the browser passes around.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

#include "kit/foundation/Ref.h"

namespace kit {

// Coarse type tag so hot paths can switch without dynamic_cast.
enum class Kind : uint8_t {
  Object,
  String,
  Number,
  Null,
  Data,
  Date,
  Array,
  Dictionary,
  Error,
};

class WeakControl;

class Object {
 public:
  Object() noexcept = default;
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;
  virtual ~Object();

  void retain() const noexcept { refs_.fetch_add(1, std::memory_order_relaxed); }
  // retain for an object no other thread can reach yet (its maker has not
  // handed it out), without the cost of an atomic increment.
  void retainUnshared() const noexcept {
    refs_.store(refs_.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
  }
  void release() const noexcept;
  long retainCount() const noexcept { return static_cast<long>(refs_.load(std::memory_order_relaxed) & kCountMask); }

  // The class name as the object's user sees it ("String", "MutableArray", ...).
  virtual std::string className() const { return "Object"; }
  virtual Kind kind() const noexcept { return Kind::Object; }
  // Equal objects have equal hashes. The default is identity.
  virtual size_t hash() const noexcept;
  virtual bool isEqual(const Object* other) const noexcept { return other == this; }
  virtual std::string description() const;
  // Whether the object can be changed in place (a mutable subclass at run time).
  virtual bool isMutable() const noexcept { return false; }
  // An immutable copy; immutable objects return themselves.
  virtual Ref<Object> copy() const;
  // A mutable copy; objects without a mutable form throw InvalidArgumentException.
  virtual Ref<Object> mutableCopy() const;
  // A stand-in object a JSON writer should encode instead of this one, or null.
  virtual Ref<Object> proxyForJson() const { return nullptr; }

  template <class T>
  bool isKindOf() const noexcept {
    return dynamic_cast<const T*>(this) != nullptr;
  }

  // Increments the count unless it already reached zero (used by weak references).
  bool tryRetain() const noexcept;
  WeakControl* weakControl() const;

 protected:
  // For a maker that hands a new object straight to n owners: sets the count
  // while no other thread can see the object yet, sparing n atomic increments.
  void setInitialRetainCount(long n) const noexcept {
    refs_.store(static_cast<unsigned long>(n), std::memory_order_relaxed);
  }

 private:
  // The count, and in the top bit whether the object has a WeakControl. The
  // controls live in a table of their own (Object.cpp): few objects are ever
  // weakly referenced, and every object is smaller without a pointer for it.
  static constexpr unsigned long kWeakBit = 1ul << 63;
  // Deletes an object whose count reached zero. Frees nested in other frees
  // (a tree of collections letting go of its elements) stop at a fixed depth
  // and the rest wait for the outermost one, so a tree of any depth is freed
  // on a bounded stack.
  static void destroy(const Object* o) noexcept;
  static constexpr unsigned long kCountMask = ~kWeakBit;
  mutable std::atomic<unsigned long> refs_{0};
};

// Shared between an object and its weak references; outlives the object.
class WeakControl {
 public:
  explicit WeakControl(const Object* o) : object_(o) {}
  void addRef() noexcept { refs_.fetch_add(1, std::memory_order_relaxed); }
  void dropRef() noexcept {
    if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
  }
  // A strong pointer to the object, or null when it is gone or going.
  const Object* lock() {
    std::lock_guard<std::mutex> g(mutex_);
    return (object_ && object_->tryRetain()) ? object_ : nullptr;
  }
  void clear() {
    std::lock_guard<std::mutex> g(mutex_);
    object_ = nullptr;
  }

 private:
  std::mutex mutex_;
  const Object* object_;
  std::atomic<long> refs_{1};  // the object's own reference
};

template <class T>
class WeakRef {
 public:
  WeakRef() = default;
  WeakRef(T* p) { reset(p); }
  WeakRef(const Ref<T>& p) { reset(p.get()); }
  WeakRef(const WeakRef& o) : control_(o.control_) {
    if (control_) control_->addRef();
  }
  WeakRef& operator=(const WeakRef& o) {
    if (this != &o) {
      if (o.control_) o.control_->addRef();
      if (control_) control_->dropRef();
      control_ = o.control_;
    }
    return *this;
  }
  WeakRef& operator=(T* p) {
    reset(p);
    return *this;
  }
  ~WeakRef() {
    if (control_) control_->dropRef();
  }

  // A strong reference, or null when the object is gone.
  Ref<T> lock() const {
    if (!control_) return nullptr;
    const Object* o = control_->lock();
    if (!o) return nullptr;
    T* t = const_cast<T*>(dynamic_cast<const T*>(o));
    Ref<T> r(t);
    o->release();  // balance tryRetain
    return r;
  }
  bool expired() const { return !lock(); }

 private:
  void reset(T* p) {
    WeakControl* c = nullptr;
    if (p) {
      c = static_cast<const Object*>(p)->weakControl();
      c->addRef();
    }
    if (control_) control_->dropRef();
    control_ = c;
  }
  WeakControl* control_ = nullptr;
};

// Holds an object for the length of a call when something already owns it
// (an object nobody owns yet, count 0, must not be freed by the call).
class KeepAlive {
 public:
  explicit KeepAlive(const Object* o) : o_(o->tryRetain() ? o : nullptr) {}
  ~KeepAlive() {
    if (o_) o_->release();
  }
  KeepAlive(const KeepAlive&) = delete;
  KeepAlive& operator=(const KeepAlive&) = delete;

 private:
  const Object* o_;
};

// Combines hashes (boost's mixing step).
inline size_t hashCombine(size_t seed, size_t v) noexcept {
  return seed ^ (v + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2));
}

// Equality that accepts nulls on either side.
inline bool isEqual(const Object* a, const Object* b) noexcept {
  if (a == b) return true;
  if (!a || !b) return false;
  return a->isEqual(b);
}

}  // namespace kit
