#include "shell/UIWebViewExpand.h"

#include <string_view>

#include "kit/foundation/Format.h"
#include "shell/LocalizedText.h"

namespace tolva::UIWebViewExpand {
namespace {

bool equalsIgnoringCase(const std::string& a, const char* b) {
  std::string lower;
  for (char c : a) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return lower == b;
}

// Decodes one UTF-8 sequence at s[i] (advancing i); a malformed byte is U+FFFD.
char32_t decodeUtf8(const std::string& s, size_t& i) {
  auto b = static_cast<unsigned char>(s[i++]);
  if (b < 0x80) return b;
  int extra = b >= 0xF0 && b < 0xF5 ? 3 : b >= 0xE0 ? 2 : b >= 0xC2 && b < 0xE0 ? 1 : -1;
  if (extra < 0 || i + extra > s.size()) return 0xFFFD;
  char32_t cp = b & (0x3F >> extra);
  for (int k = 0; k < extra; ++k) {
    auto c = static_cast<unsigned char>(s[i + k]);
    if ((c & 0xC0) != 0x80) return 0xFFFD;
    cp = (cp << 6) | (c & 0x3F);
  }
  i += extra;
  return cp;
}

// The value in the escape form the page's unescape() reads back exactly:
// %XX below 256, %uXXXX above (UTF-16 units). Nothing but letters, digits
// and @*_+-./ is left as is, so the value cannot end the script's string.
std::string escapeForUnescape(const std::string& s) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  auto unit = [&](unsigned u) {
    if (u < 256) {
      out += '%';
      out += hex[u >> 4];
      out += hex[u & 15];
    } else {
      out += "%u";
      for (int shift = 12; shift >= 0; shift -= 4) out += hex[(u >> shift) & 15];
    }
  };
  for (size_t i = 0; i < s.size();) {
    char32_t cp = decodeUtf8(s, i);
    bool plain = (cp >= 'a' && cp <= 'z') || (cp >= 'A' && cp <= 'Z') || (cp >= '0' && cp <= '9') ||
                 (cp != 0 && std::string_view("@*_+-./").find(static_cast<char>(cp)) != std::string_view::npos &&
                  cp < 128);
    if (plain) {
      out += static_cast<char>(cp);
    } else if (cp >= 0x10000) {
      cp -= 0x10000;
      unit(0xD800 + (cp >> 10));
      unit(0xDC00 + (cp & 0x3FF));
    } else {
      unit(static_cast<unsigned>(cp));
    }
  }
  return out;
}

// An id or name inside a single-quoted script string: quotes, backslashes
// and line breaks escaped, so the text is looked up exactly as given.
std::string quoted(const std::string& s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\'': out += "\\'"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '<': out += "\\x3C"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          out += kit::format("\\x%02X", static_cast<unsigned char>(c));
        } else {
          out += c;
        }
    }
  }
  return out;
}

}  // namespace

std::string getTitle(kit::WebView& webView) {
  std::string title = webView.stringByEvaluatingJavaScriptFromString("document.title");
  return title.empty() ? LocalizedText::localized("Untitled") : title;
}

std::string getLocation(kit::WebView& webView) {
  kit::URLRequest* request = webView.request();
  return request && request->url() ? request->url()->absoluteString() : std::string();
}

bool isInjected(kit::WebView& webView) {
  return equalsIgnoringCase(webView.stringByEvaluatingJavaScriptFromString("isInjected().toString();"), "true");
}

void applyFontSize(kit::WebView& webView, unsigned percent) {
  webView.stringByEvaluatingJavaScriptFromString(
      kit::format("document.getElementsByTagName('body')[0].style.webkitTextSizeAdjust= '%d%%'", percent));
}

void setValue(kit::WebView& webView, const std::string& value, const std::string& idOrName) {
  webView.stringByEvaluatingJavaScriptFromString(
      "function setVeSkValue(idorname, val){var e = document.getElementById(idorname);if (e) {e.value = "
      "unescape(val);}else {\te = document.getElementsByName(idorname);\tif (e) {\t\tfor(var i=0;i<e.length;i++) "
      "{\t\t\te[i].value = unescape(val);\t\t}\t}}};");
  webView.stringByEvaluatingJavaScriptFromString(
      kit::format("setVeSkValue('%@','%@');", quoted(idOrName), escapeForUnescape(value)));
}

}  // namespace tolva::UIWebViewExpand
