#include "settings/PrefPSTitleValueSpecifierViewCell.h"

#include <algorithm>

#include "kit/ui/Label.h"
#include "settings/PrefSpecifier.h"

namespace tolva {

PrefPSTitleValueSpecifierViewCell::PrefPSTitleValueSpecifierViewCell(std::string reuseIdentifier)
    : kit::TableViewCell(Style::Value1, std::move(reuseIdentifier)),
      titleFont_(textLabel()->font()),
      titleColor_(textLabel()->textColor()) {}

void PrefPSTitleValueSpecifierViewCell::prepareForReuse() {
  kit::TableViewCell::prepareForReuse();
  textLabel()->setFont(titleFont_);
  textLabel()->setTextColor(titleColor_);
}

void PrefPSTitleValueSpecifierViewCell::layoutSubviews() {
  kit::Label* text = textLabel();
  kit::Label* detail = detailTextLabel();
  if (text->text().empty() && !detail->text().empty()) {
    text->setText(detail->text());
    detail->setText({});
    if (reuseIdentifier() == kPSMultiValueSpecifier) {
      text->setFont(kit::Font::systemFont(kit::Font::labelFontSize()));
      text->setTextColor(detail->textColor());
    }
  }
  kit::TableViewCell::layoutSubviews();
  kit::Rect c = contentView()->bounds();
  double w = c.width();
  double h = c.height() - 2;
  bool hasDetail = !detail->text().empty();
  double room = std::max(0.0, w - (hasDetail ? 59 : 19));
  double tw = std::min(text->sizeThatFits({room, h}).width, room);
  text->setFrame({9, 1, tw, h});
  if (hasDetail) {
    double dx = tw + 14;
    detail->setFrame({dx, 1, std::max(0.0, w - 10 - dx), h});
    detail->setTextAlignment(kit::TextAlignment::Right);
  }
}

}  // namespace tolva
