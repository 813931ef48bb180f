#pragma once
// A font by family name and size. Headless layout only needs the size; a
// rendering backend maps the name to one of its own fonts.

#include <string>

namespace kit {

struct Font {
  std::string name = "System";
  double pointSize = 17;
  bool bold = false;
  bool operator==(const Font&) const = default;

  static Font systemFont(double size) { return {"System", size, false}; }
  static Font boldSystemFont(double size) { return {"System", size, true}; }
  static Font named(std::string name, double size) { return {std::move(name), size, false}; }
  static double systemFontSize() { return 14; }
  static double labelFontSize() { return 17; }
  static double buttonFontSize() { return 18; }

  Font withSize(double size) const { return {name, size, bold}; }
  // Height of one line of text.
  double lineHeight() const;
};

}  // namespace kit
