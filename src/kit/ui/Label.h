#pragma once
// A read-only text: font, colour, alignment, shadow, lines and shrinking to fit.

#include <optional>
#include <string>

#include "kit/ui/Font.h"
#include "kit/ui/TextInputTraits.h"
#include "kit/ui/View.h"

namespace kit {

enum class LineBreakMode { WordWrap = 0, CharacterWrap = 1, Clip = 2, HeadTruncation = 3, TailTruncation = 4, MiddleTruncation = 5 };

class Label : public View {
 public:
  explicit Label(Rect frame = {});

  const std::string& text() const noexcept { return text_; }
  void setText(std::string text);
  const Font& font() const noexcept { return font_; }
  void setFont(Font font);
  void setFontSize(double size) { setFont(font_.withSize(size)); }
  const Color& textColor() const noexcept { return textColor_; }
  void setTextColor(Color c);
  const std::optional<Color>& highlightedTextColor() const noexcept { return highlightedColor_; }
  void setHighlightedTextColor(std::optional<Color> c);
  TextAlignment textAlignment() const noexcept { return alignment_; }
  void setTextAlignment(TextAlignment a);
  const std::optional<Color>& shadowColor() const noexcept { return shadowColor_; }
  void setShadowColor(std::optional<Color> c);
  Size shadowOffset() const noexcept { return shadowOffset_; }
  void setShadowOffset(Size s);
  // 0: as many lines as needed.
  int numberOfLines() const noexcept { return lines_; }
  void setNumberOfLines(int n);
  LineBreakMode lineBreakMode() const noexcept { return lineBreak_; }
  void setLineBreakMode(LineBreakMode m);
  bool adjustsFontSizeToFitWidth() const noexcept { return adjusts_; }
  void setAdjustsFontSizeToFitWidth(bool a);
  double minimumFontSize() const noexcept { return minimumFontSize_; }
  void setMinimumFontSize(double s);
  bool isHighlighted() const noexcept { return highlighted_; }
  void setHighlighted(bool h);
  bool isEnabled() const noexcept { return enabled_; }
  void setEnabled(bool e);

  // The font size the text is drawn at: shrunk (down to the minimum) to fit
  // one line in the width when adjusting, else the font's.
  double effectiveFontSize() const;
  Size sizeThatFits(Size size) const override;

  std::string className() const override { return "Label"; }

 private:
  std::string text_;
  Font font_ = Font::systemFont(Font::labelFontSize());
  Color textColor_ = Color::blackColor();
  std::optional<Color> highlightedColor_;
  TextAlignment alignment_ = TextAlignment::Left;
  std::optional<Color> shadowColor_;
  Size shadowOffset_{0, -1};
  int lines_ = 1;
  LineBreakMode lineBreak_ = LineBreakMode::TailTruncation;
  bool adjusts_ = false;
  double minimumFontSize_ = 0;
  bool highlighted_ = false;
  bool enabled_ = true;
};

}  // namespace kit
