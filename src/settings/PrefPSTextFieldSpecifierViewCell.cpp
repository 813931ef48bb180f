#include "settings/PrefPSTextFieldSpecifierViewCell.h"

#include <algorithm>
#include <cmath>

#include "settings/PrefSpecifier.h"

namespace tolva {

PrefPSTextFieldSpecifierViewCell::PrefPSTextFieldSpecifierViewCell()
    : kit::TableViewCell(Style::Default, kPSTextFieldSpecifier) {
  setSelectionStyle(SelectionStyle::None);
  label_ = kit::make<kit::Label>(kit::Rect{kPadding, 0, kLabelWidth, kDefaultHeight});
  label_->setFont(kit::Font::boldSystemFont(kit::Font::labelFontSize()));
  contentView()->addSubview(label_.get());
  textField_ = kit::make<PrefTextField>(kit::Rect{kPadding + kLabelWidth + 5, 0, 100, 31});
  textField_->setTextColor(kit::TableViewCell::value1DetailColor());
  contentView()->addSubview(textField_.get());
}

void PrefPSTextFieldSpecifierViewCell::layoutSubviews() {
  kit::TableViewCell::layoutSubviews();
  kit::Rect c = contentView()->bounds();
  kit::Rect l = label_->frame();
  // The title shows whole, however long, as long as the field keeps room to
  // type in; only then is the title cut.
  const double fit = std::ceil(label_->sizeThatFits({}).width);
  const double labelW = std::max(0.0, std::min(fit, c.width() - 2 * l.x() - 5 - kMinimumFieldWidth));
  label_->setFrame({l.x(), 0, labelW, c.height()});
  double x = label_->text().empty() ? l.x() : l.x() + std::max(labelW, kMinimumLabelWidth) + 5;
  double h = textField_->frame().height();
  textField_->setFrame({x, (c.height() - h) / 2, std::max(0.0, c.width() - l.x() - x), h});
}

}  // namespace tolva
