#pragma once
// One announcement: a name, the object that sent it (may be null) and
// optional details. The sender is not retained: delivery is synchronous,
// and objects post from their own constructors, where their count is still
// zero and a retain/release pair would destroy them.

#include <string>

#include "kit/foundation/Dictionary.h"
#include "kit/foundation/Object.h"

namespace kit {

class Notification : public Object {
 public:
  Notification(std::string name, Object* object, Ref<Dictionary> userInfo)
      : name_(std::move(name)), object_(object), userInfo_(std::move(userInfo)) {}

  static Ref<Notification> notificationWithName(std::string name, Object* object,
                                                Ref<Dictionary> userInfo = nullptr) {
    return Ref<Notification>(new Notification(std::move(name), object, std::move(userInfo)));
  }

  const std::string& name() const noexcept { return name_; }
  // The sender, valid while it is being delivered.
  Object* object() const noexcept { return object_; }
  // May be null.
  Dictionary* userInfo() const noexcept { return userInfo_.get(); }

  std::string className() const override { return "Notification"; }
  std::string description() const override;

 private:
  std::string name_;
  Object* object_;
  Ref<Dictionary> userInfo_;
};

}  // namespace kit
