#include "json/fast/FJTokenCache.h"

#include <bit>
#include <cstring>
#include <string_view>

#include "kit/foundation/ObjectArena.h"
#include "json/fast/FJNumber.h"
#include "json/fast/FJString.h"
#include "kit/foundation/Number.h"
#include "kit/foundation/String.h"

namespace tolva {
namespace {

kit::String* emptyString() {
  static kit::String* empty = [] {
    auto* s = new kit::String();
    s->retain();  // shared for the life of the program
    return s;
  }();
  return empty;
}

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

}  // namespace

FJTokenCache::FJTokenCache() : items_(new FJTokenCacheItem[kSlots]()) {}

FJTokenCache::~FJTokenCache() { clear(); }

inline bool FJTokenCache::matches(const FJTokenCacheItem& item, const FJTokenValue& value) const noexcept {
  if (item.hash != value.hash || item.length != value.length || item.type != value.type) return false;
  if (value.type == FJValueTypeString) {
    std::string_view cached = static_cast<const kit::String*>(item.object)->view();
    return sameBytes(cached.data(), value.ptr, value.length);
  }
  return item.bits == value.unsignedLongLongValue();
}

kit::Object* FJTokenCache::makeObject(const FJTokenValue& value, long owners) {
  kit::Ref<kit::Object> made;
  if (arena_) {
    switch (value.type) {
      case FJValueTypeString:
        return new (*arena_)
            FJString(std::string_view(reinterpret_cast<const char*>(value.ptr), value.length), owners);
      case FJValueTypeLongLong: return FJNumber::makeSigned(*arena_, value.longLongValue(), owners);
      case FJValueTypeUnsignedLongLong: {
        uint64_t u = value.unsignedLongLongValue();
        if (u <= static_cast<uint64_t>(INT64_MAX))
          return FJNumber::makeSigned(*arena_, static_cast<int64_t>(u), owners);
        return FJNumber::makeUnsigned(*arena_, u, owners);
      }
      case FJValueTypeDouble: return FJNumber::makeDouble(*arena_, value.doubleValue(), owners);
      case FJValueTypeNone: return nullptr;
    }
    return nullptr;
  }
  switch (value.type) {
    case FJValueTypeString:
      made = kit::Ref<kit::Object>(
          new kit::String(std::string_view(reinterpret_cast<const char*>(value.ptr), value.length)));
      break;
    case FJValueTypeLongLong: made = kit::Number::numberWithLongLong(value.longLongValue()); break;
    case FJValueTypeUnsignedLongLong: {
      uint64_t u = value.unsignedLongLongValue();
      if (u <= static_cast<uint64_t>(INT64_MAX))
        made = kit::Number::numberWithLongLong(static_cast<long long>(u));
      else
        made = kit::Number::numberWithUnsignedLongLong(u);
      break;
    }
    case FJValueTypeDouble: made = kit::Number::numberWithDouble(value.doubleValue()); break;
    case FJValueTypeNone: return nullptr;
  }
  kit::Object* o = made.detach();
  for (long i = 1; i < owners; ++i) o->retain();
  return o;
}

void FJTokenCache::stepAgeing() noexcept {
  prngLfsr_ = (prngLfsr_ >> 1) ^ ((0u - (prngLfsr_ & 1u)) & 0x80200003u);
  age_[prngLfsr_ & (kSlots - 1)] >>= 1;
}

kit::Ref<kit::Object> FJTokenCache::cachedObject(FJTokenValue& value) {
  kit::Object* o = retainedObject(value);
  kit::Ref<kit::Object> r(o);
  if (o) o->release();
  return r;
}

kit::Object* FJTokenCache::retainedObject(FJTokenValue& value) {
  value.cacheItem = nullptr;
  if (value.type == FJValueTypeString && value.length == 0) {
    kit::Object* empty = emptyString();
    empty->retain();
    return empty;
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

void FJTokenCache::settleLent() noexcept {
  for (size_t i = 0; i < lentCount_; ++i) {
    FJTokenCacheItem& item = items_[lent_[i]];
    if (!item.lent) continue;
    item.object->retain();
    item.lent = false;
  }
  lentCount_ = 0;
}

void FJTokenCache::clear() noexcept {
  if (!items_) return;
  settle();
  for (size_t i = 0; i < kSlots; ++i) {
    if (items_[i].object) items_[i].object->release();
    items_[i] = FJTokenCacheItem{};
    age_[i] = 0;
  }
}

}  // namespace tolva
