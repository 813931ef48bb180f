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

}  // namespace

FJTokenCache::FJTokenCache() : items_(new FJTokenCacheItem[kSlots]()) {}

FJTokenCache::~FJTokenCache() { clear(); }

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

kit::Ref<kit::Object> FJTokenCache::cachedObject(FJTokenValue& value) {
  kit::Object* o = retainedObject(value);
  kit::Ref<kit::Object> r(o);
  if (o) o->release();
  return r;
}

kit::Object* FJTokenCache::retainedEmptyString() noexcept {
  kit::Object* empty = emptyString();
  empty->retain();
  return empty;
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
