#pragma once
// A colour as an object, so that a configuration key can answer one.

#include <string>

#include "kit/foundation/Object.h"
#include "kit/ui/Color.h"

namespace tolva {

class ShareColor : public kit::Object {
 public:
  explicit ShareColor(kit::Color color) : color_(color) {}
  static kit::Ref<ShareColor> withColor(kit::Color color) { return kit::make<ShareColor>(color); }

  const kit::Color& color() const noexcept { return color_; }

  std::string className() const override { return "ShareColor"; }

 private:
  kit::Color color_;
};

}  // namespace tolva
