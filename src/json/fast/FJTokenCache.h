#pragma once
// The decoder's object cache: a fixed table of 1024 slots that hands back the
// same string or number object when a value's bytes were met before, so
// repeated keys and values cost neither an allocation nor a copy. Slots age:
// a hit makes a slot younger, a miss that passes over an occupied slot makes
// it (and two pseudo-randomly picked slots) older, and a new value takes the
// first slot that has aged to zero.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

#include "json/fast/FJNumber.h"
#include "kit/foundation/ObjectArena.h"
#include "kit/foundation/Ref.h"
#include "kit/foundation/String.h"

namespace tolva {

enum FJValueType : uint8_t {
  FJValueTypeNone = 0,
  FJValueTypeString = 5,
  FJValueTypeLongLong = 7,
  FJValueTypeUnsignedLongLong = 11,
  FJValueTypeDouble = 13,
};

// 32 bytes, so the whole table stays small in the processor's caches.
struct FJTokenCacheItem {
  kit::Object* object = nullptr;  // one reference held by the cache
  uint64_t bits = 0;  // a number's stored 64-bit value; strings compare with their object's bytes
  uint32_t hash = 0;
  uint32_t keyHash = 0;  // the dictionary hash of a string used as key; 0 until first needed
  uint32_t length = 0;   // tokens of 2^32 bytes or more are not cached
  FJValueType type = FJValueTypeNone;
  bool lent = false;  // the object is held without the cache's reference (see FJTokenCache::settle)
};

// A scanned string or number: its bytes, type, cache hash and, for numbers,
// the converted value.
struct FJTokenValue {
  const unsigned char* ptr = nullptr;
  size_t length = 0;
  FJValueType type = FJValueTypeNone;
  uint32_t hash = 0;
  // A number's value as stored: an int64_t, a uint64_t or a double, as the
  // type says; the cache compares and hashes these bits.
  uint64_t numberBits = 0;
  int64_t longLongValue() const noexcept { return std::bit_cast<int64_t>(numberBits); }
  uint64_t unsignedLongLongValue() const noexcept { return numberBits; }
  double doubleValue() const noexcept { return std::bit_cast<double>(numberBits); }
  FJTokenCacheItem* cacheItem = nullptr;  // set by the cache when the object sits in a slot
};

class FJTokenCache {
 public:
  static constexpr size_t kSlots = 1024;
  static constexpr uint32_t kHashSeed = 1402737925u;
  static constexpr int kProbes = 4;

  FJTokenCache();
  ~FJTokenCache();
  FJTokenCache(const FJTokenCache&) = delete;
  FJTokenCache& operator=(const FJTokenCache&) = delete;

  // The object for a value, from the cache or made anew (and then cached
  // when a slot is free). Sets value.cacheItem to the slot holding it, or null.
  kit::Ref<kit::Object> cachedObject(FJTokenValue& value);
  // The same, with the caller's reference handed over as a plain pointer.
  // Inline: the parser calls it for every string and number.
  kit::Object* retainedObject(FJTokenValue& value);
  // Where new objects get their room during a parse (null: the heap).
  //
  // While an arena is set the cache files the objects it makes without a
  // reference of its own: the parse owns them, and most are pushed out of
  // their slot by later values before the parse ends, which then costs no
  // release of an object long out of the processor's caches. settle() takes
  // the cache's references to those still held; the parse calls it before
  // it releases anything it made and before it lets the arena go.
  void setArena(kit::ObjectArena* arena) noexcept {
    settle();
    arena_ = arena;
  }
  void settle() noexcept {
    if (lentCount_) settleLent();
  }
  // Releases every cached object and empties every slot.
  void clear() noexcept;

  // Cache hash of decoded string bytes, folded one byte at a time.
  static uint32_t hashStep(uint32_t h, unsigned char c) noexcept { return h * 33u + c; }
  // The cache hash after folding in the first n (0..8) of eight bytes (the
  // first in the lowest): the same as n hashSteps. The bytes are weighed by
  // powers of 33 in lanes, two bytes per 16 bits and then four per 32, so the
  // work is a few multiplications instead of a chain of eight.
  static uint32_t hashBytes(uint32_t h, uint64_t v, int n) noexcept {
    static constexpr uint32_t kPow33[] = {1u,        33u,         1089u,       35937u,     1185921u,
                                          39135393u, 1291467969u, 3963737313u, 1954312449u};  // 33^n mod 2^32
    // The n bytes on top, zeros below, which add nothing; shifted in two
    // steps, so that no bytes at all is not a shift by the full width.
    v = (v << (4 * (8 - n))) << (4 * (8 - n));
    // 16-bit lanes: first byte × 33 + second (at most 8670).
    uint64_t pairs = (v & 0x00FF00FF00FF00FFULL) * 33 + ((v >> 8) & 0x00FF00FF00FF00FFULL);
    // 32-bit lanes: first pair × 33^2 + second (below 2^24).
    uint64_t quads = (pairs & 0x0000FFFF0000FFFFULL) * 1089 + ((pairs >> 16) & 0x0000FFFF0000FFFFULL);
    uint32_t first = static_cast<uint32_t>(quads), second = static_cast<uint32_t>(quads >> 32);
    return h * kPow33[n] + first * kPow33[4] + second;
  }
  // Cache hash of a number's type and stored 64-bit value: its eight bytes,
  // lowest first, folded into a start that holds the type.
  static uint32_t hashNumber(FJValueType type, uint64_t bits) noexcept {
    uint32_t h = kHashSeed + type;
    if (type == FJValueTypeLongLong || type == FJValueTypeUnsignedLongLong) h += static_cast<uint32_t>(bits);
    return hashBytes(h, bits, 8);
  }
  // Slot looked at by probe i (0..3) for a value.
  static size_t slotFor(uint32_t hash, size_t length, FJValueType type, size_t probe) noexcept {
    return (hash + probe * (length + type + 3)) & (kSlots - 1);
  }

  const FJTokenCacheItem& item(size_t slot) const noexcept { return items_[slot]; }
  uint8_t age(size_t slot) const noexcept { return age_[slot]; }

 private:
  bool matches(const FJTokenCacheItem& item, const FJTokenValue& value) const noexcept;
  // A new object with `owners` references.
  kit::Object* makeObject(const FJTokenValue& value, long owners);
  void stepAgeing() noexcept;
  static kit::Object* retainedEmptyString() noexcept;
  void settleLent() noexcept;

  std::unique_ptr<FJTokenCacheItem[]> items_;
  kit::ObjectArena* arena_ = nullptr;
  uint32_t prngLfsr_ = 1;
  uint8_t age_[kSlots] = {};
  uint16_t lent_[kSlots] = {};  // the slots whose objects are lent, the first lentCount_
  size_t lentCount_ = 0;
};

// Inline members, in the header so that the parser's loops make no call per value.

namespace fj_token_cache_detail {

template <class Word>
inline Word wordAt(const void* p, size_t at) noexcept {
  Word w;
  std::memcpy(&w, static_cast<const unsigned char*>(p) + at, sizeof w);
  return w;
}

// Equality of n bytes. Keys and most values are short: they are compared
// in a word or two, without a call.
inline bool sameBytes(const void* a, const void* b, size_t n) noexcept {
  if (n > 16) return std::memcmp(a, b, n) == 0;
  if (n >= 8)  // two words, which overlap when n < 16
    return wordAt<uint64_t>(a, 0) == wordAt<uint64_t>(b, 0) && wordAt<uint64_t>(a, n - 8) == wordAt<uint64_t>(b, n - 8);
  if (n >= 4)
    return wordAt<uint32_t>(a, 0) == wordAt<uint32_t>(b, 0) && wordAt<uint32_t>(a, n - 4) == wordAt<uint32_t>(b, n - 4);
  for (size_t i = 0; i < n; ++i)
    if (static_cast<const unsigned char*>(a)[i] != static_cast<const unsigned char*>(b)[i]) return false;
  return true;
}

}  // namespace fj_token_cache_detail

inline bool FJTokenCache::matches(const FJTokenCacheItem& item, const FJTokenValue& value) const noexcept {
  if (item.hash != value.hash || item.length != value.length || item.type != value.type) return false;
  if (value.type == FJValueTypeString) {
    std::string_view cached = static_cast<const kit::String*>(item.object)->view();
    return fj_token_cache_detail::sameBytes(cached.data(), value.ptr, value.length);
  }
  return item.bits == value.unsignedLongLongValue();
}

inline void FJTokenCache::stepAgeing() noexcept {
  prngLfsr_ = (prngLfsr_ >> 1) ^ ((0u - (prngLfsr_ & 1u)) & 0x80200003u);
  age_[prngLfsr_ & (kSlots - 1)] >>= 1;
}

#ifdef __OPTIMIZE__
[[gnu::always_inline]]
#endif
inline kit::Object* FJTokenCache::retainedObject(FJTokenValue& value) {
  value.cacheItem = nullptr;
  if (value.type == FJValueTypeString && value.length == 0) {
    return retainedEmptyString();
  }

  // Locals, because every store to an age (a byte) could otherwise change
  // anything as far as the compiler knows, and all would be read again.
  const uint32_t hash = value.hash;
  const size_t length = value.length;
  const FJValueType type = value.type;
  FJTokenCacheItem* const items = items_.get();
  size_t chosen = kSlots;  // none yet
  for (size_t i = 0; i < kProbes; ++i) {
    size_t slot = slotFor(hash, length, type, i);
    FJTokenCacheItem& item = items[slot];
    if (!item.object) {
      if (chosen == kSlots) chosen = slot;
      break;
    }
    if (matches(item, value)) {
      age_[slot] = static_cast<uint8_t>((age_[slot] << 1) | 1);
      value.cacheItem = &item;
      // A lent object was made by this parse and has not left it yet.
      if (item.lent)
        item.object->retainUnshared();
      else
        item.object->retain();
      return item.object;
    }
    if (chosen != kSlots) continue;
    if (age_[slot] == 0) {
      chosen = slot;  // a later match still wins
    } else {
      age_[slot] >>= 1;
      stepAgeing();
      stepAgeing();
    }
  }

  if (value.length > UINT32_MAX) chosen = kSlots;  // too long to be filed
  // One reference for the caller, one for the cache when it keeps the
  // object, unless it is lent (see setArena).
  const bool lend = arena_ != nullptr;
  kit::Object* object;
  // A parse's numbers are made here rather than through makeObject: for a
  // column of unique numbers the call cost as much as the making.
  if (lend && type == FJValueTypeDouble)
    object = FJNumber::makeDouble(*arena_, value.doubleValue(), 1);
  else if (lend && type == FJValueTypeLongLong)
    object = FJNumber::makeSigned(*arena_, value.longLongValue(), 1);
  else
    object = makeObject(value, chosen != kSlots && !lend ? 2 : 1);
  if (chosen != kSlots && object) {
    FJTokenCacheItem& item = items_[chosen];
    kit::Object* old = item.object;
    if (item.lent) old = nullptr;  // the cache holds no reference to give back
    if (lend && !item.lent) lent_[lentCount_++] = static_cast<uint16_t>(chosen);
    item.lent = lend;
    item.object = object;
    item.hash = value.hash;
    item.keyHash = 0;
    item.length = static_cast<uint32_t>(value.length);
    item.type = value.type;
    item.bits = value.type == FJValueTypeString ? 0 : value.unsignedLongLongValue();
    age_[chosen] = 0;
    value.cacheItem = &item;
    if (old) old->release();
  }
  return object;
}

}  // namespace tolva
