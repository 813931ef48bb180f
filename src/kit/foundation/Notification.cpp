#include "kit/foundation/Notification.h"

namespace kit {

std::string Notification::description() const {
  std::string s = "<Notification " + name_ + " object=" + (object_ ? object_->description() : "(null)");
  if (userInfo_) s += " userInfo=" + userInfo_->description();
  return s + ">";
}

}  // namespace kit
