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
#include <memory>

#include "kit/foundation/Ref.h"

namespace kit {
class Object;
class ObjectArena;
}

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
  void settleLent() noexcept;

  std::unique_ptr<FJTokenCacheItem[]> items_;
  kit::ObjectArena* arena_ = nullptr;
  uint32_t prngLfsr_ = 1;
  uint8_t age_[kSlots] = {};
  uint16_t lent_[kSlots] = {};  // the slots whose objects are lent, the first lentCount_
  size_t lentCount_ = 0;
};

}  // namespace tolva
