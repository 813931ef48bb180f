#include "json/small/SmallJsonWriter.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <typeinfo>
#include <utility>
#include <vector>

#include "json/JsonEscape.h"
#include "kit/foundation/ArenaMutableArray.h"
#include "kit/foundation/ArenaMutableDictionary.h"
#include "kit/foundation/ArenaObject.h"
#include "kit/foundation/DecimalNumber.h"
#include "kit/foundation/Null.h"
#include "kit/foundation/UTF8.h"

namespace tolva {
namespace {

// A proxy may answer another object with a proxy; a chain this long is taken
// for one that never ends (an object answering itself, say).
constexpr int kMaxProxyChain = 64;

// A text up to this size is copied into its result, its buffer kept for the
// next call; a larger one is handed over with its buffer.
constexpr size_t kKeptBuffer = 64 * 1024;

// Room a number's text never exceeds: a sign, 39 digits and 40 zeros, or
// "-0.", 60 zeros and 39 digits, or digits and an exponent; and what
// writeDecimal() may write past it.
constexpr size_t kNumberRoom = 128;

// Lines of the next collection in an array of collections asked for while
// one is written: a page.
constexpr unsigned kSiblingLines = 64;

constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

void twoDigits(char* p, uint32_t x) { std::memcpy(p, kDigitPairs + 2 * x, 2); }

// Exactly eight digits of x < 10^8, leading zeros included. The four pairs
// do not wait on each other, unlike dividing by 10 or 100 over and over.
void eightDigits(char* p, uint32_t x) {
  uint32_t high = x / 10000, low = x % 10000;
  twoDigits(p, high / 100);
  twoDigits(p + 2, high % 100);
  twoDigits(p + 4, low / 100);
  twoDigits(p + 6, low % 100);
}

// The decimal digits of v, ending just before end; answers where they begin.
char* digitsBefore(char* end, uint64_t v) {
  while (v >= 100000000) {
    uint64_t q = v / 100000000;
    end -= 8;
    eightDigits(end, static_cast<uint32_t>(v - q * 100000000));
    v = q;
  }
  auto w = static_cast<uint32_t>(v);
  while (w >= 100) {
    uint32_t q = w / 100;
    end -= 2;
    twoDigits(end, w - q * 100);
    w = q;
  }
  if (w >= 10) {
    end -= 2;
    twoDigits(end, w);
  } else {
    *--end = static_cast<char>('0' + w);
  }
  return end;
}

// The decimal's own text (as its stringValue() gives it), written at p; at
// most kNumberRoom bytes, though up to 41 past the text may be overwritten.
// Answers the end.
char* writeDecimal(const kit::DecimalNumber& d, char* p) {
  unsigned __int128 v = d.mantissa();
  int exponent = d.exponent();
  if (v == 0 && exponent >= 0) {
    *p++ = '0';
    return p;
  }
  // The digits end mid-buffer, so that copying a fixed 40 bytes from any of
  // them stays inside it: a copy of known size is a few moves, not a call.
  constexpr size_t kCopy = 40;  // at least the 39 digits of a 128-bit mantissa
  char buf[96] = {};
  char* end = buf + 48;
  char* first;
  // 128-bit division is a library call; 19 digits at a time until the rest fits.
  constexpr uint64_t kTen19 = 10000000000000000000ull;
  first = end;
  while (v > UINT64_MAX) {
    char* stop = first - 19;
    first = digitsBefore(first, static_cast<uint64_t>(v % kTen19));
    while (first != stop) *--first = '0';
    v /= kTen19;
  }
  first = digitsBefore(first, static_cast<uint64_t>(v));
  auto digits = static_cast<size_t>(end - first);
  if (d.isNegative()) *p++ = '-';
  if (exponent >= 0) {
    std::memcpy(p, first, kCopy);
    p += digits;
    if (exponent > 40) {
      *p++ = 'e';
      return std::to_chars(p, p + 16, exponent).ptr;
    }
    std::memset(p, '0', static_cast<size_t>(exponent));
    return p + exponent;
  }
  auto fraction = static_cast<size_t>(-exponent);
  if (fraction > 60) {
    std::memcpy(p, first, kCopy);
    p += digits;
    *p++ = 'e';
    return std::to_chars(p, p + 16, exponent).ptr;
  }
  if (digits <= fraction) {
    *p++ = '0';
    *p++ = '.';
    std::memset(p, '0', fraction - digits);
    p += fraction - digits;
    std::memcpy(p, first, kCopy);
    return p + digits;
  }
  size_t whole = digits - fraction;
  std::memcpy(p, first, kCopy);
  p += whole;
  *p++ = '.';
  std::memcpy(p, first + whole, kCopy);
  return p + fraction;
}

// Asks for the lines of an object, and of what was likely made right after
// it (a collection's own storage, a number's second line). Always inlined:
// prefetches count as doing nothing, so a call of a function made of them
// alone would be dropped.
[[gnu::always_inline]] inline void prefetchAround(const kit::Object* object) {
  auto address = reinterpret_cast<uintptr_t>(object);
  for (uintptr_t line = 0; line < 4; ++line) __builtin_prefetch(reinterpret_cast<const void*>(address + 64 * line));
}

// kit's own value classes, told by identity: none runs code of anyone else's
// while it is written. The arena-made ones a parser makes differ from the
// others only in where their memory comes from.
bool isKitString(const std::type_info& type) {
  return &type == &typeid(kit::ArenaObject<kit::MutableString>) || &type == &typeid(kit::ArenaObject<kit::String>) ||
         &type == &typeid(kit::MutableString) || &type == &typeid(kit::String);
}

bool isKitDictionary(const std::type_info& type) {
  return &type == &typeid(kit::ArenaMutableDictionary) || &type == &typeid(kit::MutableDictionary) ||
         &type == &typeid(kit::Dictionary);
}

bool isKitArray(const std::type_info& type) {
  return &type == &typeid(kit::ArenaMutableArray) || &type == &typeid(kit::MutableArray) ||
         &type == &typeid(kit::Array);
}

bool isKitDecimal(const std::type_info& type) {
  return &type == &typeid(kit::ArenaObject<kit::DecimalNumber>) || &type == &typeid(kit::DecimalNumber);
}

}  // namespace

SmallJsonWriter::SmallJsonWriter() : yes_(kit::Number::yes()), no_(kit::Number::no()) {}

SmallJsonWriter::~SmallJsonWriter() = default;

kit::Ref<kit::String> SmallJsonWriter::stringWithFragment(const kit::Object* value) {
  if (writing_) {
    // Asked by a proxy while this writer writes: its buffer and stacks are
    // that write's, so another writer does this one.
    kit::Ref<SmallJsonWriter> other(new SmallJsonWriter());
    other->setHumanReadable(humanReadable_);
    other->setSortKeys(sortKeys_);
    other->setMaxDepth(maxDepth_);
    return other->stringWithFragment(value);
  }
  clearErrorTrace();
  depth_ = 0;
  pinnedDepth_ = 0;
  limit_ = depthLimit();
  if (frames_.size() < limit_) frames_.resize(limit_);
  members_.clear();
  siblingLines_ = 0;
  ++generation_;
  cur_ = buffer_;
  bool ok;
  {
    // However the write ends (a collection mutated under enumeration
    // throws), what was pinned is let go, and only once nothing is written
    // any more.
    struct Writing {
      SmallJsonWriter& writer;
      explicit Writing(SmallJsonWriter& w) : writer(w) { writer.writing_ = true; }
      ~Writing() {
        writer.writing_ = false;
        writer.pins_.clear();
        writer.members_.clear();
      }
    } writing(*this);
    ok = appendValue(value);
  }
  kit::Ref<kit::String> text;
  size_t length = static_cast<size_t>(cur_ - buffer_);
  if (length <= kKeptBuffer) {
    if (ok) text = kit::MutableString::string(std::string(buffer_, length));
    if (out_.size() <= kKeptBuffer) return text;
  } else if (ok) {
    out_.resize(length);
    // Room left over from doubling is given back (one copy); the next text
    // of this size starts with room for it and hardly any over.
    if (out_.capacity() - length > length / 4) out_.shrink_to_fit();
    text = kit::MutableString::string(std::move(out_));
    expected_ = length + length / 32;
  }
  std::string().swap(out_);
  buffer_ = cur_ = end_ = nullptr;
  return text;
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

void SmallJsonWriter::grow(size_t n) {
  auto used = static_cast<size_t>(cur_ - buffer_);
  auto capacity = static_cast<size_t>(end_ - buffer_);
  size_t want = std::max({used + n, 2 * capacity, size_t{256}});
  // A large text gets room for one as large as the last large one at once
  // (a small one never gets more than it needs).
  if (want > kKeptBuffer && want < expected_) want = expected_;
  out_.resize(want);
  buffer_ = out_.data();
  cur_ = buffer_ + used;
  end_ = buffer_ + want;
}

// The parser's arena puts a collection's members just above it in memory and
// their own members above those, so a walk from the top goes up through
// memory: what comes next is asked for ahead of time. Two lines a page ahead
// start the next page's translation and lines early, two lines a few
// collections ahead make sure those arrived. Always inlined: prefetches count
// as doing nothing, so a call of a function made of them alone would be dropped.
[[gnu::always_inline]] inline void SmallJsonWriter::prefetchAhead(const kit::Object* collection) {
  auto at = reinterpret_cast<uintptr_t>(collection);  // may lie past the object: a prefetch never faults
  __builtin_prefetch(reinterpret_cast<const void*>(at + 4096));
  __builtin_prefetch(reinterpret_cast<const void*>(at + 4160));
  __builtin_prefetch(reinterpret_cast<const void*>(at + 384));
  __builtin_prefetch(reinterpret_cast<const void*>(at + 448));
  // The next sibling lies elsewhere (the arena made it later, below this
  // one): its first page, a line at a time.
  if (siblingLines_) {
    __builtin_prefetch(reinterpret_cast<const void*>(sibling_));
    sibling_ += 64;
    --siblingLines_;
  }
}

void SmallJsonWriter::put(const char* s, size_t n) {
  std::memcpy(room(n), s, n);
  cur_ += n;
}

void SmallJsonWriter::indent() {
  size_t spaces = 2 * static_cast<size_t>(depth_);
  char* p = room(1 + spaces);
  *p++ = '\n';
  std::memset(p, ' ', spaces);
  cur_ = p + spaces;
}

bool SmallJsonWriter::enter() {
  if (++depth_ > limit_) return fail(kErrorTooDeep, "Nested too deep");
  Frame& frame = frames_[depth_ - 1];
  frame.element = nullptr;
  frame.next = frame.end = 0;
  frame.pairs = nullptr;
  frame.pinned = false;
  return true;
}

void SmallJsonWriter::leave() {
  --depth_;
  if (pinnedDepth_ > depth_) pinnedDepth_ = depth_;
}

void SmallJsonWriter::pinFrames() {
  ++generation_;  // what runs next may free a key written before
  for (unsigned d = pinnedDepth_; d < depth_; ++d) {
    Frame& frame = frames_[d];
    if (frame.pinned) continue;
    frame.pinned = true;
    if (frame.element) pins_.emplace_back(frame.element);
    if (frame.pairs) {
      for (size_t i = 2 * frame.next; i < 2 * frame.end; ++i) pins_.emplace_back(frame.pairs[i]);
      continue;
    }
    for (size_t i = frame.next; i < frame.end; ++i) {
      pins_.emplace_back(members_[i].key);
      pins_.emplace_back(members_[i].value);
    }
  }
  pinnedDepth_ = depth_;
}

bool SmallJsonWriter::appendValue(const kit::Object* value) {
  if (value) {
    const std::type_info& type = typeid(*value);
    if (isKitString(type)) return appendString(static_cast<const kit::String*>(value));
    if (isKitDictionary(type)) {
      auto* dictionary = static_cast<const kit::Dictionary*>(value);
      return humanReadable_ || sortKeys_ ? appendDictionary(dictionary, true) : appendKitDictionary(dictionary);
    }
    if (isKitArray(type)) {
      auto* array = static_cast<const kit::Array*>(value);
      return humanReadable_ ? appendArray(array, true) : appendKitArray(array);
    }
    if (isKitDecimal(type)) {
      // Exact, and always a finite number text.
      cur_ = writeDecimal(*static_cast<const kit::DecimalNumber*>(value), room(kNumberRoom));
      return true;
    }
    if (&type == &typeid(kit::Number)) return appendNumber(static_cast<const kit::Number*>(value));
    if (value == yes_) {
      put("true", 4);
      return true;
    }
    if (value == no_) {
      put("false", 5);
      return true;
    }
    if (&type == &typeid(kit::Null)) {
      put("null", 4);
      return true;
    }
  }
  return appendUntrusted(value);
}

[[gnu::noinline]] bool SmallJsonWriter::appendUntrusted(const kit::Object* value) {
  // What runs from here on may change the containers being written.
  pinFrames();
  kit::Ref<kit::Object> proxy;
  for (int hops = 0;; ++hops) {
    if (value) {
      switch (value->kind()) {
        case kit::Kind::Dictionary: return appendDictionary(static_cast<const kit::Dictionary*>(value), false);
        case kit::Kind::Array: return appendArray(static_cast<const kit::Array*>(value), false);
        case kit::Kind::String: return appendString(static_cast<const kit::String*>(value));
        case kit::Kind::Number: return appendOtherNumber(static_cast<const kit::Number*>(value));
        case kit::Kind::Null: put("null", 4); return true;
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

// A Number of kit's own class: its text as stringValue() gives it, written in place.
bool SmallJsonWriter::appendNumber(const kit::Number* number) {
  char letter = number->typeLetter();
  if (letter == 'c') {
    if (number->boolValue())
      put("true", 4);
    else
      put("false", 5);
    return true;
  }
  char* p = room(kNumberRoom);
  if (number->isFloatingPoint()) {
    double d = number->doubleValue();
    // JSON has no text for these; "nan" or "inf" would make unreadable output.
    if (!std::isfinite(d)) return failUnsupported(number->stringValue());
    cur_ = letter == 'f' ? std::to_chars(p, p + kNumberRoom, static_cast<float>(d)).ptr
                         : std::to_chars(p, p + kNumberRoom, d).ptr;
  } else if (number->isUnsigned()) {
    cur_ = std::to_chars(p, p + kNumberRoom, number->unsignedLongLongValue()).ptr;
  } else {
    cur_ = std::to_chars(p, p + kNumberRoom, number->longLongValue()).ptr;
  }
  return true;
}

// Any other number, through its own virtual methods.
[[gnu::noinline]] bool SmallJsonWriter::appendOtherNumber(const kit::Number* number) {
  if (auto* decimal = dynamic_cast<const kit::DecimalNumber*>(number)) {
    cur_ = writeDecimal(*decimal, room(kNumberRoom));
    return true;
  }
  if (number->typeLetter() == 'c') {
    if (number->boolValue())
      put("true", 4);
    else
      put("false", 5);
    return true;
  }
  if (number->isFloatingPoint() && !std::isfinite(number->doubleValue()))
    return failUnsupported(number->stringValue());
  std::string text = number->stringValue();
  put(text.data(), text.size());
  return true;
}

bool SmallJsonWriter::appendKitArray(const kit::Array* array) {
  size_t count;
  kit::Object* const* objects = array->storedObjects(count);
  prefetchAhead(array);
  if (!enter()) return false;
  Frame& frame = frames_[depth_ - 1];
  put('[');
  if (count > 1) prefetchAround(objects[1]);
  for (size_t i = 0; i < count; ++i) {
    kit::Object* element = objects[i];
    // The elements are most likely not in the cache: asked for ahead, they
    // arrive while the ones before them are written; so are the lines after
    // them, where the parser put what it made for them next.
    if (i + 2 < count) prefetchAround(objects[i + 2]);
    if (i + 1 < count) {
      const std::type_info& type = typeid(*element);
      if (isKitDictionary(type) || isKitArray(type)) {
        sibling_ = reinterpret_cast<uintptr_t>(objects[i + 1]) & ~uintptr_t{63};
        siblingLines_ = kSiblingLines;
      }
    }
    frame.element = element;
    if (i) put(',');
    bool ok;
    if (!frame.pinned) {
      ok = appendKitMember(element);
    } else {
      kit::Ref<kit::Object> keep(element);
      ok = appendValue(element);
    }
    if (!ok) return false;
    if (frame.pinned) {
      // Code not kit's ran meanwhile and may have changed the array.
      objects = array->storedObjects(count);
    }
  }
  leave();
  put(']');
  return true;
}

bool SmallJsonWriter::appendArray(const kit::Array* array, bool trusted) {
  if (!enter()) return false;
  Frame& frame = frames_[depth_ - 1];
  // Another class's elements may be made for the asking: each is held.
  frame.pinned = !trusted;
  put('[');
  size_t i = 0;
  // count() is asked each time: a proxy written meanwhile may change the array.
  for (;; ++i) {
    kit::Object* element;
    if (trusted) {
      // kit's own class: no need to look its methods up.
      size_t count = array->kit::Array::count();
      if (i >= count) break;
      element = array->kit::Array::objectAtIndex(i);
      if (i == 0) prefetchAhead(array);
      // The elements are most likely not in the cache: asked for ahead,
      // they arrive while the ones before them are written. So are the
      // lines after them, where a parser puts what it made for them next
      // (an array's storage, a number's second line, members).
      if (i == 0 && count > 1) prefetchAround(array->kit::Array::objectAtIndex(1));
      if (i + 2 < count) prefetchAround(array->kit::Array::objectAtIndex(i + 2));
      if (i + 1 < count) {
        kit::Object* next = array->kit::Array::objectAtIndex(i + 1);
        const std::type_info& type = typeid(*element);
        if (isKitDictionary(type) || isKitArray(type)) {
          sibling_ = reinterpret_cast<uintptr_t>(next) & ~uintptr_t{63};
          siblingLines_ = kSiblingLines;
        }
      }
    } else {
      if (i >= array->count()) break;
      element = array->objectAtIndex(i);
    }
    kit::Ref<kit::Object> keep;
    if (frame.pinned) keep = element;
    frame.element = element;
    if (i) put(',');
    if (humanReadable_) indent();
    if (!appendValue(element)) return false;
  }
  leave();
  if (humanReadable_ && i) indent();
  put(']');
  return true;
}

[[gnu::always_inline]] inline bool SmallJsonWriter::appendKitMember(const kit::Object* value) {
  const std::type_info& type = typeid(*value);
  if (&type == &typeid(kit::ArenaMutableDictionary) && !sortKeys_)
    return appendKitDictionary(static_cast<const kit::Dictionary*>(value));
  if (&type == &typeid(kit::ArenaMutableArray)) return appendKitArray(static_cast<const kit::Array*>(value));
  return appendValue(value);
}

bool SmallJsonWriter::appendKitDictionary(const kit::Dictionary* dictionary) {
  constexpr size_t kFew = 8;
  kit::Object* pairs[2 * kFew];
  size_t n = dictionary->storedEntries(0, pairs, kFew);
  if (n == kFew) return appendDictionary(dictionary, true);  // perhaps more
  // Any key not one of kit's strings would run its own code: the long way.
  for (size_t i = 0; i < n; ++i)
    if (!isKitString(typeid(*pairs[2 * i]))) return appendDictionary(dictionary, true);
  prefetchAhead(dictionary);
  if (!enter()) return false;
  Frame& frame = frames_[depth_ - 1];
  // Left behind on a failure, when nothing pins any more.
  frame.pairs = pairs;
  frame.end = n;
  put('{');
  for (size_t i = 0; i < n; ++i) {
    frame.next = i;
    if (i) put(',');
    auto* key = static_cast<kit::String*>(pairs[2 * i]);
    if (!appendKey(key)) return false;
    if (!appendKitMember(pairs[2 * i + 1])) return failMember(key);
  }
  leave();
  put('}');
  return true;
}

bool SmallJsonWriter::appendDictionary(const kit::Dictionary* dictionary, bool trusted) {
  if (!enter()) return false;
  Frame& frame = frames_[depth_ - 1];
  const size_t base = members_.size();
  frame.next = frame.end = base;
  // This dictionary's members go on top of the outer ones' and off again
  // however this returns.
  struct Release {
    std::vector<Member>& members;
    size_t base;
    ~Release() { members.resize(base); }
  } release{members_, base};
  // Another class's members may be made for the asking: each is held.
  std::vector<kit::Ref<kit::Object>> held;
  // The callback captures one pointer, small enough for std::function to
  // keep without allocating.
  struct Gather {
    SmallJsonWriter& writer;
    std::vector<kit::Ref<kit::Object>>& held;
    bool trusted;
    bool keysAreStrings;
  } gather{*this, held, trusted, true};
  // Its members are most likely not in the cache: asked for now, they
  // arrive while they are gathered.
  if (trusted) prefetchAhead(dictionary);
  // kit's own table is read in place while every key is one of kit's strings
  // (another key's kind() is its own code, which may change the table).
  bool gathered = false;
  if (trusted) {
    gathered = true;
    kit::Object* pairs[2 * 16];
    for (size_t first = 0, n = 16; gathered && n == 16; first += n) {
      n = dictionary->storedEntries(first, pairs, 16);
      for (size_t i = 0; i < n; ++i) {
        kit::Object* key = pairs[2 * i];
        if (!isKitString(typeid(*key))) {
          gathered = false;
          break;
        }
        // Most likely not in the cache: asked for now, it arrives meanwhile.
        __builtin_prefetch(pairs[2 * i + 1]);
        members_.push_back({static_cast<kit::String*>(key), pairs[2 * i + 1]});
      }
    }
    if (!gathered) members_.resize(base);
  }
  if (!gathered) {
    dictionary->enumerate([g = &gather](kit::Object* key, kit::Object* value, bool& stop) {
      if (!key || !isKitString(typeid(*key))) {
        if (key) g->writer.pinFrames();  // a key of another class runs its own kind()
        if (!key || key->kind() != kit::Kind::String) {
          g->keysAreStrings = false;
          stop = true;
          return;
        }
      }
      if (!g->trusted) {
        g->held.emplace_back(key);
        g->held.emplace_back(value);
      }
      g->writer.members_.push_back({static_cast<kit::String*>(key), value});
    });
  }
  // Checked before sorting, which compares keys as strings.
  if (!gather.keysAreStrings) return fail(kErrorUnsupportedType, "JSON object key must be string");
  const size_t end = members_.size();
  frame.end = end;
  if (frame.pinned && trusted) {
    // Pinned while its members were gathered: they are held from now on.
    for (size_t i = base; i < end; ++i) {
      pins_.emplace_back(members_[i].key);
      pins_.emplace_back(members_[i].value);
    }
  }
  if (!trusted) frame.pinned = true;
  if (sortKeys_) {
    std::stable_sort(members_.begin() + static_cast<std::ptrdiff_t>(base),
                     members_.begin() + static_cast<std::ptrdiff_t>(end),
                     [](const Member& a, const Member& b) { return a.key->compare(*b.key) < 0; });
  }
  put('{');
  for (size_t i = base; i < end; ++i) {
    frame.next = i;
    // A copy: members_ moves when a dictionary inside adds its own.
    Member member = members_[i];
    if (i != base) put(',');
    if (humanReadable_) indent();
    if (humanReadable_) {
      if (!appendString(member.key)) return false;
      put(" : ", 3);
    } else if (!appendKey(member.key)) {
      return false;
    }
    if (!appendValue(member.value)) return failMember(member.key);
  }
  leave();
  if (humanReadable_ && end != base) indent();
  put('}');
  return true;
}

bool SmallJsonWriter::appendKey(const kit::String* key) {
  constexpr size_t kText = sizeof(KeySlot::text);
  auto address = reinterpret_cast<uintptr_t>(key);
  KeySlot& slot = keySlots_[(address >> 3 ^ address >> 9) & (kKeySlots - 1)];
  if (slot.key == key && slot.generation == generation_) {
    char* p = room(kText);  // a copy of known size is a few moves, not a call
    std::memcpy(p, slot.text, kText);
    cur_ = p + slot.length;
    return true;
  }
  auto start = static_cast<size_t>(cur_ - buffer_);  // the buffer may move
  if (!appendString(key)) return false;
  put(':');
  auto length = static_cast<size_t>(cur_ - buffer_) - start;
  // Only an immutable key's text stays what it was.
  const std::type_info& type = typeid(*key);
  if (length <= kText && (&type == &typeid(kit::ArenaObject<kit::String>) || &type == &typeid(kit::String))) {
    slot.key = key;
    slot.generation = generation_;
    slot.length = static_cast<uint32_t>(length);
    std::memcpy(slot.text, buffer_ + start, length);
  }
  return true;
}

bool SmallJsonWriter::appendString(const kit::String* string) {
  std::string_view s = string->view();
  const auto* in = reinterpret_cast<const unsigned char*>(s.data());
  const auto* const inEnd = in + s.size();
  // Room for the text unchanged and its quotes; an escape asks for more.
  char* p = room(s.size() + 2);
  *p++ = '"';
  for (;;) {
    const unsigned char* run = in;
    for (;;) {
      // Eight bytes at a time while all are ASCII and none is a quote, a
      // backslash or a control.
      while (inEnd - in >= 8) {
        uint64_t word;
        std::memcpy(&word, in, sizeof word);
        constexpr uint64_t kOnes = 0x0101010101010101ull, kHigh = 0x8080808080808080ull;
        uint64_t quote = word ^ (kOnes * '"'), backslash = word ^ (kOnes * '\\');
        // A byte of the result has its high bit set where the byte was
        // below 0x20, equal to one of the two, or 0x80 and above.
        uint64_t found = (((word - kOnes * 0x20) | (quote - kOnes) | (backslash - kOnes)) & ~word) | word;
        if (found & kHigh) break;
        in += 8;
      }
      if (in == inEnd) break;
      unsigned char b = *in;
      if (b < 0x80) {
        if (b < 0x20 || b == '"' || b == '\\') break;
        ++in;
        continue;
      }
      // JSON text is UTF-8; bytes that are not would make output no reader takes.
      size_t n = kit::utf8::sequenceLength(in, inEnd);
      if (!n) return fail(kErrorUnsupportedType, "Invalid UTF-8 in string");
      in += n;
    }
    std::memcpy(p, run, static_cast<size_t>(in - run));
    p += in - run;
    if (in == inEnd) break;
    unsigned char b = *in++;
    cur_ = p;
    // The escape, what is left and the closing quote.
    p = room(6 + static_cast<size_t>(inEnd - in) + 1);
    p = writeJsonEscape(b, p);
  }
  *p++ = '"';
  cur_ = p;
  return true;
}

}  // namespace tolva
