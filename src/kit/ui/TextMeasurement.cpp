#include "kit/ui/TextMeasurement.h"

#include <algorithm>
#include <cmath>
#include <mutex>

#include "kit/ui/Utf16.h"

namespace kit {
namespace {

std::mutex& measurerMutex() {
  static std::mutex m;
  return m;
}

TextMeasurement::Measurer& measurer() {
  static TextMeasurement::Measurer m;
  return m;
}

}  // namespace

Size TextMeasurement::sizeOfText(std::string_view text, const Font& font, double maxWidth) {
  Measurer m;
  {
    std::lock_guard<std::mutex> g(measurerMutex());
    m = measurer();
  }
  return m ? m(text, font, maxWidth) : headlessSize(text, font, maxWidth);
}

void TextMeasurement::setMeasurer(Measurer m) {
  std::lock_guard<std::mutex> g(measurerMutex());
  measurer() = std::move(m);
}

Size TextMeasurement::headlessSize(std::string_view text, const Font& font, double maxWidth) {
  double advance = kAdvance * font.pointSize;
  // Split into hard lines, then wrap each one at the width.
  size_t widest = 0;
  size_t lines = 0;
  size_t perLine = 0;
  if (maxWidth > 0 && advance > 0) perLine = std::max<size_t>(1, static_cast<size_t>(std::floor(maxWidth / advance)));
  size_t start = 0;
  while (true) {
    size_t nl = text.find('\n', start);
    std::string_view line = text.substr(start, nl == std::string_view::npos ? std::string_view::npos : nl - start);
    size_t chars = utf8CodePointCount(line);
    if (perLine && chars > perLine) {
      lines += (chars + perLine - 1) / perLine;
      widest = std::max(widest, perLine);
    } else {
      lines += 1;
      widest = std::max(widest, chars);
    }
    if (nl == std::string_view::npos) break;
    start = nl + 1;
  }
  if (text.empty()) return {0, font.lineHeight()};
  return {std::ceil(widest * advance), lines * font.lineHeight()};
}

double TextMeasurement::fittingFontSize(std::string_view text, const Font& font, double width, double minimumSize) {
  for (double size = font.pointSize; size >= minimumSize; size -= 1) {
    if (sizeOfText(text, font.withSize(size)).width <= width) return size;
  }
  return minimumSize;
}

}  // namespace kit
