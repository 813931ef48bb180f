#pragma once
// A layer transition: the layer's new content arrives by fading, pushing,
// moving in or revealing from a side. Added to a layer like any animation
// (its key path is "transition").

#include "kit/ui/Animation.h"

namespace kit {

class Transition : public Animation {
 public:
  enum class Type { Fade, MoveIn, Push, Reveal };
  enum class Subtype { None, FromRight, FromLeft, FromTop, FromBottom };

  static Ref<Transition> transition(Type type = Type::Fade, Subtype subtype = Subtype::None);

  Type type() const noexcept { return type_; }
  void setType(Type t) { type_ = t; }
  Subtype subtype() const noexcept { return subtype_; }
  void setSubtype(Subtype s) { subtype_ = s; }

  std::string className() const override { return "Transition"; }

 private:
  Transition() = default;
  Type type_ = Type::Fade;
  Subtype subtype_ = Subtype::None;
};

}  // namespace kit
