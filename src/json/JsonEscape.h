#pragma once
// The escape both JSON writers write for a byte JSON text may not carry as it
// is. Always inlined: it sits in their string loops.

namespace tolva {

// `c` (a quote, a backslash, a slash or a control character below 0x20)
// written at `o` as its short escape where JSON has one, else as "\u00xx"
// with lower-case hex; `o` has room for six. Where the writing ended.
template <class Char>
[[gnu::always_inline]] inline Char* writeJsonEscape(unsigned char c, Char* o) {
  static constexpr char kHex[] = "0123456789abcdef";
  *o++ = '\\';
  switch (c) {
    case '"': *o++ = '"'; break;
    case '\\': *o++ = '\\'; break;
    case '/': *o++ = '/'; break;
    case '\b': *o++ = 'b'; break;
    case '\t': *o++ = 't'; break;
    case '\n': *o++ = 'n'; break;
    case '\f': *o++ = 'f'; break;
    case '\r': *o++ = 'r'; break;
    default:
      *o++ = 'u';
      *o++ = '0';
      *o++ = '0';
      *o++ = static_cast<Char>(kHex[c >> 4]);
      *o++ = static_cast<Char>(kHex[c & 15]);
  }
  return o;
}

}  // namespace tolva
