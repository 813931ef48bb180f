#include "kit/gtk/PangoText.h"

#include <gdk/gdk.h>
#include <pango/pangocairo.h>

#include <cmath>
#include <string>

#include "kit/ui/TextMeasurement.h"

namespace kit::gtk {
namespace {

PangoContext* measuringContext() {
  static PangoContext* context = [] {
    PangoFontMap* map = pango_cairo_font_map_get_default();
    PangoContext* c = pango_font_map_create_context(map);
    pango_cairo_context_set_resolution(c, 96);
    // The screen's hinting and antialiasing, as the widgets draw with: they
    // change glyph advances, so a measure without them can be a pixel or
    // two off what a label needs.
    if (GdkScreen* screen = gdk_screen_get_default())
      if (const cairo_font_options_t* options = gdk_screen_get_font_options(screen))
        pango_cairo_context_set_font_options(c, options);
    return c;
  }();
  return context;
}

}  // namespace

PangoFontDescription* PangoText::describe(const Font& font) {
  PangoFontDescription* d = pango_font_description_new();
  const bool system = font.name.empty() || font.name == "System";
  std::string family = system ? "Sans" : font.name;
  bool bold = font.bold;
  // Names like "Helvetica-Bold" carry the weight in the name.
  if (auto dash = family.find('-'); dash != std::string::npos) {
    if (family.find("Bold", dash) != std::string::npos) bold = true;
    family = family.substr(0, dash);
  }
  pango_font_description_set_family(d, family.c_str());
  pango_font_description_set_weight(d, bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
  const double size = font.pointSize > 0 && std::isfinite(font.pointSize) ? font.pointSize : Font::labelFontSize();
  pango_font_description_set_absolute_size(d, size * PANGO_SCALE);
  return d;
}

Size PangoText::measure(std::string_view text, const Font& font, double maxWidth) {
  PangoLayout* layout = pango_layout_new(measuringContext());
  PangoFontDescription* d = describe(font);
  pango_layout_set_font_description(layout, d);
  pango_font_description_free(d);
  pango_layout_set_text(layout, text.data(), static_cast<int>(text.size()));
  if (maxWidth > 0 && std::isfinite(maxWidth)) {
    pango_layout_set_width(layout, static_cast<int>(maxWidth * PANGO_SCALE));
    pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
  }
  int w = 0, h = 0;
  pango_layout_get_pixel_size(layout, &w, &h);
  g_object_unref(layout);
  if (text.empty()) w = 0;
  return {double(w), double(h)};
}

void PangoText::install() { TextMeasurement::setMeasurer(&PangoText::measure); }

}  // namespace kit::gtk
