#include "shell/UIWebViewExpand.h"

#include <algorithm>
#include <cstdio>

#include "common/LocalizedText.h"
#include "kit/foundation/Bundle.h"
#include "kit/foundation/Format.h"
#include "kit/foundation/String.h"
#include "kit/foundation/UTF8.h"

namespace tolva::UIWebViewExpand {
namespace {

constexpr const char* kHex = "0123456789ABCDEF";

bool equalsIgnoringCase(const std::string& a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char c = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
    if (c != b[i]) return false;
  }
  return true;
}

// Decodes the UTF-8 sequence at s[i] and advances i past it. Anything that
// is not well-formed (stray or missing continuation bytes, overlong forms,
// surrogates, values past U+10FFFF) yields U+FFFD and skips one byte.
char32_t decodeUtf8(std::string_view s, size_t& i) {
  auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  unsigned char b = byte(i);
  if (b < 0x80) {
    ++i;
    return b;
  }
  int extra = b >= 0xC2 && b <= 0xDF ? 1 : b >= 0xE0 && b <= 0xEF ? 2 : b >= 0xF0 && b <= 0xF4 ? 3 : -1;
  if (extra < 0 || i + static_cast<size_t>(extra) >= s.size()) {
    ++i;
    return 0xFFFD;
  }
  char32_t cp = b & (0x3F >> extra);
  for (int k = 1; k <= extra; ++k) {
    unsigned char c = byte(i + k);
    if ((c & 0xC0) != 0x80) {
      ++i;
      return 0xFFFD;
    }
    cp = (cp << 6) | (c & 0x3F);
  }
  bool overlong = (extra == 2 && cp < 0x800) || (extra == 3 && cp < 0x10000);
  if (overlong || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) {
    ++i;
    return 0xFFFD;
  }
  i += static_cast<size_t>(extra) + 1;
  return cp;
}

// Calls `unit` with each UTF-16 unit of `text`.
template <typename F>
void forEachUtf16Unit(std::string_view text, F unit) {
  for (size_t i = 0; i < text.size();) {
    char32_t cp = decodeUtf8(text, i);
    if (cp >= 0x10000) {
      cp -= 0x10000;
      unit(static_cast<unsigned>(0xD800 + (cp >> 10)));
      unit(static_cast<unsigned>(0xDC00 + (cp & 0x3FF)));
    } else {
      unit(static_cast<unsigned>(cp));
    }
  }
}

}  // namespace

// Page titles are shown, stored and printed: none may carry terminal or
// layout controls or text a property list cannot hold.
std::string cleanTitle(std::string_view raw) {
  std::string out;
  out.reserve(std::min(raw.size(), kMaxTitleBytes));
  for (size_t i = 0; i < raw.size();) {
    size_t at = i;
    uint32_t cp = kit::utf8::decode(raw, i);
    std::string_view piece = raw.substr(at, i - at);
    if (cp == '\t' || cp == '\n' || cp == '\r' || cp == '\f') {
      piece = " ";
    } else if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F)) {
      continue;
    } else if ((cp & 0xFFFE) == 0xFFFE || (cp >= 0xFDD0 && cp <= 0xFDEF) ||
               (cp == 0xFFFD && i - at == 1)) {  // non-characters, ill-formed bytes
      piece = "\xEF\xBF\xBD";                      // U+FFFD
    }
    if (out.size() + piece.size() > kMaxTitleBytes) break;
    out.append(piece);
  }
  return out;
}

namespace {

std::string evaluate(kit::WebView& webView, const std::string& script) {
  return webView.stringByEvaluatingJavaScriptFromString(script);
}

int intValueOf(kit::WebView& webView, const std::string& script) {
  return kit::str(evaluate(webView, script))->intValue();
}

// The find-in-page script, read once from the bundle.
const std::string& searchScript() {
  static const std::string code = [] {
    kit::Ref<kit::String> s =
        kit::Bundle::mainBundle()->textOfResource("search", "js", kit::Bundle::TextEncoding::UTF8);
    return s ? s->str() : std::string();
  }();
  return code;
}

void injectSearchScriptWhenNeeded(kit::WebView& webView) {
  if (!isSearchInjected(webView) && !searchScript().empty()) evaluate(webView, searchScript());
}

}  // namespace

std::string scriptStringLiteral(std::string_view text) {
  std::string out = "'";
  out.reserve(text.size() + 2);
  forEachUtf16Unit(text, [&](unsigned u) {
    switch (u) {
      case '\\': out += "\\\\"; break;
      case '\'': out += "\\'"; break;
      case '"': out += "\\\""; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      // "</script" or "<!--" in a literal would end or confuse an inline script element.
      case '<': out += "\\x3C"; break;
      default:
        if (u < 0x20 || u == 0x7F) {
          out += "\\x";
          out += kHex[u >> 4];
          out += kHex[u & 15];
        } else if (u < 0x80) {
          out += static_cast<char>(u);
        } else {
          // Non-ASCII, U+2028/U+2029 (line terminators inside a literal) among them.
          out += "\\u";
          for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(u >> shift) & 15];
        }
    }
  });
  out += '\'';
  return out;
}

std::string escapeForUnescape(std::string_view text) {
  static constexpr std::string_view kPlain = "@*_+-./";
  std::string out;
  forEachUtf16Unit(text, [&](unsigned u) {
    bool plain = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') ||
                 (u < 0x80 && u != 0 && kPlain.find(static_cast<char>(u)) != std::string_view::npos);
    if (plain) {
      out += static_cast<char>(u);
    } else if (u < 0x100) {
      out += '%';
      out += kHex[u >> 4];
      out += kHex[u & 15];
    } else {
      out += "%u";
      for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(u >> shift) & 15];
    }
  });
  return out;
}

void setValue(kit::WebView& webView, const std::string& value, const std::string& idOrName) {
  evaluate(webView,
           "function setVeSkValue(idorname, val){var e = document.getElementById(idorname);if (e) {e.value = "
           "unescape(val);}else {\te = document.getElementsByName(idorname);\tif (e) {\t\tfor(var i=0;i<e.length;i++) "
           "{\t\t\te[i].value = unescape(val);\t\t}\t}}};");
  // The value travels in unescape()'s own form: UTF-8 percent escapes would
  // come out of unescape() as Latin-1 letters.
  evaluate(webView, "setVeSkValue(" + scriptStringLiteral(idOrName) + "," +
                        scriptStringLiteral(escapeForUnescape(value)) + ");");
}

kit::Size windowSize(kit::WebView& webView) {
  int width = intValueOf(webView, "window.innerWidth");
  int height = intValueOf(webView, "window.innerHeight");
  return {static_cast<double>(width), static_cast<double>(height)};
}

kit::Point scrollOffset(kit::WebView& webView) {
  int x = intValueOf(webView, "window.pageXOffset");
  int y = intValueOf(webView, "window.pageYOffset");
  return {static_cast<double>(x), static_cast<double>(y)};
}

bool isScrollable(kit::WebView& webView) {
  int innerWidth = intValueOf(webView, "window.innerWidth");
  int innerHeight = intValueOf(webView, "window.innerHeight");
  int scrollHeight = intValueOf(webView, "document.body.scrollHeight");
  int scrollWidth = intValueOf(webView, "document.body.scrollWidth");
  return innerWidth < scrollWidth || innerHeight < scrollHeight;
}

bool isInjected(kit::WebView& webView) {
  return equalsIgnoringCase(evaluate(webView, "isInjected().toString();"), "true");
}

std::string getTitle(kit::WebView& webView) {
  std::string title = cleanTitle(evaluate(webView, "document.title"));
  return title.empty() ? LocalizedText::localized("Untitled") : title;
}

std::string getLocation(kit::WebView& webView) {
  kit::URLRequest* request = webView.request();
  return request && request->url() ? request->url()->absoluteString() : std::string();
}

bool isSearchInjected(kit::WebView& webView) {
  return equalsIgnoringCase(evaluate(webView, "Vesk_isInjected().toString();"), "true");
}

int numberOfOccurencesOfString(kit::WebView& webView, const std::string& text) {
  if (text.empty()) return 0;
  injectSearchScriptWhenNeeded(webView);
  evaluate(webView, "Vesk_FindAllOccurencesOfString(" + scriptStringLiteral(text) + ")");
  return intValueOf(webView, "Vesk_FindResultCount");
}

int numberOfHighlightedOfString(kit::WebView& webView) { return intValueOf(webView, "Vesk_SearchResultCount"); }

int highlightAllOccurencesOfString(kit::WebView& webView, const std::string& text) {
  injectSearchScriptWhenNeeded(webView);
  evaluate(webView, "Vesk_HighlightAllOccurencesOfString(" + scriptStringLiteral(text) + ");");
  return intValueOf(webView, "Vesk_SearchResultCount");
}

void removeAllHighlights(kit::WebView& webView) { evaluate(webView, "Vesk_RemoveAllHighlights()"); }

void applyFontSize(kit::WebView& webView, unsigned percent) {
  evaluate(webView,
           kit::format("document.getElementsByTagName('body')[0].style.webkitTextSizeAdjust= '%d%%'", percent));
  // Where the page's text-size adjustment means nothing (desktop engines),
  // the web view sizes the text itself.
  webView.setTextZoom(percent / 100.0);
}

void findScrollElementAndScroll(kit::WebView& webView, kit::Point point) {
  // Sent many times a second while a trackpad scrolls: never wait on the page.
  std::string script = kit::format("scrollScrollElementIdAtPoint(%f,%f);", point.x, point.y);
  webView.evaluateJavaScriptWithoutWaiting(script);
#ifndef NDEBUG
  std::fprintf(stderr, "%s\n", kit::format("str:%@", script).c_str());
#endif
}

std::string getSelectedText(kit::WebView& webView) {
  return evaluate(webView,
                  "function f() {var txt = window.getSelection().toString();\t\t\t\t\t return txt;\t\t\t\t\t }f();");
}

}  // namespace tolva::UIWebViewExpand
