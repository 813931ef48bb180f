#include "kit/ui/Label.h"

#include "kit/ui/TextMeasurement.h"

namespace kit {

Label::Label(Rect frame) : View(frame) {
  setUserInteractionEnabled(false);
  setOpaque(false);
}

void Label::setText(std::string text) {
  if (text == text_) return;
  text_ = std::move(text);
  notify(ViewChange::Content);
}

void Label::setFont(Font font) {
  font_ = std::move(font);
  notify(ViewChange::Content);
}

void Label::setTextColor(Color c) {
  if (c == textColor_) return;
  textColor_ = c;
  notify(ViewChange::Content);
}

void Label::setHighlightedTextColor(std::optional<Color> c) {
  highlightedColor_ = c;
  notify(ViewChange::Content);
}

void Label::setTextAlignment(TextAlignment a) {
  alignment_ = a;
  notify(ViewChange::Content);
}

void Label::setShadowColor(std::optional<Color> c) {
  shadowColor_ = c;
  notify(ViewChange::Content);
}

void Label::setShadowOffset(Size s) {
  shadowOffset_ = s;
  notify(ViewChange::Content);
}

void Label::setNumberOfLines(int n) {
  lines_ = n < 0 ? 0 : n;
  notify(ViewChange::Content);
}

void Label::setLineBreakMode(LineBreakMode m) {
  lineBreak_ = m;
  notify(ViewChange::Content);
}

void Label::setAdjustsFontSizeToFitWidth(bool a) {
  adjusts_ = a;
  notify(ViewChange::Content);
}

void Label::setMinimumFontSize(double s) {
  minimumFontSize_ = s;
  notify(ViewChange::Content);
}

void Label::setHighlighted(bool h) {
  if (h == highlighted_) return;
  highlighted_ = h;
  notify(ViewChange::State);
}

void Label::setEnabled(bool e) {
  if (e == enabled_) return;
  enabled_ = e;
  notify(ViewChange::State);
}

double Label::effectiveFontSize() const {
  if (!adjusts_ || lines_ != 1) return font_.pointSize;
  double minimum = minimumFontSize_ > 0 ? minimumFontSize_ : font_.pointSize;
  return TextMeasurement::fittingFontSize(text_, font_, bounds().width(), std::min(minimum, font_.pointSize));
}

Size Label::sizeThatFits(Size size) const {
  if (lines_ == 1) return TextMeasurement::sizeOfText(text_, font_);
  Size s = TextMeasurement::sizeOfText(text_, font_, size.width);
  if (lines_ > 0) s.height = std::min(s.height, lines_ * font_.lineHeight());
  return s;
}

}  // namespace kit
