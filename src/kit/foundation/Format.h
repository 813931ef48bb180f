#pragma once
// Type-safe printf-style formatting: kit::format("%@ has %d items", name, count).
//
// The format is always a constant in the code: it is checked while compiling against the
// arguments' types, so a stored or downloaded text can never act as a format, and a wrong
// conversion, a missing or an unused argument does not compile. Conversions:
//   %@          any argument: an object's description() (null: "(null)"), a text, a number
//   %s %S       a text, or an object's description
//   %d %i       an integer, enum, char or bool, signed; %u %x %X %o the same as unsigned (a negative
//               value wraps at the argument's own width, as printf does)
//   %c %C       an integer taken as a Unicode code point (written as UTF-8)
//   %f %F %e %E %g %G %a %A   a floating-point or integer value
//   %p          an object's address
//   %%          a percent sign
// with flags (- + space # 0), width and precision (digits or '*', which takes an int argument
// before the value), positional arguments ("%2$@ %1$@"; not mixed with sequential ones) and
// length modifiers (hh h l ll q z j t L), which are accepted and ignored because the argument
// carries its type. Numbers always use '.' as the decimal point, whatever the process locale.
// Precision on a text counts bytes but never cuts a UTF-8 character; width counts characters.
//
// Should a mismatch reach the formatter anyway, it writes a visible marker instead of reading
// anything: "%!d(text)" for a wrong type, "%!d(missing)" for a missing argument,
// "%!(extra text)" for an unused one and "%!(bad format)" for a broken conversion.

#include <array>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

#include "kit/foundation/Object.h"

namespace kit {

namespace format_detail {

enum class ArgKind : uint8_t { Object, Text, Signed, Unsigned, Char, Bool, Double };

enum class Problem : uint8_t {
  None,
  BadConversion,
  TooFewArguments,
  TooManyArguments,
  WrongArgumentType,
  MixedPositional,
  BadWidth,
};

struct Spec {
  bool minus = false, plus = false, space = false, hash = false, zero = false;
  bool widthStar = false, precisionStar = false;
  int width = -1;      // -1: none
  int precision = -1;  // -1: none
  int position = 0;    // 1-based; 0: sequential
  char conversion = 0;
};

constexpr int kMaxLiteralWidth = 10000;

// Parses the conversion starting just after a '%' at fmt[i]; on success i is past it.
constexpr Problem parseSpec(std::string_view fmt, size_t& i, Spec& s) {
  s = Spec{};
  auto digits = [&](int& out) -> bool {
    long v = 0;
    size_t start = i;
    while (i < fmt.size() && fmt[i] >= '0' && fmt[i] <= '9') {
      v = v * 10 + (fmt[i] - '0');
      if (v > kMaxLiteralWidth) return false;
      ++i;
    }
    out = static_cast<int>(v);
    return i > start;
  };
  // "N$" position.
  {
    size_t save = i;
    int pos = 0;
    if (fmt.size() > i && fmt[i] >= '1' && fmt[i] <= '9' && digits(pos) && i < fmt.size() && fmt[i] == '$') {
      s.position = pos;
      ++i;
    } else {
      i = save;
    }
  }
  for (; i < fmt.size(); ++i) {
    char c = fmt[i];
    if (c == '-') s.minus = true;
    else if (c == '+') s.plus = true;
    else if (c == ' ') s.space = true;
    else if (c == '#') s.hash = true;
    else if (c == '0') s.zero = true;
    else break;
  }
  if (i < fmt.size() && fmt[i] == '*') {
    s.widthStar = true;
    ++i;
  } else if (i < fmt.size() && fmt[i] >= '1' && fmt[i] <= '9') {
    if (!digits(s.width)) return Problem::BadWidth;
  }
  if (i < fmt.size() && fmt[i] == '.') {
    ++i;
    if (i < fmt.size() && fmt[i] == '*') {
      s.precisionStar = true;
      ++i;
    } else {
      s.precision = 0;
      if (i < fmt.size() && fmt[i] >= '0' && fmt[i] <= '9' && !digits(s.precision)) return Problem::BadWidth;
    }
  }
  // Length modifiers: the argument's own type decides.
  while (i < fmt.size() && (fmt[i] == 'h' || fmt[i] == 'l' || fmt[i] == 'q' || fmt[i] == 'z' ||
                            fmt[i] == 'j' || fmt[i] == 't' || fmt[i] == 'L')) {
    ++i;
  }
  if (i >= fmt.size()) return Problem::BadConversion;
  char c = fmt[i++];
  constexpr std::string_view kConversions = "@sSdiouxXcCfFeEgGaAp%";
  if (kConversions.find(c) == std::string_view::npos) return Problem::BadConversion;
  if (c == '%' && (s.position || s.widthStar || s.precisionStar)) return Problem::BadConversion;
  if (s.position && (s.widthStar || s.precisionStar)) return Problem::MixedPositional;
  s.conversion = c;
  return Problem::None;
}

constexpr bool accepts(char conversion, ArgKind k) {
  switch (conversion) {
    case '@':
      return true;
    case 's': case 'S':
      return k == ArgKind::Text || k == ArgKind::Object;
    case 'd': case 'i': case 'o': case 'u': case 'x': case 'X':
      return k == ArgKind::Signed || k == ArgKind::Unsigned || k == ArgKind::Char || k == ArgKind::Bool;
    case 'c': case 'C':
      return k == ArgKind::Signed || k == ArgKind::Unsigned || k == ArgKind::Char;
    case 'f': case 'F': case 'e': case 'E': case 'g': case 'G': case 'a': case 'A':
      return k == ArgKind::Double || k == ArgKind::Signed || k == ArgKind::Unsigned;
    case 'p':
      return k == ArgKind::Object;
    case '*':  // a width or precision argument
      return k == ArgKind::Signed || k == ArgKind::Unsigned;
    default:
      return false;
  }
}

// The first problem of a format for arguments of the given kinds (None when it is sound).
constexpr Problem validate(std::string_view fmt, const ArgKind* kinds, size_t count) {
  size_t next = 0;
  bool sequential = false, positional = false;
  uint64_t used = 0;  // positional arguments referenced (formats have far fewer than 64)
  for (size_t i = 0; i < fmt.size();) {
    if (fmt[i] != '%') {
      ++i;
      continue;
    }
    ++i;
    Spec s;
    if (Problem p = parseSpec(fmt, i, s); p != Problem::None) return p;
    if (s.conversion == '%') continue;
    if (s.position) {
      positional = true;
      if (static_cast<size_t>(s.position) > count) return Problem::TooFewArguments;
      if (s.position > 64) return Problem::TooManyArguments;
      if (!accepts(s.conversion, kinds[s.position - 1])) return Problem::WrongArgumentType;
      used |= uint64_t{1} << (s.position - 1);
    } else {
      sequential = true;
      for (bool star : {s.widthStar, s.precisionStar}) {
        if (!star) continue;
        if (next >= count) return Problem::TooFewArguments;
        if (!accepts('*', kinds[next++])) return Problem::WrongArgumentType;
      }
      if (next >= count) return Problem::TooFewArguments;
      if (!accepts(s.conversion, kinds[next++])) return Problem::WrongArgumentType;
    }
    if (sequential && positional) return Problem::MixedPositional;
  }
  if (positional) {
    for (size_t k = 0; k < count; ++k) {
      if (k >= 64 || !(used & (uint64_t{1} << k))) return Problem::TooManyArguments;
    }
    return Problem::None;
  }
  return next < count ? Problem::TooManyArguments : Problem::None;
}

template <class T>
struct IsRef : std::false_type {};
template <class T>
struct IsRef<Ref<T>> : std::true_type {};
template <class>
inline constexpr bool kUnsupported = false;

template <class T>
constexpr ArgKind kindOf() {
  using D = std::decay_t<T>;
  if constexpr (std::is_same_v<D, bool>) {
    return ArgKind::Bool;
  } else if constexpr (std::is_same_v<D, char>) {
    return ArgKind::Char;
  } else if constexpr (std::is_integral_v<D>) {
    return std::is_signed_v<D> ? ArgKind::Signed : ArgKind::Unsigned;
  } else if constexpr (std::is_enum_v<D>) {
    return std::is_signed_v<std::underlying_type_t<D>> ? ArgKind::Signed : ArgKind::Unsigned;
  } else if constexpr (std::is_floating_point_v<D>) {
    return ArgKind::Double;
  } else if constexpr (std::is_same_v<D, std::nullptr_t> || IsRef<D>::value) {
    return ArgKind::Object;
  } else if constexpr (std::is_same_v<D, const char*> || std::is_same_v<D, char*> ||
                       std::is_convertible_v<const D&, std::string_view>) {
    return ArgKind::Text;
  } else if constexpr (std::is_pointer_v<D>) {
    static_assert(std::is_base_of_v<Object, std::remove_cv_t<std::remove_pointer_t<D>>>,
                  "kit::format: pointers must point to kit objects");
    return ArgKind::Object;
  } else {
    static_assert(kUnsupported<D>, "kit::format: unsupported argument type");
    return ArgKind::Object;
  }
}

// Not constexpr on purpose: calling one while checking a format stops the compilation, and the
// compiler's message names the problem.
void format_has_an_unknown_conversion();
void format_has_too_few_arguments();
void format_has_unused_arguments();
void format_conversion_does_not_fit_its_argument();
void format_mixes_positional_and_sequential_arguments();
void format_has_a_bad_width_or_precision();

}  // namespace format_detail

// A format checked at compile time against the argument types Args.
template <class... Args>
class FormatString {
 public:
  template <class S>
    requires std::convertible_to<const S&, std::string_view>
  consteval FormatString(const S& text) : text_(text) {
    constexpr std::array<format_detail::ArgKind, sizeof...(Args)> kinds{format_detail::kindOf<Args>()...};
    using format_detail::Problem;
    switch (format_detail::validate(text_, kinds.data(), kinds.size())) {
      case Problem::None: break;
      case Problem::BadConversion: format_detail::format_has_an_unknown_conversion(); break;
      case Problem::TooFewArguments: format_detail::format_has_too_few_arguments(); break;
      case Problem::TooManyArguments: format_detail::format_has_unused_arguments(); break;
      case Problem::WrongArgumentType: format_detail::format_conversion_does_not_fit_its_argument(); break;
      case Problem::MixedPositional: format_detail::format_mixes_positional_and_sequential_arguments(); break;
      case Problem::BadWidth: format_detail::format_has_a_bad_width_or_precision(); break;
    }
  }
  constexpr std::string_view text() const noexcept { return text_; }

 private:
  std::string_view text_;
};

// One argument, type-erased for the formatter; it points into the caller's values and lives
// only as long as the call.
struct FormatArg {
  format_detail::ArgKind kind;
  uint8_t size;  // bytes of the original integer type, for wrap-around of negative values
  union {
    const Object* object;
    struct {
      const char* data;  // null for a null C string
      size_t length;
    } text;
    long long i;
    unsigned long long u;
    double d;
  };

  template <class T>
  static FormatArg from(const T& v) {
    using D = std::decay_t<T>;
    constexpr format_detail::ArgKind k = format_detail::kindOf<T>();
    FormatArg a;
    a.kind = k;
    a.size = 0;
    if constexpr (std::is_enum_v<D>) {
      a.size = sizeof(D);
      if constexpr (k == format_detail::ArgKind::Signed) {
        a.i = static_cast<long long>(v);
      } else {
        a.u = static_cast<unsigned long long>(v);
      }
    } else if constexpr (k == format_detail::ArgKind::Bool || k == format_detail::ArgKind::Char ||
                         k == format_detail::ArgKind::Signed) {
      a.size = sizeof(D);
      a.i = static_cast<long long>(v);
    } else if constexpr (k == format_detail::ArgKind::Unsigned) {
      a.size = sizeof(D);
      a.u = static_cast<unsigned long long>(v);
    } else if constexpr (k == format_detail::ArgKind::Double) {
      a.d = static_cast<double>(v);
    } else if constexpr (std::is_same_v<D, const char*> || std::is_same_v<D, char*>) {
      const char* p = v;
      a.text.data = p;
      a.text.length = p ? std::char_traits<char>::length(p) : 0;
    } else if constexpr (k == format_detail::ArgKind::Text) {
      std::string_view sv(v);
      a.text.data = sv.data() ? sv.data() : "";
      a.text.length = sv.size();
    } else if constexpr (std::is_same_v<D, std::nullptr_t>) {
      a.object = nullptr;
    } else if constexpr (format_detail::IsRef<D>::value) {
      a.object = v.get();
    } else {
      a.object = v;
    }
    return a;
  }
};

template <class... Args>
std::string format(FormatString<std::type_identity_t<Args>...> fmt, Args&&... args);

class Format {
 private:
  template <class... Args>
  friend std::string format(FormatString<std::type_identity_t<Args>...> fmt, Args&&... args);
  friend class FormatTest;
  // Formats without trusting that the arguments fit: mismatches become markers.
  static std::string vformat(std::string_view fmt, const FormatArg* args, size_t count);
};

template <class... Args>
std::string format(FormatString<std::type_identity_t<Args>...> fmt, Args&&... args) {
  if constexpr (sizeof...(Args) == 0) {
    return Format::vformat(fmt.text(), nullptr, 0);
  } else {
    const FormatArg erased[] = {FormatArg::from(args)...};
    return Format::vformat(fmt.text(), erased, sizeof...(Args));
  }
}

}  // namespace kit
