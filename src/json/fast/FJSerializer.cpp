#include "json/fast/FJSerializer.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <typeinfo>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "json/JsonEscape.h"
#include "json/fast/FJArray.h"
#include "json/fast/FJDictionary.h"
#include "json/fast/FJManagedBuffer.h"
#include "json/fast/FJNumber.h"
#include "json/fast/FJNumberFormat.h"
#include "json/fast/FJString.h"
#include "json/fast/FJUnicode.h"
#include "kit/foundation/Array.h"
#include "kit/foundation/Data.h"
#include "kit/foundation/Dictionary.h"
#include "kit/foundation/Exception.h"
#include "kit/foundation/Number.h"
#include "kit/foundation/String.h"

namespace tolva {

struct FJEncodeCache {
  const kit::Object* object;
  size_t offset;
  size_t length;
  // The formatter calls made before this text was written: an entry from
  // before the latest call may name an object that call freed, whose
  // address a new object now has, so only entries of the current
  // generation are trusted.
  uint32_t generation;
  bool isString;  // a key found here needs no look at its object to be known a string
};

// Everything one call needs; made at the start of a call, freed at its end.
struct FJEncodeState {
  static constexpr size_t kStackBytes = 4096;
  static constexpr size_t kGrowthRound = 32768;
  static constexpr size_t kCacheSlots = 1024;

  unsigned char stackBytes[kStackBytes];
  FJManagedBuffer stringBuffer{stackBytes, kStackBytes, kGrowthRound};
  size_t atIndex = 0;
  FJEncodeCache cache[kCacheSlots] = {};
  FJSerializeOptionFlags serializeOptionFlags = 0;
  FJEncodeOptionType encodeOption = 0;
  size_t depth = 0;  // indentation level of pretty printing
  size_t maxDepth = FJDefaultMaxDepth;
  // Collections being written, outermost first: the first `nesting` entries.
  std::vector<const kit::Object*> path;
  size_t nesting = 0;
  bool guarded = false;  // a formatter may change the tree: keep collections and watch for mutation
  kit::Ref<kit::Error> error;
  const FJSerializeBlock* block = nullptr;
  kit::Object* delegate = nullptr;
  const FJSelector* selector = nullptr;
  // Formatter calls so far: the only code that runs during a call and may
  // free objects (and make new ones where they were).
  uint32_t generation = 0;
};

namespace {

using uchar = unsigned char;

// 0: copied as is; 1: escaped; 2: the slash; 3: start of a multi-byte character.
struct ClassTable {
  uchar cls[256];
  constexpr ClassTable() : cls() {
    for (int c = 0; c < 0x20; ++c) cls[c] = 1;
    cls[static_cast<int>('"')] = 1;
    cls[static_cast<int>('\\')] = 1;
    cls[static_cast<int>('/')] = 2;
    for (int c = 0x80; c < 0x100; ++c) cls[c] = 3;
  }
};
constexpr ClassTable kClass;

constexpr char kHex[] = "0123456789abcdef";

class Writer {
 public:
  explicit Writer(FJEncodeState& st)
      : st_(st),
        base_(st.stringBuffer.bytes()),
        length_(st.stringBuffer.length()),
        at_(st.atIndex),
        plain_(!st.guarded && !(st.serializeOptionFlags & FJSerializeOptionPretty)) {}

  // Bytes written so far.
  size_t written() const { return at_; }

  bool fail(const std::string& message) {
    if (!st_.error) {
      auto info = kit::make<kit::Dictionary>(
          std::initializer_list<std::pair<std::string_view, kit::Ref<kit::Object>>>{
              {kit::Error::kLocalizedDescriptionKey, kit::str(message)}});
      st_.error = kit::Error::errorWithDomain(FJErrorDomain, FJErrorCode, info);
    }
    return false;
  }

  // Room for n more bytes. (A buffer that failed to grow has no bytes and
  // no length; the index stays within the length otherwise.)
  [[gnu::always_inline]] bool reserve(size_t n) {
    if (base_ && n <= length_ - at_) return true;
    return grow(n);
  }
  [[gnu::noinline]] bool grow(size_t n) {
    bool grown = n <= SIZE_MAX - at_ && st_.stringBuffer.grow(at_ + n);
    base_ = st_.stringBuffer.bytes();
    length_ = st_.stringBuffer.length();
    return grown || fail("Unable to resize temporary buffer.");
  }
  uchar* out() { return base_ + at_; }
  bool put(const void* bytes, size_t n) {
    if (!reserve(n)) return false;
    std::memcpy(out(), bytes, n);
    at_ += n;
    return true;
  }
  [[gnu::always_inline]] bool put(char c) {
    if (at_ < length_) {
      base_[at_++] = static_cast<uchar>(c);
      return true;
    }
    if (!grow(1)) return false;
    *out() = static_cast<uchar>(c);
    ++at_;
    return true;
  }

  bool pretty() const { return st_.serializeOptionFlags & FJSerializeOptionPretty; }

  // One structural character with its pretty-printing white space.
  [[gnu::always_inline]] bool structural(char c, int depthChange) {
    if (!pretty()) return put(c);
    return prettyStructural(c, depthChange);
  }
  [[gnu::noinline]] bool prettyStructural(char c, int depthChange) {
    if (!reserve(2 * (st_.depth + 1) + 18)) return false;
    uchar* o = out();
    auto indent = [&] {
      *o++ = '\n';
      std::memset(o, ' ', 2 * st_.depth);
      o += 2 * st_.depth;
    };
    if (depthChange < 0) {
      --st_.depth;
      indent();
      *o++ = static_cast<uchar>(c);
    } else if (depthChange > 0) {
      *o++ = static_cast<uchar>(c);
      ++st_.depth;
      indent();
    } else if (c == ',') {
      *o++ = ',';
      indent();
    } else {
      *o++ = static_cast<uchar>(c);
      if (c == ':') *o++ = ' ';
    }
    at_ = static_cast<size_t>(o - base_);
    return true;
  }

  // Text the decoder made is well-formed UTF-8 already: unless non-ASCII is
  // to be escaped, only quotes, backslashes, control characters (and slashes
  // when asked) need a look, sixteen bytes at a time.
  bool writeDecodedString(std::string_view text, bool quotes) {
#if defined(__SSE2__)
    if (st_.serializeOptionFlags & FJSerializeOptionEscapeNonASCII) return writeString(text, quotes);
    const uchar* p = reinterpret_cast<const uchar*>(text.data());
    const uchar* end = p + text.size();
    const bool escapeSlash = st_.serializeOptionFlags & FJSerializeOptionEscapeSlash;
    // A byte becomes at most six ("\u001f"); the vector loop may store 16
    // bytes past the end of what it keeps, and the quotes take two.
    if (text.size() > (SIZE_MAX - 32) / 6) return fail("Unable to resize temporary buffer.");
    if (!reserve(6 * text.size() + 32)) return false;
    uchar* o = out();
    if (quotes) *o++ = '"';
    const __m128i quote = _mm_set1_epi8('"'), backslash = _mm_set1_epi8('\\'), slash = _mm_set1_epi8('/'),
                  control = _mm_set1_epi8(0x1F);
    while (p < end) {
      if (end - p >= 16) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        __m128i special = _mm_or_si128(_mm_cmpeq_epi8(_mm_min_epu8(v, control), v),
                                       _mm_or_si128(_mm_cmpeq_epi8(v, quote), _mm_cmpeq_epi8(v, backslash)));
        if (escapeSlash) special = _mm_or_si128(special, _mm_cmpeq_epi8(v, slash));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(o), v);
        unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(special));
        if (mask == 0) {
          p += 16;
          o += 16;
          continue;
        }
        unsigned k = static_cast<unsigned>(__builtin_ctz(mask));
        p += k;
        o += k;
      }
      uchar c = *p++;
      if (c >= 0x20 && c != '"' && c != '\\' && (c != '/' || !escapeSlash)) {
        *o++ = c;
        continue;
      }
      o = writeJsonEscape(c, o);
    }
    if (quotes) *o++ = '"';
    at_ = static_cast<size_t>(o - base_);
    return true;
#else
    return writeString(text, quotes);
#endif
  }

  bool writeString(std::string_view text, bool quotes) {
    const uchar* p = reinterpret_cast<const uchar*>(text.data());
    const uchar* end = p + text.size();
    const bool escapeSlash = st_.serializeOptionFlags & FJSerializeOptionEscapeSlash;
    const bool escapeNonASCII = st_.serializeOptionFlags & FJSerializeOptionEscapeNonASCII;
    if (quotes && !put('"')) return false;
    // A byte becomes at most six ("\u001f"); room is made once per chunk so the
    // loop itself writes without checks. A character may run 3 bytes past the
    // chunk, hence the slack.
    constexpr size_t kChunk = 65536;
    while (p < end) {
      size_t chunk = std::min(static_cast<size_t>(end - p), kChunk);
      if (!reserve(6 * chunk + 16)) return false;
      const uchar* stop = p + chunk;
      uchar* const base = base_;
      uchar* o = out();
      while (p < stop) {
#if defined(__SSE2__)
        // Sixteen bytes at a time while nothing in them needs a second look.
        if (stop - p >= 16) {
          __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
          // Signed compare: catches control characters and every byte from 0x80 alike.
          __m128i special = _mm_or_si128(_mm_cmplt_epi8(v, _mm_set1_epi8(0x20)),
                                         _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('"')),
                                                      _mm_cmpeq_epi8(v, _mm_set1_epi8('\\'))));
          if (escapeSlash) special = _mm_or_si128(special, _mm_cmpeq_epi8(v, _mm_set1_epi8('/')));
          _mm_storeu_si128(reinterpret_cast<__m128i*>(o), v);
          unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(special));
          if (mask == 0) {
            p += 16;
            o += 16;
            continue;
          }
          unsigned k = static_cast<unsigned>(__builtin_ctz(mask));
          p += k;
          o += k;
        }
#endif
        uchar c = *p;
        switch (kClass.cls[c]) {
          case 0:
            *o++ = c;
            ++p;
            continue;
          case 2:
            if (escapeSlash) *o++ = '\\';
            *o++ = '/';
            ++p;
            continue;
          case 3: {
            int n = FJUnicode::sequenceLength(p, end);
            if (n <= 0) {
              at_ = static_cast<size_t>(o - base);
              return fail("Error converting UTF8.");
            }
            if (!escapeNonASCII) {
              for (int i = 0; i < n; ++i) *o++ = *p++;
              continue;
            }
            uint32_t cp = FJUnicode::decode(p, n);
            p += n;
            auto u = [&](uint32_t unit) {
              *o++ = '\\';
              *o++ = 'u';
              *o++ = static_cast<uchar>(kHex[(unit >> 12) & 15]);
              *o++ = static_cast<uchar>(kHex[(unit >> 8) & 15]);
              *o++ = static_cast<uchar>(kHex[(unit >> 4) & 15]);
              *o++ = static_cast<uchar>(kHex[unit & 15]);
            };
            if (cp > 0xFFFF) {
              cp -= 0x10000;
              u(0xD800 + (cp >> 10));
              u(0xDC00 + (cp & 0x3FF));
            } else {
              u(cp);
            }
            continue;
          }
          default:
            break;
        }
        ++p;
        o = writeJsonEscape(c, o);
      }
      at_ = static_cast<size_t>(o - base);
    }
    if (quotes && !put('"')) return false;
    return true;
  }

  bool writeNumber(const kit::Number* n) {
    if (n == kit::Number::yes()) return put("true", 4);
    if (n == kit::Number::no()) return put("false", 5);
    if (!reserve(64)) return false;
    char* o = reinterpret_cast<char*>(out());
    std::to_chars_result r{};
    char type = n->typeLetter();
    switch (type) {
      case 'c':
      case 'i':
      case 's':
      case 'l':
      case 'q': r.ptr = FJNumberFormat::formatSigned(n->longLongValue(), o); break;
      case 'C':
      case 'I':
      case 'S':
      case 'L':
      case 'Q':
      case 'B': r.ptr = FJNumberFormat::formatUnsigned(n->unsignedLongLongValue(), o); break;
      case 'f':
      case 'd': {
        double d = n->doubleValue();
        if (!std::isfinite(d))
          return fail("Floating point values must be finite.  JSON does not support NaN or Infinity.");
        r.ptr = FJNumberFormat::formatDouble(d, o);
        r.ec = std::errc();
        break;
      }
      default: {
        char buf[80];
        std::snprintf(buf, sizeof buf, "NSNumber conversion error, unknown type.  Type: '%c' / 0x%2.2x", type,
                      static_cast<unsigned>(static_cast<unsigned char>(type)));
        return fail(buf);
      }
    }
    if (r.ec != std::errc()) return fail("Unable to get scalar value from number object.");
    at_ += static_cast<size_t>(r.ptr - o);
    return true;
  }

  // Entering a collection: refuses nesting beyond the limit, naming a cycle when there is one.
  [[gnu::always_inline]] bool enter(const kit::Object* collection) {
    size_t n = st_.nesting;
    if (n < st_.maxDepth && n < st_.path.size()) {
      st_.path[n] = collection;
      st_.nesting = n + 1;
      return true;
    }
    return enterDeeper(collection);
  }
  [[gnu::noinline]] bool enterDeeper(const kit::Object* collection) {
    size_t n = st_.nesting;
    if (n >= st_.maxDepth) {
      auto begin = st_.path.begin(), end = begin + static_cast<std::ptrdiff_t>(n);
      if (std::find(begin, end, collection) != end)
        return fail("Unable to serialize an object graph that contains a cycle: a collection contains itself.");
      return fail("Exceeded the maximum nesting depth of " + std::to_string(st_.maxDepth) + ".");
    }
    if (n < st_.path.size())
      st_.path[n] = collection;
    else
      st_.path.push_back(collection);
    st_.nesting = n + 1;
    return true;
  }
  void leave() { --st_.nesting; }

  bool mutated() { return fail("Collection was mutated while being serialized."); }

  // Only a formatter can change the tree during a call: then collections are
  // kept alive and checked for changes after each member.
  bool guarded() const { return st_.guarded; }

  // The common case, compact text of the decoder's own collections with no
  // formatter to change the tree: straight over their storage, one check
  // per punctuation mark.
  bool plain() const { return plain_; }

  // The decoder's arena puts a collection's members just above it in memory
  // and their own members above those, so a walk from the top goes up
  // through memory: ask for what comes next ahead of time. Two lines a page
  // ahead start the next page's translation and lines early; two lines a
  // few collections ahead make sure those arrived (together they measured
  // best on a tree much larger than the caches; one line each leaves gaps,
  // as the walk moves about a line per collection).
  void prefetchAhead(const void* collection) {
    auto at = reinterpret_cast<uintptr_t>(collection);  // may lie past the object: a prefetch never faults
    __builtin_prefetch(reinterpret_cast<const void*>(at + 4096));
    __builtin_prefetch(reinterpret_cast<const void*>(at + 4160));
    __builtin_prefetch(reinterpret_cast<const void*>(at + 384));
    __builtin_prefetch(reinterpret_cast<const void*>(at + 448));
    // The next sibling's first page, a line at a time.
    if (siblingLines_) {
      __builtin_prefetch(reinterpret_cast<const void*>(sibling_));
      sibling_ += 64;
      --siblingLines_;
    }
  }
  // The collection after the one being written in an array of collections
  // lies elsewhere (the arena made it later, below): its first page is asked
  // for while this one is written, as the prefetch a page ahead cannot.
  uintptr_t sibling_ = 0;
  unsigned siblingLines_ = 0;
  static constexpr unsigned kSiblingLines = 64;
  static constexpr size_t kValuesAhead = 4;

  [[gnu::noinline]] bool writePlainArray(FJArray* array) {
    prefetchAhead(array);
    if (!enter(array) || !put('[')) return false;
    kit::Object* const* items = array->objects();
    for (size_t i = 0, n = array->count(); i < n; ++i) {
      if (i && !put(',')) return false;
      kit::Object* item = items[i];
      const std::type_info* type = &typeid(*item);
      if (type == &typeid(FJDictionary) || type == &typeid(FJArray)) {
        if (i + 1 < n) {
          sibling_ = reinterpret_cast<uintptr_t>(items[i + 1]) & ~uintptr_t{63};
          siblingLines_ = kSiblingLines;
        }
        if (type == &typeid(FJDictionary) ? !writePlainDictionary(static_cast<FJDictionary*>(item))
                                          : !writePlainArray(static_cast<FJArray*>(item)))
          return false;
      } else if (type == &typeid(FJNumber)) {
        if (!writeDecodedNumber(static_cast<const FJNumber*>(item))) return false;
      } else if (!addAtom(item, nullptr)) {
        return false;
      }
    }
    if (!put(']')) return false;
    leave();
    return true;
  }

  [[gnu::noinline]] bool writePlainDictionary(FJDictionary* dict) {
    prefetchAhead(dict);
    if (!enter(dict) || !put('{')) return false;
    const FJDictionary::Entry* slots = dict->slots();
    bool first = true;
    for (size_t i = 0, n = dict->capacity(); i < n; ++i) {
      // Values met before lie where they were first made, anywhere in the
      // tree's memory: a few entries ahead, each is asked for early.
      if (i + kValuesAhead < n) __builtin_prefetch(slots[i + kValuesAhead].object);
      kit::Object* key = slots[i].key;
      if (!key) continue;
      if (!first && !put(',')) return false;
      first = false;
      // A key written before is copied without a look at its object.
      Cached cached = copyCached(key, true);
      if (cached == kFailed) return false;
      if (cached == kNotCached) {
        if (key->kind() != kit::Kind::String) return fail("Key must be a string object.");
        if (!addScalar(key, kit::Kind::String, nullptr, true)) return false;
      }
      if (!put(':') || !writePlainMember(slots[i].object)) return false;
    }
    if (!put('}')) return false;
    leave();
    return true;
  }

  // A member of one of the decoder's collections: most often another of them,
  // told by its type information alone, without a virtual call.
  [[gnu::always_inline]] bool writePlainMember(kit::Object* object) {
    const std::type_info* type = &typeid(*object);
    if (type == &typeid(FJDictionary)) return writePlainDictionary(static_cast<FJDictionary*>(object));
    if (type == &typeid(FJArray)) return writePlainArray(static_cast<FJArray*>(object));
    if (type == &typeid(FJNumber)) return writeDecodedNumber(static_cast<const FJNumber*>(object));
    return addAtom(object, nullptr);
  }

  // A number the decoder made, written from its stored value without a
  // virtual call or a look in the encode cache (formatting a number costs no
  // more than copying its text); the text is writeNumber's.
  [[gnu::always_inline]] bool writeDecodedNumber(const FJNumber* n) {
    if (!reserve(64)) return false;
    char* o = reinterpret_cast<char*>(out());
    char* e;
    if (n->storesDouble()) {
      double d = n->storedDouble();
      if (!std::isfinite(d)) return fail("Floating point values must be finite.  JSON does not support NaN or Infinity.");
      e = FJNumberFormat::formatDouble(d, o);
    } else if (n->storesUnsigned()) {
      e = FJNumberFormat::formatUnsigned(n->storedUnsigned(), o);
    } else {
      e = FJNumberFormat::formatSigned(n->storedSigned(), o);
    }
    at_ += static_cast<size_t>(e - o);
    return true;
  }

  // Identity of the type information is enough: anything else takes the general way.
  [[gnu::always_inline]] bool writeArray(kit::Array* array) {
    if (&typeid(*array) == &typeid(FJArray) && plain()) return writePlainArray(static_cast<FJArray*>(array));
    return writeArrayGenerally(array);
  }
  [[gnu::always_inline]] bool writeDictionary(kit::Dictionary* dict) {
    if (&typeid(*dict) == &typeid(FJDictionary) && plain())
      return writePlainDictionary(static_cast<FJDictionary*>(dict));
    return writeDictionaryGenerally(dict);
  }

  [[gnu::noinline]] bool writeArrayGenerally(kit::Array* array) {
    if (!enter(array)) return false;
    const bool guard = guarded();
    kit::Ref<kit::Object> keep(guard ? array : nullptr);
    if (!structural('[', 1)) return false;
    unsigned long m = guard ? array->mutationCount() : 0;
    if (typeid(*array) == typeid(FJArray) && !guard) {
      auto* fj = static_cast<FJArray*>(array);
      kit::Object* const* items = fj->objects();
      for (size_t i = 0, n = fj->count(); i < n; ++i) {
        if (i && !structural(',', 0)) return false;
        if (!addAtom(items[i], nullptr)) return false;
      }
    } else {
      for (size_t i = 0; i < array->count(); ++i) {
        if (i && !structural(',', 0)) return false;
        if (!addAtom(array->objectAtIndex(i), nullptr)) return false;
        if (guard && array->mutationCount() != m) return mutated();
      }
    }
    if (!structural(']', -1)) return false;
    leave();
    return true;
  }

  bool writePair(kit::Object* key, kit::Object* value, bool first) {
    if (!first && !structural(',', 0)) return false;
    // A key written before is copied without a look at its object.
    Cached cached = copyCached(key, true);
    if (cached == kFailed) return false;
    if (cached == kNotCached) {
      if (key->kind() != kit::Kind::String) return fail("Key must be a string object.");
      if (!addAtom(key, nullptr)) return false;
    }
    if (!structural(':', 0)) return false;
    return addAtom(value, nullptr);
  }

  [[gnu::noinline]] bool writeDictionaryGenerally(kit::Dictionary* dict) {
    if (!enter(dict)) return false;
    const bool guard = guarded();
    kit::Ref<kit::Object> keep(guard ? dict : nullptr);
    if (!structural('{', 1)) return false;
    unsigned long m = guard ? dict->mutationCount() : 0;
    bool fast = typeid(*dict) == typeid(FJDictionary);
    if (!pretty()) {
      if (fast) {
        auto* fj = static_cast<FJDictionary*>(dict);
        bool first = true;
        for (size_t i = 0; i < fj->capacity(); ++i) {
          const FJDictionary::Entry& e = fj->slots()[i];
          if (!e.key) continue;
          if (!writePair(e.key, e.object, first)) return false;
          if (guard && fj->mutationCount() != m) return mutated();
          first = false;
        }
      } else if (!guard) {
        bool ok = true, first = true;
        dict->enumerate([&](kit::Object* key, kit::Object* value, bool& stop) {
          if (!writePair(key, value, first)) ok = false, stop = true;
          first = false;
        });
        if (!ok) return false;
      } else {
        // A formatter may change the dictionary: its entries are taken
        // first (an enumeration would raise on a change) and kept alive.
        std::vector<std::pair<kit::Ref<kit::Object>, kit::Ref<kit::Object>>> pairs;
        pairs.reserve(dict->count());
        dict->enumerate([&](kit::Object* key, kit::Object* value, bool&) { pairs.emplace_back(key, value); });
        bool first = true;
        for (auto& [key, value] : pairs) {
          if (!writePair(key.get(), value.get(), first)) return false;
          if (dict->mutationCount() != m) return mutated();
          first = false;
        }
      }
    } else {
      // Sorted keys: every key must be a string before they are compared.
      std::vector<std::pair<kit::Object*, kit::Object*>> pairs;
      pairs.reserve(dict->count());
      dict->enumerate([&](kit::Object* key, kit::Object* value, bool&) { pairs.emplace_back(key, value); });
      for (auto& [key, value] : pairs)
        if (key->kind() != kit::Kind::String) return fail("Key must be a string object.");
      std::stable_sort(pairs.begin(), pairs.end(), [](const auto& a, const auto& b) {
        return static_cast<kit::String*>(a.first)->compare(*static_cast<kit::String*>(b.first)) < 0;
      });
      bool first = true;
      for (auto& [key, value] : pairs) {
        if (!writePair(key, value, first)) return false;
        if (guard && dict->mutationCount() != m) return mutated();
        first = false;
      }
    }
    if (!structural('}', -1)) return false;
    leave();
    return true;
  }

  bool writeFormatted(kit::Object* object, kit::Object* original) {
    if (original)
      return fail("Unable to serialize object class " + object->className() +
                  " that was returned by the unsupported class formatter.  Original object class was " +
                  original->className() + ".");
    kit::Ref<kit::Object> keep(object);
    kit::Ref<kit::Object> answer;
    if (st_.block && *st_.block)
      answer = (*st_.block)(object);
    else if (st_.delegate)
      answer = st_.selector->invoke(st_.delegate, object);
    // The formatter may have freed objects written before: their cache
    // entries must not answer for new objects made at their addresses.
    ++st_.generation;
    if (!answer) return fail("Unable to serialize object class " + object->className() + ".");
    return addAtom(answer.get(), object);
  }

  static size_t cacheSlot(const kit::Object* object) {
    auto p = reinterpret_cast<uintptr_t>(object);
    return ((p >> 9 ^ p >> 21) + (p >> 4)) & (FJEncodeState::kCacheSlots - 1);
  }

  // Writes one object. `original` is the object a formatter answered for, if any.
  // Copies the text written for `object` earlier in this call, if the cache
  // still has it (and, with `onlyString`, if it was a string): kCopied, else
  // kNotCached, or kFailed when no room could be had.
  enum Cached { kNotCached, kCopied, kFailed };
  Cached copyCached(const kit::Object* object, bool onlyString) {
    const FJEncodeCache& slot = st_.cache[cacheSlot(object)];
    if (slot.object != object || slot.generation != st_.generation || (onlyString && !slot.isString) ||
        slot.offset + slot.length > at_)
      return kNotCached;
    if (!reserve(slot.length + 256)) return kFailed;
    uchar* o = out();
    const uchar* from = base_ + slot.offset;
    if (slot.length <= 16) {
      // Short texts (most keys): 16 bytes at once, all inside the buffer (its
      // written part and the room just reserved); the source may run into
      // the destination, so the bytes pass through a register.
      uchar bytes[16];
      std::memcpy(bytes, from, 16);
      std::memcpy(o, bytes, 16);
    } else {
      std::memmove(o, from, slot.length);
    }
    at_ += slot.length;
    return kCopied;
  }

  // Kept small so the walk through collections stays cheap; the rest is in addScalar.
  [[gnu::always_inline]] bool addAtom(kit::Object* object, kit::Object* original, bool quotes = true) {
    kit::Kind kind = object->kind();
    if (kind == kit::Kind::Array) return writeArray(static_cast<kit::Array*>(object));
    if (kind == kit::Kind::Dictionary) return writeDictionary(static_cast<kit::Dictionary*>(object));
    return addScalar(object, kind, original, quotes);
  }

  [[gnu::noinline]] bool addScalar(kit::Object* object, kit::Kind kind, kit::Object* original, bool quotes) {
    if (quotes) {
      Cached cached = copyCached(object, false);
      if (cached != kNotCached) return cached == kCopied;
    }
    FJEncodeCache& slot = st_.cache[cacheSlot(object)];
    size_t start = at_;
    switch (kind) {
      case kit::Kind::String:
        if (&typeid(*object) == &typeid(FJString)) {
          if (!writeDecodedString(static_cast<kit::String*>(object)->view(), quotes)) return false;
        } else if (!writeString(static_cast<kit::String*>(object)->view(), quotes)) {
          return false;
        }
        break;
      case kit::Kind::Number:
        if (!writeNumber(static_cast<kit::Number*>(object))) return false;
        break;
      case kit::Kind::Null:
        if (!put("null", 4)) return false;
        break;
      case kit::Kind::Array: return writeArray(static_cast<kit::Array*>(object));
      case kit::Kind::Dictionary: return writeDictionary(static_cast<kit::Dictionary*>(object));
      default: return writeFormatted(object, original);
    }
    if (quotes) slot = FJEncodeCache{object, start, at_ - start, st_.generation, kind == kit::Kind::String};
    return true;
  }

 private:
  FJEncodeState& st_;
  // The buffer's storage and how much of it is used, kept here so the hot
  // paths need no trip through the state; grow() refreshes them.
  uchar* base_;
  size_t length_;
  size_t at_;
  const bool plain_;  // compact output and no formatter (see plain())
};

}  // namespace

FJSerializer::FJSerializer() = default;

FJSerializer::~FJSerializer() { releaseState(); }

void FJSerializer::releaseState() { encodeState_.reset(); }

kit::Ref<kit::Object> FJSerializer::serializeObject(kit::Object* object, FJSerializeOptionFlags optionFlags,
                                                    FJEncodeOptionType encodeOption, const FJSerializeBlock& block,
                                                    kit::Object* delegate, const FJSelector& selector,
                                                    kit::Ref<kit::Error>* error) {
  auto serializer = kit::make<FJSerializer>();
  return serializer->serialize(object, optionFlags, encodeOption, block, delegate, selector, error);
}

kit::Ref<kit::Object> FJSerializer::serialize(kit::Object* object, FJSerializeOptionFlags optionFlags,
                                              FJEncodeOptionType encodeOption, const FJSerializeBlock& block,
                                              kit::Object* delegate, const FJSelector& selector,
                                              kit::Ref<kit::Error>* error) {
  if (error) *error = nullptr;
  if (block && delegate)
    throw kit::InvalidArgumentException("Only one of the block and the delegate arguments may be given.");
  if (delegate && !selector)
    throw kit::InvalidArgumentException("The delegate argument is not NULL, but the selector argument is NULL.");
  if (delegate && !selector.respondsFor(delegate))
    throw kit::InvalidArgumentException(
        "The serializeUnsupportedClassesUsingDelegate: delegate does not respond to the selector argument.");
  if ((encodeOption & FJEncodeOptionCollectionObj) && (encodeOption & FJEncodeOptionStringObj))
    throw kit::InvalidArgumentException("A collection object and a string object exclude each other.");
  if ((encodeOption & FJEncodeOptionStringObjTrimQuotes) && !(encodeOption & FJEncodeOptionStringObj))
    throw kit::InvalidArgumentException("Trimming quotes needs a string object.");

  releaseState();
  try {
    encodeState_ = std::make_unique<FJEncodeState>();
  } catch (const std::bad_alloc&) {
    throw kit::MallocException("Unable to allocate state structure.");
  }
  // The state goes away however the call ends.
  struct Release {
    FJSerializer* s;
    ~Release() { s->releaseState(); }
  } release{this};

  FJEncodeState& st = *encodeState_;
  st.serializeOptionFlags = optionFlags;
  st.encodeOption = encodeOption;
  st.maxDepth = maxDepth_;
  st.block = &block;
  st.delegate = delegate;
  st.guarded = (block && *st.block) || delegate;
  st.selector = &selector;
  Writer w(st);

  auto finish = [&]() -> kit::Ref<kit::Object> {
    if (error) *error = st.error;
    return nullptr;
  };

  unsigned asType = encodeOption & FJEncodeOptionAsTypeMask;
  std::string className = object ? object->className() : "(null)";
  if (asType != FJEncodeOptionToData && asType != FJEncodeOptionToString) {
    w.fail("Unknown encode as type.");
    return finish();
  }
  if ((encodeOption & FJEncodeOptionCollectionObj) &&
      (!object || (object->kind() != kit::Kind::Array && object->kind() != kit::Kind::Dictionary))) {
    w.fail("Unable to serialize object class " + className + ", expected a NSArray or NSDictionary.");
    return finish();
  }
  if ((encodeOption & FJEncodeOptionStringObj) && (!object || object->kind() != kit::Kind::String)) {
    w.fail("Unable to serialize object class " + className + ", expected a NSString.");
    return finish();
  }
  if (!object) {
    w.fail("Unable to serialize object class (null).");
    return finish();
  }

  bool quotes = !(encodeOption & FJEncodeOptionStringObjTrimQuotes);
  bool ok = w.addAtom(object, nullptr, quotes);
  st.atIndex = w.written();
  if (!ok) return finish();

  FJManagedBuffer& buffer = st.stringBuffer;
  if (asType == FJEncodeOptionToData) {
    if (buffer.onHeap()) {
      unsigned char* bytes = buffer.releaseHeap();
      try {
        return kit::Data::dataWithBytesNoCopy(bytes, st.atIndex, true);
      } catch (...) {
        std::free(bytes);
        throw;
      }
    }
    return kit::Data::dataWithBytes(buffer.bytes(), st.atIndex);
  }
  return kit::str(std::string(reinterpret_cast<const char*>(buffer.bytes()), st.atIndex));
}

}  // namespace tolva
