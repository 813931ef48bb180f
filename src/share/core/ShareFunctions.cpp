#include "share/core/ShareFunctions.h"

#include <vector>

#include "common/LocalizedText.h"
#include "kit/foundation/URLEscaping.h"

namespace tolva {
namespace {

void replaceAll(std::string& s, std::string_view from, std::string_view to) {
  if (from.empty()) return;
  size_t at = 0;
  while ((at = s.find(from, at)) != std::string::npos) {
    s.replace(at, from.size(), to);
    at += to.size();
  }
}

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

}  // namespace

std::string ShareLocalizedFormat(std::string_view key, std::initializer_list<std::string_view> args) {
  return LocalizedText::localizedFormat(key, std::vector<std::string>(args.begin(), args.end()));
}

std::string SharePercentEncodeText(std::string_view text) {
  std::string s(text);
  replaceAll(s, "&amp;", "&");
  s = kit::URLEscaping::addPercentEscapes(s);
  replaceAll(s, "&", "%26");
  replaceAll(s, "+", "%2B");
  replaceAll(s, "#", "%23");
  replaceAll(s, "!", "%21");
  replaceAll(s, "@", "%40");
  return s;
}

std::string SharePercentEncodeURL(const kit::URL* url) {
  if (!url) return {};
  return kit::URLEscaping::escapeQueryValue(url->absoluteString());
}

std::string ShareStripHTML(std::string_view html, bool keepLineBreaks) {
  std::string out(html);
  size_t pos = 0;
  while (pos < html.size()) {
    const size_t open = html.find('<', pos);
    if (open == std::string_view::npos) break;
    size_t close = html.find('>', open);
    if (close == std::string_view::npos) close = html.size();
    std::string tag(html.substr(open, close - open));
    tag += '>';
    replaceAll(out, tag, " ");
    pos = close;
  }
  if (!keepLineBreaks) replaceAll(out, "\n", "");
  size_t b = 0, e = out.size();
  while (b < e && isSpace(out[b])) ++b;
  while (e > b && isSpace(out[e - 1])) --e;
  return out.substr(b, e - b);
}

std::string ShareEscapeMarkup(std::string_view text, std::string_view apostrophe) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += apostrophe; break;
      default: out += c;
    }
  }
  return out;
}

}  // namespace tolva
