#pragma once
// Text in real fonts: kit fonts as Pango font descriptions (a kit point is a
// pixel at scale 1, so sizes are absolute) and the text measure kit's layout
// asks through TextMeasurement.

#include <string_view>

#include <pango/pango.h>

#include "kit/ui/Font.h"
#include "kit/ui/Geometry.h"

namespace kit::gtk {

class PangoText {
 public:
  // A new description (free with pango_font_description_free). "System"
  // stands for the desktop's sans-serif face.
  static PangoFontDescription* describe(const Font& font);
  // Width and height of the laid-out text; wraps at word (then character)
  // boundaries when maxWidth > 0.
  static Size measure(std::string_view text, const Font& font, double maxWidth);
  // Makes TextMeasurement use measure().
  static void install();
};

}  // namespace kit::gtk
