#pragma once
// The row of an on/off setting: its title on the left, a switch on the right.

#include "kit/ui/Label.h"
#include "kit/ui/TableViewCell.h"
#include "settings/PrefSwitch.h"

namespace tolva {

class PrefPSToggleSwitchSpecifierViewCell : public kit::TableViewCell {
 public:
  PrefPSToggleSwitchSpecifierViewCell();

  kit::Label* label() const noexcept { return label_.get(); }
  PrefSwitch* toggle() const noexcept { return toggle_.get(); }

  void layoutSubviews() override;
  std::string className() const override { return "PrefPSToggleSwitchSpecifierViewCell"; }

 private:
  kit::Ref<kit::Label> label_;
  kit::Ref<PrefSwitch> toggle_;
};

}  // namespace tolva
