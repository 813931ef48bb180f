#pragma once
// The row of a text setting: its title, then a field that starts after the
// title (at least 97 points in, at the title's place when there is no title)
// and ends as far from the right edge as the title is from the left. A long
// title is shown whole while the field keeps kMinimumFieldWidth.

#include "kit/ui/Label.h"
#include "kit/ui/TableViewCell.h"
#include "settings/PrefTextField.h"

namespace tolva {

class PrefPSTextFieldSpecifierViewCell : public kit::TableViewCell {
 public:
  static constexpr double kMinimumLabelWidth = 97;
  static constexpr double kLabelWidth = 150;
  static constexpr double kMinimumFieldWidth = 100;

  PrefPSTextFieldSpecifierViewCell();

  kit::Label* label() const noexcept { return label_.get(); }
  PrefTextField* textField() const noexcept { return textField_.get(); }

  void layoutSubviews() override;
  std::string className() const override { return "PrefPSTextFieldSpecifierViewCell"; }

 private:
  kit::Ref<kit::Label> label_;
  kit::Ref<PrefTextField> textField_;
};

}  // namespace tolva
