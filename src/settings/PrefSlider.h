#pragma once
// A slider that knows which settings key it edits.

#include <string>

#include "kit/ui/Slider.h"

namespace tolva {

class PrefSlider : public kit::Slider {
 public:
  using kit::Slider::Slider;
  const std::string& key() const noexcept { return key_; }
  void setKey(std::string key) { key_ = std::move(key); }
  std::string className() const override { return "PrefSlider"; }

 private:
  std::string key_;
};

}  // namespace tolva
