#pragma once
// A switch that knows which settings key it edits.

#include <string>

#include "kit/ui/Switch.h"

namespace tolva {

class PrefSwitch : public kit::Switch {
 public:
  using kit::Switch::Switch;
  const std::string& key() const noexcept { return key_; }
  void setKey(std::string key) { key_ = std::move(key); }
  std::string className() const override { return "PrefSwitch"; }

 private:
  std::string key_;
};

}  // namespace tolva
