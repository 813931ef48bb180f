#include "settings/PrefPSToggleSwitchSpecifierViewCell.h"

#include <algorithm>

#include "settings/PrefSpecifier.h"

namespace tolva {

PrefPSToggleSwitchSpecifierViewCell::PrefPSToggleSwitchSpecifierViewCell()
    : kit::TableViewCell(Style::Default, kPSToggleSwitchSpecifier) {
  setSelectionStyle(SelectionStyle::None);
  label_ = kit::make<kit::Label>();
  label_->setFont(kit::Font::boldSystemFont(kit::Font::labelFontSize()));
  // A long title beside the switch on a narrow screen takes a second line
  // rather than being cut off.
  label_->setNumberOfLines(0);
  contentView()->addSubview(label_.get());
  toggle_ = kit::make<PrefSwitch>();
  contentView()->addSubview(toggle_.get());
}

void PrefPSToggleSwitchSpecifierViewCell::layoutSubviews() {
  kit::TableViewCell::layoutSubviews();
  kit::Rect c = contentView()->bounds();
  kit::Size s = toggle_->sizeThatFits({});
  double sx = std::max(kPadding, c.width() - kPadding - s.width);
  toggle_->setFrame({sx, (c.height() - s.height) / 2, s.width, s.height});
  label_->setFrame({kPadding, 0, std::max(0.0, sx - 2 * kPadding), c.height()});
}

}  // namespace tolva
