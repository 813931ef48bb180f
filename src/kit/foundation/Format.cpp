#include "kit/foundation/Format.h"
#include "kit/foundation/UTF8.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <system_error>
#include <vector>

namespace kit {

namespace {

using format_detail::ArgKind;
using format_detail::Spec;

// Runtime widths and precisions (from '*' arguments) are clamped so a bad value cannot make
// the formatter allocate without bound.
constexpr long long kMaxRuntimeWidth = 65536;

const char* kindName(ArgKind k) {
  switch (k) {
    case ArgKind::Object: return "object";
    case ArgKind::Text: return "text";
    case ArgKind::Signed: return "int";
    case ArgKind::Unsigned: return "unsigned";
    case ArgKind::Char: return "char";
    case ArgKind::Bool: return "bool";
    case ArgKind::Double: return "double";
  }
  return "?";
}


size_t countCharacters(std::string_view s) {
  size_t n = 0;
  for (char c : s) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
  }
  return n;
}

// Pads body to the conversion's width; zero padding goes between the prefix (sign, "0x") and body.
void appendPadded(std::string& out, const Spec& s, std::string_view prefix, std::string_view body,
                  bool allowZeroPad) {
  size_t len = countCharacters(prefix) + countCharacters(body);
  size_t width = s.width > 0 ? static_cast<size_t>(s.width) : 0;
  size_t pad = width > len ? width - len : 0;
  if (s.minus) {
    out.append(prefix).append(body).append(pad, ' ');
  } else if (s.zero && allowZeroPad) {
    out.append(prefix).append(pad, '0').append(body);
  } else {
    out.append(pad, ' ').append(prefix).append(body);
  }
}

void appendText(std::string& out, const Spec& s, std::string_view text) {
  if (s.precision >= 0 && static_cast<size_t>(s.precision) < text.size()) {
    size_t cut = static_cast<size_t>(s.precision);
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    text = text.substr(0, cut);
  }
  appendPadded(out, s, {}, text, false);
}

void appendInteger(std::string& out, const Spec& s, bool negative, unsigned long long magnitude) {
  char conv = s.conversion;
  int base = (conv == 'x' || conv == 'X') ? 16 : conv == 'o' ? 8 : 10;
  char buf[72];
  std::string digits;
  if (!(s.precision == 0 && magnitude == 0)) {
    auto r = std::to_chars(buf, buf + sizeof buf, magnitude, base);
    digits.assign(buf, r.ptr);
  }
  if (conv == 'X') {
    for (char& c : digits) c = static_cast<char>(c >= 'a' && c <= 'f' ? c - 'a' + 'A' : c);
  }
  if (s.precision > 0 && digits.size() < static_cast<size_t>(s.precision)) {
    digits.insert(0, static_cast<size_t>(s.precision) - digits.size(), '0');
  }
  std::string prefix;
  bool isSigned = conv == 'd' || conv == 'i';
  if (isSigned) {
    if (negative) prefix = "-";
    else if (s.plus) prefix = "+";
    else if (s.space) prefix = " ";
  }
  if (s.hash) {
    if (conv == 'o' && (digits.empty() || digits[0] != '0')) digits.insert(0, "0");
    if ((conv == 'x' || conv == 'X') && magnitude != 0) prefix += conv == 'x' ? "0x" : "0X";
  }
  appendPadded(out, s, prefix, digits, s.precision < 0);
}

void appendDouble(std::string& out, const Spec& s, double v) {
  char conv = s.conversion;
  bool upper = conv >= 'A' && conv <= 'Z';
  char lc = upper ? static_cast<char>(conv - 'A' + 'a') : conv;
  std::string prefix = std::signbit(v) ? "-" : s.plus ? "+" : s.space ? " " : "";
  double a = std::fabs(v);
  std::string body;
  bool finite = std::isfinite(a);
  if (std::isnan(a)) {
    body = "nan";
  } else if (std::isinf(a)) {
    body = "inf";
  } else {
    int precision = s.precision < 0 ? 6 : std::min(s.precision, static_cast<int>(kMaxRuntimeWidth));
    std::string buf(static_cast<size_t>(precision) + 400, '\0');
    char* first = buf.data();
    char* last = first + buf.size();
    std::to_chars_result r{};
    switch (lc) {
      case 'f': r = std::to_chars(first, last, a, std::chars_format::fixed, precision); break;
      case 'e': r = std::to_chars(first, last, a, std::chars_format::scientific, precision); break;
      case 'g': r = std::to_chars(first, last, a, std::chars_format::general, precision == 0 ? 1 : precision); break;
      default:  // 'a'
        r = s.precision < 0 ? std::to_chars(first, last, a, std::chars_format::hex)
                            : std::to_chars(first, last, a, std::chars_format::hex, precision);
        break;
    }
    body.assign(first, r.ec == std::errc() ? r.ptr : first);
    if (s.hash && body.find('.') == std::string::npos && lc != 'g') {
      // '#' keeps the decimal point even without digits after it.
      size_t exp = body.find_first_of(lc == 'a' ? "p" : "e");
      body.insert(exp == std::string::npos ? body.size() : exp, ".");
    }
    if (lc == 'a') prefix += "0x";
  }
  if (upper) {
    for (char& c : body) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    for (char& c : prefix) c = static_cast<char>(c == 'x' ? 'X' : c);
  }
  appendPadded(out, s, prefix, body, finite);
}

std::string shortestDouble(double v) {
  if (std::isnan(v)) return "nan";
  if (std::isinf(v)) return v > 0 ? "inf" : "-inf";
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

long long integerOf(const FormatArg& a) {
  if (a.kind == ArgKind::Unsigned) {
    return a.u > static_cast<unsigned long long>(kMaxRuntimeWidth) ? kMaxRuntimeWidth : static_cast<long long>(a.u);
  }
  return a.i;
}

// The value an integer argument has when read as unsigned of its own width.
unsigned long long wrapped(const FormatArg& a) {
  if (a.kind == ArgKind::Unsigned) return a.u;
  auto u = static_cast<unsigned long long>(a.i);
  if (a.size > 0 && a.size < 8) u &= (1ULL << (a.size * 8)) - 1;
  return u;
}

void appendArgument(std::string& out, const Spec& spec, const FormatArg& a) {
  Spec s = spec;
  switch (s.conversion) {
    case '@':
      switch (a.kind) {
        case ArgKind::Object: appendText(out, s, a.object ? a.object->description() : "(null)"); return;
        case ArgKind::Text:
          appendText(out, s, a.text.data ? std::string_view(a.text.data, a.text.length) : "(null)");
          return;
        case ArgKind::Signed: case ArgKind::Bool: appendText(out, s, std::to_string(a.i)); return;
        case ArgKind::Unsigned: appendText(out, s, std::to_string(a.u)); return;
        case ArgKind::Char: {
          std::string c;
          utf8::append(c, static_cast<unsigned char>(a.i));
          appendText(out, s, c);
          return;
        }
        case ArgKind::Double: appendText(out, s, shortestDouble(a.d)); return;
      }
      return;
    case 's': case 'S':
      if (a.kind == ArgKind::Object) {
        appendText(out, s, a.object ? a.object->description() : "(null)");
      } else {
        appendText(out, s, a.text.data ? std::string_view(a.text.data, a.text.length) : "(null)");
      }
      return;
    case 'd': case 'i':
      if (a.kind == ArgKind::Unsigned) {
        appendInteger(out, s, false, a.u);
      } else {
        bool negative = a.i < 0;
        appendInteger(out, s, negative,
                      negative ? 0ULL - static_cast<unsigned long long>(a.i) : static_cast<unsigned long long>(a.i));
      }
      return;
    case 'o': case 'u': case 'x': case 'X':
      appendInteger(out, s, false, wrapped(a));
      return;
    case 'c': case 'C': {
      unsigned long long cp = a.kind == ArgKind::Char ? static_cast<unsigned char>(a.i) : wrapped(a);
      std::string c;
      // A NUL would end the text for C consumers; it is left out.
      if (cp != 0) utf8::append(c, cp > 0x10FFFF ? 0xFFFD : static_cast<uint32_t>(cp));
      appendPadded(out, s, {}, c, false);
      return;
    }
    case 'p': {
      char buf[32];
      std::snprintf(buf, sizeof buf, "0x%llx",
                    static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(a.object)));
      appendPadded(out, s, {}, buf, false);
      return;
    }
    default: {
      double v = a.kind == ArgKind::Double     ? a.d
                 : a.kind == ArgKind::Unsigned ? static_cast<double>(a.u)
                                               : static_cast<double>(a.i);
      appendDouble(out, s, v);
      return;
    }
  }
}

}  // namespace

std::string Format::vformat(std::string_view fmt, const FormatArg* args, size_t count) {
  std::string out;
  out.reserve(fmt.size() + 16 * count);
  size_t next = 0;
  std::vector<bool> used(count, false);
  for (size_t i = 0; i < fmt.size();) {
    size_t percent = fmt.find('%', i);
    if (percent == std::string_view::npos) {
      out.append(fmt.substr(i));
      break;
    }
    out.append(fmt.substr(i, percent - i));
    i = percent + 1;
    Spec s;
    if (format_detail::parseSpec(fmt, i, s) != format_detail::Problem::None) {
      out.append("%!(bad format)");
      // Resume after the offending character so the rest of the text still shows.
      i = std::max(i, percent + 2);
      continue;
    }
    if (s.conversion == '%') {
      out.push_back('%');
      continue;
    }
    auto missing = [&] { out.append("%!").append(1, s.conversion).append("(missing)"); };
    auto takeStar = [&](int& field, bool star) -> bool {
      if (!star) return true;
      if (next >= count) return false;
      used[next] = true;
      const FormatArg& a = args[next++];
      if (!format_detail::accepts('*', a.kind)) {
        field = -1;
        return true;
      }
      long long v = integerOf(a);
      v = std::max(-kMaxRuntimeWidth, std::min(kMaxRuntimeWidth, v));
      field = static_cast<int>(v);
      return true;
    };
    if (!takeStar(s.width, s.widthStar)) {
      missing();
      continue;
    }
    if (s.width < 0 && s.widthStar) {  // a negative width means left-justified
      s.minus = true;
      s.width = -s.width;
    }
    if (!takeStar(s.precision, s.precisionStar)) {
      missing();
      continue;
    }
    if (s.precision < -1) s.precision = -1;
    const FormatArg* a = nullptr;
    if (s.position) {
      if (static_cast<size_t>(s.position) <= count) {
        a = &args[s.position - 1];
        used[s.position - 1] = true;
      }
    } else if (next < count) {
      used[next] = true;
      a = &args[next++];
    }
    if (!a) {
      missing();
      continue;
    }
    if (!format_detail::accepts(s.conversion, a->kind)) {
      out.append("%!").append(1, s.conversion).append("(").append(kindName(a->kind)).append(")");
      continue;
    }
    appendArgument(out, s, *a);
  }
  for (size_t k = 0; k < count; ++k) {
    if (!used[k]) out.append("%!(extra ").append(kindName(args[k].kind)).append(")");
  }
  return out;
}

}  // namespace kit
