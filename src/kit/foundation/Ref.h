#pragma once
// Intrusive, atomically counted ownership for kit::Object and its subclasses.
// Ref<T> owns; raw pointers and WeakRef<T> do not.

#include <cstddef>
#include <functional>
#include <type_traits>
#include <utility>

namespace kit {

class Object;

template <class T>
class Ref {
 public:
  Ref() noexcept = default;
  Ref(std::nullptr_t) noexcept {}
  // Adopts the pointer by retaining it: objects start with a count of zero.
  Ref(T* p) noexcept : p_(p) { retain(); }
  Ref(const Ref& o) noexcept : p_(o.p_) { retain(); }
  Ref(Ref&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
  Ref(const Ref<U>& o) noexcept : p_(o.get()) { retain(); }
  template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
  Ref(Ref<U>&& o) noexcept : p_(o.detach()) {}
  ~Ref() { release(); }

  Ref& operator=(const Ref& o) noexcept {
    Ref(o).swap(*this);
    return *this;
  }
  Ref& operator=(Ref&& o) noexcept {
    Ref(std::move(o)).swap(*this);
    return *this;
  }
  Ref& operator=(std::nullptr_t) noexcept {
    Ref().swap(*this);
    return *this;
  }

  T* get() const noexcept { return p_; }
  T* operator->() const noexcept { return p_; }
  T& operator*() const noexcept { return *p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }
  operator T*() const noexcept { return p_; }

  void swap(Ref& o) noexcept { std::swap(p_, o.p_); }
  // Hands the counted pointer over without releasing it.
  T* detach() noexcept { return std::exchange(p_, nullptr); }

 private:
  void retain() const noexcept {
    if (p_) p_->retain();
  }
  void release() noexcept {
    if (p_) p_->release();
  }
  T* p_ = nullptr;
};

template <class T, class... Args>
Ref<T> make(Args&&... args) {
  return Ref<T>(new T(std::forward<Args>(args)...));
}

// Run-time kind test: the object if it is a T, else null.
template <class T, class U>
T* cast(U* p) noexcept {
  return dynamic_cast<T*>(p);
}
template <class T, class U>
T* cast(const Ref<U>& p) noexcept {
  return dynamic_cast<T*>(p.get());
}

}  // namespace kit

template <class T>
struct std::hash<kit::Ref<T>> {
  size_t operator()(const kit::Ref<T>& r) const noexcept { return std::hash<T*>()(r.get()); }
};
