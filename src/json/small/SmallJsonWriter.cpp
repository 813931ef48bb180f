#include "json/small/SmallJsonWriter.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "kit/foundation/DecimalNumber.h"
#include "kit/foundation/Number.h"

namespace tolva {
namespace {

// A proxy may answer another object with a proxy; a chain this long is taken
// for one that never ends (an object answering itself, say).
constexpr int kMaxProxyChain = 64;


// The decimal's own text (as its stringValue() gives it), written straight
// into the output instead of through temporary strings.
void appendDecimal(const kit::DecimalNumber& d, std::string& out) {
  unsigned __int128 v = d.mantissa();
  int exponent = d.exponent();
  if (v == 0 && exponent >= 0) {
    out.push_back('0');
    return;
  }
  char buf[40];
  char* end = buf + sizeof buf;
  char* p = end;
  if (v == 0) *--p = '0';
  // 128-bit division is a library call; finish in 64 bits once it fits.
  while (v > UINT64_MAX) {
    *--p = static_cast<char>('0' + static_cast<int>(v % 10));
    v /= 10;
  }
  for (auto w = static_cast<uint64_t>(v); w != 0; w /= 10) *--p = static_cast<char>('0' + static_cast<int>(w % 10));
  auto digits = static_cast<size_t>(end - p);
  if (d.isNegative()) out.push_back('-');
  if (exponent >= 0) {
    out.append(p, digits);
    if (exponent > 40) {
      out.push_back('e');
      out.append(std::to_string(exponent));
    } else {
      out.append(static_cast<size_t>(exponent), '0');
    }
    return;
  }
  auto fraction = static_cast<size_t>(-exponent);
  if (fraction > 60) {
    out.append(p, digits);
    out.push_back('e');
    out.append(std::to_string(exponent));
    return;
  }
  if (digits <= fraction) {
    out.append("0.");
    out.append(fraction - digits, '0');
    out.append(p, digits);
    return;
  }
  out.append(p, digits - fraction);
  out.push_back('.');
  out.append(p + digits - fraction, fraction);
}

}  // namespace

kit::Ref<kit::String> SmallJsonWriter::stringWithFragment(const kit::Object* value) {
  clearErrorTrace();
  depth_ = 0;
  std::string out;
  out.reserve(128);
  if (!appendValue(value, out)) return nullptr;
  return kit::MutableString::string(std::move(out));
}

kit::Ref<kit::String> SmallJsonWriter::stringWithObject(const kit::Object* value) {
  kit::Ref<kit::Object> proxy;
  for (int hops = 0; value && hops <= kMaxProxyChain; ++hops) {
    if (value->kind() == kit::Kind::Dictionary || value->kind() == kit::Kind::Array) {
      auto text = stringWithFragment(value);
      if (text || hops == 0) return text;
      break;  // a proxy's value that cannot be written counts as no proxy
    }
    proxy = value->proxyForJson();
    value = proxy.get();
  }
  clearErrorTrace();
  addErrorWithCode(kErrorNotContainer, "Not valid type for JSON");
  return nullptr;
}

void SmallJsonWriter::indent(std::string& out) const {
  out.push_back('\n');
  out.append(2 * static_cast<size_t>(depth_), ' ');
}

bool SmallJsonWriter::enter() {
  if (++depth_ > depthLimit()) return fail(kErrorTooDeep, "Nested too deep");
  return true;
}

bool SmallJsonWriter::appendValue(const kit::Object* value, std::string& out) {
  kit::Ref<kit::Object> proxy;
  for (int hops = 0;; ++hops) {
    if (value) {
      switch (value->kind()) {
        case kit::Kind::Dictionary: return appendDictionary(static_cast<const kit::Dictionary*>(value), out);
        case kit::Kind::Array: return appendArray(static_cast<const kit::Array*>(value), out);
        case kit::Kind::String: return appendString(static_cast<const kit::String*>(value), out);
        case kit::Kind::Number: return appendNumber(value, out);
        case kit::Kind::Null: out.append("null"); return true;
        default: break;
      }
    }
    kit::Ref<kit::Object> next = value && hops < kMaxProxyChain ? value->proxyForJson() : nullptr;
    if (!next) return failUnsupported(value ? value->className() : "(null)");
    proxy = std::move(next);
    value = proxy.get();
  }
}

[[gnu::noinline]] bool SmallJsonWriter::failUnsupported(const std::string& what) {
  addErrorWithCode(kErrorUnsupportedType, "JSON serialisation not supported for " + what);
  return false;
}

[[gnu::noinline]] bool SmallJsonWriter::failMember(const kit::String* key) {
  addErrorWithCode(kErrorUnsupportedType, "Unsupported value for key " + key->str() + " in object");
  return false;
}

[[gnu::noinline]] bool SmallJsonWriter::appendNumber(const kit::Object* value, std::string& out) {
  auto* number = static_cast<const kit::Number*>(value);
  if (auto* decimal = dynamic_cast<const kit::DecimalNumber*>(number)) {
    // Exact, and always a finite number text.
    appendDecimal(*decimal, out);
    return true;
  }
  if (number->typeLetter() == 'c') {
    out.append(number->boolValue() ? "true" : "false");
    return true;
  }
  if (number->isFloatingPoint() && !std::isfinite(number->doubleValue())) {
    // JSON has no text for these; "nan" or "inf" would make unreadable output.
    return failUnsupported(number->stringValue());
  }
  out.append(number->stringValue());
  return true;
}

bool SmallJsonWriter::appendArray(const kit::Array* array, std::string& out) {
  if (!enter()) return false;
  out.push_back('[');
  size_t i = 0;
  // count() is asked each time: a proxy written meanwhile may change the array.
  for (; i < array->count(); ++i) {
    kit::Ref<kit::Object> element(array->objectAtIndex(i));
    if (i) out.push_back(',');
    if (humanReadable_) indent(out);
    if (!appendValue(element.get(), out)) return false;
  }
  --depth_;
  if (humanReadable_ && i) indent(out);
  out.push_back(']');
  return true;
}

bool SmallJsonWriter::appendDictionary(const kit::Dictionary* dictionary, std::string& out) {
  if (!enter()) return false;
  while (members_.size() < depth_) members_.emplace_back();
  Members& members = members_[depth_ - 1];
  // Lets go of the members however this returns.
  struct Release {
    Members& m;
    ~Release() { m.clear(); }
  } release{members};
  members.clear();
  members.reserve(dictionary->count());
  bool keysAreStrings = true;
  dictionary->enumerate([&](kit::Object* key, kit::Object* value, bool& stop) {
    if (!key || key->kind() != kit::Kind::String) {
      keysAreStrings = false;
      stop = true;
      return;
    }
    members.emplace_back(static_cast<kit::String*>(key), value);
  });
  // Checked before sorting, which compares keys as strings.
  if (!keysAreStrings) return fail(kErrorUnsupportedType, "JSON object key must be string");
  if (sortKeys_) {
    std::stable_sort(members.begin(), members.end(),
                     [](const auto& a, const auto& b) { return a.first->compare(*b.first) < 0; });
  }
  out.push_back('{');
  for (size_t i = 0; i < members.size(); ++i) {
    if (i) out.push_back(',');
    if (humanReadable_) indent(out);
    if (!appendString(members[i].first.get(), out)) return false;
    out.append(humanReadable_ ? " : " : ":");
    if (!appendValue(members[i].second.get(), out)) return failMember(members[i].first.get());
  }
  --depth_;
  if (humanReadable_ && !members.empty()) indent(out);
  out.push_back('}');
  return true;
}

[[gnu::noinline]] bool SmallJsonWriter::appendString(const kit::String* string, std::string& out) {
  std::string_view s = string->view();
  // JSON text is UTF-8; bytes that are not would make output no reader takes.
  if (!isValidUTF8(s)) return fail(kErrorUnsupportedType, "Invalid UTF-8 in string");
  static constexpr char kHex[] = "0123456789abcdef";
  out.push_back('"');
  size_t run = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    // Eight bytes at a time while none is a quote, a backslash or a control.
    while (s.size() - i >= 8) {
      uint64_t word;
      std::memcpy(&word, s.data() + i, sizeof word);
      constexpr uint64_t kOnes = 0x0101010101010101ull, kHigh = 0x8080808080808080ull;
      uint64_t quote = word ^ (kOnes * '"'), backslash = word ^ (kOnes * '\\');
      // A byte of the result has its high bit set where the byte was below
      // 0x20 or equal to one of the two (bytes >= 0x80 are masked out).
      uint64_t found = ((word - kOnes * 0x20) | (quote - kOnes) | (backslash - kOnes)) & ~word & kHigh;
      if (found) break;
      i += 8;
    }
    if (i == s.size()) break;
    auto b = static_cast<unsigned char>(s[i]);
    if (b >= 0x20 && b != '"' && b != '\\') continue;
    out.append(s, run, i - run);
    run = i + 1;
    switch (b) {
      case '"': out.append("\\\""); break;
      case '\\': out.append("\\\\"); break;
      case '\b': out.append("\\b"); break;
      case '\t': out.append("\\t"); break;
      case '\n': out.append("\\n"); break;
      case '\f': out.append("\\f"); break;
      case '\r': out.append("\\r"); break;
      default: {
        char u[] = {'\\', 'u', '0', '0', kHex[b >> 4], kHex[b & 0xF]};
        out.append(u, sizeof u);
      }
    }
  }
  out.append(s, run, s.size() - run);
  out.push_back('"');
  return true;
}

}  // namespace tolva
