#include "data/BadgeView.h"

#include <cmath>

#include "kit/ui/Font.h"
#include "kit/ui/Layer.h"
#include "kit/ui/Screen.h"
#include "kit/ui/TableViewCell.h"
#include "kit/ui/TextMeasurement.h"

namespace tolva {

BadgeView::BadgeView(kit::Rect frame) : kit::View(frame), label_(kit::make<kit::Label>()) {
  setBackgroundColor(kit::Color::clearColor());
  label_->setBackgroundColor(kit::Color::clearColor());
  label_->setFont(kit::Font::boldSystemFont(kFontSize));
  label_->setLineBreakMode(kit::LineBreakMode::Clip);
  addSubview(label_.get());
}

double BadgeView::textWidth(const std::string& text) {
  return kit::TextMeasurement::sizeOfText(text, kit::Font::boldSystemFont(kFontSize)).width;
}

void BadgeView::setBadgeString(std::string s) {
  badgeString_ = std::move(s);
  drawRect();
}

void BadgeView::setBadgeColor(std::optional<kit::Color> c) {
  badgeColor_ = c;
  drawRect();
}

void BadgeView::setBadgeColorHighlighted(std::optional<kit::Color> c) {
  badgeColorHighlighted_ = c;
  drawRect();
}

void BadgeView::setShowShadow(bool s) {
  showShadow_ = s;
  drawRect();
}

void BadgeView::setRadius(double r) {
  radius_ = r;
  drawRect();
}

void BadgeView::drawRect() {
  const double t = badgeString_.empty() ? 0 : textWidth(badgeString_);
  double b = t + 12;
  double r = radius_ != 0 ? radius_ : 4;
  drawnHighlighted_ = parent_ && parent_->selectionStyle() != kit::TableViewCell::SelectionStyle::None &&
                      (parent_->isHighlighted() || parent_->isSelected());
  drawnColor_ = drawnHighlighted_ ? badgeColorHighlighted_.value_or(kit::Color::whiteColor())
                                  : badgeColor_.value_or(defaultColor());
  double x = (b - t) / 2 + 0.5;
  double y = 2;
  double fontSize = kFontSize;
  if (kit::Screen::mainScreen().scale() == 2) {
    x = (2 * b - 2 * t) / 2 + 1;
    y = 5;
    fontSize = 2 * kFontSize;
    b *= 2;
    r *= 2;
  }
  width_ = static_cast<unsigned>(b);
  layer()->setBackgroundColor(drawnColor_);
  layer()->setCornerRadius(r);
  // The cut-out text shows what lies under the badge: the cell's background.
  std::optional<kit::Color> under = parent_ ? parent_->backgroundColor() : std::nullopt;
  label_->setTextColor(drawnHighlighted_ ? kit::Color::rgba(0.02, 0.45, 0.95) : under.value_or(kit::Color::whiteColor()));
  label_->setFont(kit::Font::boldSystemFont(fontSize));
  label_->setText(badgeString_);
  label_->setFrame(kit::Rect{x, y, b - x, kHeight - y});
  const bool shadow = drawnHighlighted_ && showShadow_;
  layer()->setShadowOffset(kit::Size{0, 1});
  layer()->setShadowRadius(1);
  layer()->setShadowOpacity(shadow ? 0.8 : 0);
  setNeedsDisplay();
}

}  // namespace tolva
