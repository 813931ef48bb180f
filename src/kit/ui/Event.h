#pragma once
// The touch event a set of touches belongs to.

#include "kit/foundation/Object.h"
#include "kit/ui/Responder.h"

namespace kit {

class Event : public Object {
 public:
  explicit Event(Touches touches, double timestamp) : touches_(std::move(touches)), timestamp_(timestamp) {}

  const Touches& allTouches() const noexcept { return touches_; }
  double timestamp() const noexcept { return timestamp_; }

  std::string className() const override { return "Event"; }

 private:
  Touches touches_;
  double timestamp_;
};

}  // namespace kit
