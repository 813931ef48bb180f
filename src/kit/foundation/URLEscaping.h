#pragma once
// Percent escaping and unescaping of URL text (UTF-8 in, UTF-8 out).
//
// The three escape sets callers need:
//   addPercentEscapes(s)          escapes only what is never legal in a URL: controls, space,
//                                 " % < > [ \ ] ^ ` { | } and every byte of a non-ASCII character;
//                                 reserved characters such as / ? # & = stay, so a whole URL text
//                                 survives it.
//   escapeQueryValue(s)           additionally escapes ! * ' ( ) ; : @ & = + $ , / ? % # [ ], for one
//                                 query value or an OAuth parameter.
//   escapeUnreserved(s)           leaves only the RFC 3986 unreserved characters
//                                 (ALPHA DIGIT - . _ ~). For ASCII it escapes exactly what
//                                 escapeQueryValue escapes; it exists so callers can say which rule
//                                 they follow.
// Escapes are written with upper-case hex digits ("%2F").

#include <optional>
#include <string>
#include <string_view>

namespace kit {

class URLEscaping {
 public:
  // The reserved characters escapeQueryValue escapes on top of the illegal ones.
  static constexpr std::string_view kReservedCharacters = "!*'();:@&=+$,/?%#[]";

  // Escapes the characters never legal in a URL, plus every byte in alsoEscape, minus every
  // byte in leaveUnescaped (which wins over both).
  static std::string addPercentEscapes(std::string_view text, std::string_view alsoEscape = {},
                                       std::string_view leaveUnescaped = {});
  static std::string escapeQueryValue(std::string_view text) {
    return addPercentEscapes(text, kReservedCharacters);
  }
  static std::string escapeUnreserved(std::string_view text);

  // Replaces every %HH escape by its byte. Fails (nullopt) on a '%' not followed by two hex
  // digits, or when the result is not valid UTF-8; the input is never partially decoded.
  static std::optional<std::string> replacePercentEscapes(std::string_view text);

  static bool isHexDigit(char c) noexcept {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
  }
  static int hexValue(char c) noexcept {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  }
  // Appends "%HH" for the byte.
  static void appendEscape(std::string& out, unsigned char byte);
};

}  // namespace kit
