#include "shell/VeskContextMenuTarget.h"

#include <optional>

#include "kit/foundation/URLEscaping.h"
#include "kit/foundation/UTF8.h"
#include "shell/VeskWebView.h"

namespace tolva {
namespace {

// The text after a new-tab marker (the page's script may have put one in).
std::string withoutMarker(const std::string& text, bool* hadMarker) {
  std::optional<std::string> rest = VeskWebView::extrackNewTab(text);
  if (hadMarker) *hadMarker = rest.has_value();
  return rest ? *rest : text;
}

// The UTF-16 unit of a "\uHHHH" at `at`, or -1.
long unitAt(std::string_view s, size_t at) {
  if (at + 6 > s.size() || s[at] != '\\' || s[at + 1] != 'u') return -1;
  long unit = 0;
  for (size_t i = at + 2; i < at + 6; ++i) {
    if (!kit::URLEscaping::isHexDigit(s[i])) return -1;
    unit = unit * 16 + kit::URLEscaping::hexValue(s[i]);
  }
  return unit;
}

}  // namespace

VeskContextMenuTarget VeskContextMenuTarget::parse(const std::string& answer) {
  VeskContextMenuTarget t;
  if (answer.empty()) return t;
  const std::string rest = answer.substr(1);
  switch (answer[0]) {
    case '1':
      t.kind_ = Kind::Link;
      t.link_ = withoutMarker(rest, &t.linkWantsNewPage_);
      break;
    case '2':
      t.kind_ = Kind::Image;
      t.imageSource_ = withoutMarker(rest, nullptr);
      break;
    case '3': {
      t.kind_ = Kind::LinkedImage;
      size_t space = rest.find(' ');
      t.link_ = withoutMarker(rest.substr(0, space), &t.linkWantsNewPage_);
      if (space != std::string::npos) t.imageSource_ = withoutMarker(rest.substr(space + 1), nullptr);
      break;
    }
    default:
      break;
  }
  return t;
}

std::string VeskContextMenuTarget::title() const {
  return displayForm(kind_ == Kind::Image ? imageSource_ : link_);
}

std::string VeskContextMenuTarget::displayForm(const std::string& text) {
  return decodeHexEscapes(kit::URLEscaping::replacePercentEscapes(text).value_or(text));
}

std::string VeskContextMenuTarget::decodeHexEscapes(std::string_view text) {
  std::string s;
  s.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size() && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
      s += "\\u00";
      ++i;
    } else {
      s.push_back(text[i]);
    }
  }
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    long unit = unitAt(s, i);
    if (unit < 0) {
      out.push_back(s[i++]);
      continue;
    }
    i += 6;
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      long low = unitAt(s, i);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        i += 6;
        unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
      }
    }
    // A surrogate left alone becomes U+FFFD.
    kit::utf8::append(out, static_cast<uint32_t>(unit));
  }
  return out;
}

}  // namespace tolva
