#pragma once
// The one object that stands for "no value" inside collections.

#include "kit/foundation/Object.h"

namespace kit {

class Null final : public Object {
 public:
  static Null* null();

  std::string className() const override { return "Null"; }
  Kind kind() const noexcept override { return Kind::Null; }
  std::string description() const override { return "<null>"; }

 private:
  Null() = default;
};

}  // namespace kit
