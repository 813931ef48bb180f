#pragma once
// A formatter method kept as data: the serializer calls it on a delegate for
// every object it cannot write itself. A delegate "responds" when it is of
// the class the method belongs to.

#include <functional>

#include "kit/foundation/Object.h"

namespace tolva {

class FJSelector {
 public:
  FJSelector() = default;
  template <class T>
  FJSelector(kit::Ref<kit::Object> (T::*method)(kit::Object*))
      : responds_([](kit::Object* target) { return dynamic_cast<T*>(target) != nullptr; }),
        invoke_([method](kit::Object* target, kit::Object* object) {
          return (dynamic_cast<T*>(target)->*method)(object);
        }) {}
  template <class T>
  FJSelector(kit::Ref<kit::Object> (T::*method)(kit::Object*) const)
      : responds_([](kit::Object* target) { return dynamic_cast<T*>(target) != nullptr; }),
        invoke_([method](kit::Object* target, kit::Object* object) {
          return (dynamic_cast<T*>(target)->*method)(object);
        }) {}

  explicit operator bool() const noexcept { return static_cast<bool>(invoke_); }
  bool respondsFor(kit::Object* target) const { return target && responds_ && responds_(target); }
  kit::Ref<kit::Object> invoke(kit::Object* target, kit::Object* object) const { return invoke_(target, object); }

 private:
  std::function<bool(kit::Object*)> responds_;
  std::function<kit::Ref<kit::Object>(kit::Object*, kit::Object*)> invoke_;
};

}  // namespace tolva
