#pragma once
// How much room a text takes in a font. This is the one place text is
// measured, so that a rendering backend can replace it with real font
// metrics. The headless measure is deterministic: every character (Unicode
// code point) advances kAdvance × the point size, lines are Font::lineHeight()
// high, and a text wraps at character boundaries when a width is given.

#include <functional>
#include <string_view>

#include "kit/ui/Font.h"
#include "kit/ui/Geometry.h"

namespace kit {

class TextMeasurement {
 public:
  static constexpr double kAdvance = 0.5;
  // maxWidth <= 0 means one line of unlimited width.
  using Measurer = std::function<Size(std::string_view text, const Font& font, double maxWidth)>;

  static Size sizeOfText(std::string_view text, const Font& font, double maxWidth = 0);
  // Replaces the measure (null restores the headless one).
  static void setMeasurer(Measurer m);
  static Size headlessSize(std::string_view text, const Font& font, double maxWidth);
  // The largest size from `font.pointSize` down to `minimumSize` (in steps of
  // one point) at which the text fits `width` on one line; `minimumSize` when none does.
  static double fittingFontSize(std::string_view text, const Font& font, double width, double minimumSize);
};

}  // namespace kit
