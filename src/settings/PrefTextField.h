#pragma once
// A text field that knows which settings key it edits.

#include <string>

#include "kit/ui/TextField.h"

namespace tolva {

class PrefTextField : public kit::TextField {
 public:
  using kit::TextField::TextField;
  const std::string& key() const noexcept { return key_; }
  void setKey(std::string key) { key_ = std::move(key); }
  std::string className() const override { return "PrefTextField"; }

 private:
  std::string key_;
};

}  // namespace tolva
