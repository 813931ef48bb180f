#include "json/fast/FJDictionary.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "json/fast/FJDictionaryEnumerator.h"
#include "json/fast/FJTokenCache.h"
#include "kit/foundation/Exception.h"
#include "kit/foundation/String.h"

namespace tolva {
namespace {

constexpr size_t kCapacities[] = {
    0,        3,        7,        13,       23,        41,        71,        127,       191,      251,
    383,      631,      1087,     1723,     2803,      4523,      7351,      11959,     19447,    31231,
    50683,    81919,    132607,   214519,   346607,    561109,    907759,    1468927,   2376191,  3845119,
    6221311,  10066421, 16287743, 26354171, 42641881,  68996069,  111638519, 180634607, 292272623,
    472907251};

// A fixed key: the same keys land in the same slots in every run, so the
// same document is enumerated and written in the same order. Crafted
// collisions are met by each table's own key instead (see create()).
constexpr uint64_t kSipKey0 = 0x0f3a9c61d2b7e845ULL;
constexpr uint64_t kSipKey1 = 0x6e21c84b97d05a3fULL;

inline uint64_t rotl(uint64_t x, int b) { return (x << b) | (x >> (64 - b)); }

// SipHash-1-3; `tweak` sets a table's own key apart from the fixed one.
uint64_t sipHash13(const unsigned char* in, size_t len, uint64_t tweak) noexcept {
  uint64_t v0 = 0x736f6d6570736575ULL ^ kSipKey0;
  uint64_t v1 = 0x646f72616e646f6dULL ^ kSipKey1 ^ tweak;
  uint64_t v2 = 0x6c7967656e657261ULL ^ kSipKey0;
  uint64_t v3 = 0x7465646279746573ULL ^ kSipKey1;
  auto round = [&] {
    v0 += v1;
    v1 = rotl(v1, 13);
    v1 ^= v0;
    v0 = rotl(v0, 32);
    v2 += v3;
    v3 = rotl(v3, 16);
    v3 ^= v2;
    v0 += v3;
    v3 = rotl(v3, 21);
    v3 ^= v0;
    v2 += v1;
    v1 = rotl(v1, 17);
    v1 ^= v2;
    v2 = rotl(v2, 32);
  };
  const unsigned char* end = in + (len & ~size_t{7});
  for (; in != end; in += 8) {
    uint64_t m;
    std::memcpy(&m, in, 8);
    v3 ^= m;
    round();
    v0 ^= m;
  }
  uint64_t b = static_cast<uint64_t>(len) << 56;
  switch (len & 7) {
    case 7: b |= static_cast<uint64_t>(in[6]) << 48; [[fallthrough]];
    case 6: b |= static_cast<uint64_t>(in[5]) << 40; [[fallthrough]];
    case 5: b |= static_cast<uint64_t>(in[4]) << 32; [[fallthrough]];
    case 4: b |= static_cast<uint64_t>(in[3]) << 24; [[fallthrough]];
    case 3: b |= static_cast<uint64_t>(in[2]) << 16; [[fallthrough]];
    case 2: b |= static_cast<uint64_t>(in[1]) << 8; [[fallthrough]];
    case 1: b |= static_cast<uint64_t>(in[0]); break;
    case 0: break;
  }
  v3 ^= b;
  round();
  v0 ^= b;
  v2 ^= 0xff;
  round();
  round();
  round();
  return v0 ^ v1 ^ v2 ^ v3;
}

std::string prefix(const char* method) { return std::string("*** -[FJDictionary ") + method + "]: "; }

constexpr size_t kCapacityCount = sizeof kCapacities / sizeof kCapacities[0];

constexpr size_t searchCapacity(size_t n) noexcept {
  size_t want = n > SIZE_MAX / 133 ? SIZE_MAX : n * 133 / 100;
  size_t lo = 0, hi = kCapacityCount;
  while (lo < hi) {  // first entry not below `want`
    size_t mid = lo + (hi - lo) / 2;
    if (kCapacities[mid] < want)
      lo = mid + 1;
    else
      hi = mid;
  }
  return lo < kCapacityCount ? kCapacities[lo] : SIZE_MAX;
}

// Most objects are small: their sizes are looked up directly.
struct SmallCapacities {
  size_t size[64];
  constexpr SmallCapacities() : size() {
    for (size_t n = 0; n < 64; ++n) size[n] = searchCapacity(n);
  }
};
constexpr SmallCapacities kSmallCapacities;

}  // namespace

size_t FJDictionary::capacityForCount(size_t n) noexcept {
  return n < 64 ? kSmallCapacities.size[n] : searchCapacity(n);
}

namespace {

// Strings and other keys hash apart; a table's own key (tableKey, 0 for
// none) is a third input.
inline size_t stringHash(std::string_view bytes, uint8_t tableKey) noexcept {
  uint64_t h = sipHash13(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                         uint64_t{tableKey} << 1);
  return static_cast<uint32_t>(h ^ (h >> 32));
}

inline size_t keyHash(const kit::Object* key, uint8_t tableKey) noexcept {
  if (key->kind() == kit::Kind::String) return stringHash(static_cast<const kit::String*>(key)->view(), tableKey);
  // Other keys: their own hash, keyed the same way.
  uint64_t h = key->hash();
  unsigned char b[8];
  std::memcpy(b, &h, 8);
  h = sipHash13(b, 8, uint64_t{tableKey} << 1 | 1);
  return static_cast<uint32_t>(h ^ (h >> 32));
}

}  // namespace

size_t FJDictionary::hashForString(std::string_view bytes) noexcept { return stringHash(bytes, 0); }

size_t FJDictionary::hashForKey(const kit::Object* key) noexcept { return keyHash(key, 0); }

size_t FJDictionary::hashOf(const kit::Object* key) const noexcept { return keyHash(key, tableKey_); }

size_t FJDictionary::hashOfString(std::string_view bytes) const noexcept { return stringHash(bytes, tableKey_); }

kit::Ref<FJDictionary> FJDictionary::alloc() {
  throw kit::InvalidArgumentException(
      "*** - [FJDictionary alloc]: The FJDictionary class is private to FastJSON and should not be used "
      "in this fashion.");
}

FJDictionary* FJDictionary::create(kit::ObjectArena& arena, kit::Object** keys, const size_t* hashes,
                                   kit::Object** objects, size_t count, bool mutableCollection,
                                   FJTokenCache* cache) {
  static_assert(sizeof(FJDictionary) % alignof(Entry) == 0);
  size_t capacity = capacityForCount(count);
  if (capacity > kMaxCount) throw std::bad_alloc();
  auto* dict = new (arena, Trailing{capacity ? capacity * sizeof(Entry) : sizeof(Entry*)}) FJDictionary();
  dict->setInitialRetainCount(1);
  Entry* table = dict->inlineTable();
  dict->own().capacity = static_cast<uint32_t>(capacity);
  // The fixed key spreads ordinary keys well. Keys crafted to collide under
  // it would make filling quadratic: past a budget of probes well above
  // what ordinary keys need, the table is filled again under a key of its
  // own, drawn from all its keys' bytes and the round. That key is the same
  // in every run, and keys crafted for one key change it; the last round
  // has no budget.
  static_assert(sizeof(FJDictionary) == sizeof(kit::MutableDictionary));
  constexpr int kRounds = 8;
  std::vector<kit::Object*> replaced;  // released once the table is final
  for (int round = 0;; ++round) {
    size_t budget = round + 1 < kRounds ? 16 * count + 256 : SIZE_MAX;
    for (size_t i = 0; i < capacity; ++i) table[i] = Entry{nullptr, nullptr};
    dict->own().count = 0;
    replaced.clear();
    bool overBudget = false;
    // Parsed keys are strings: each takes the first free slot from its home,
    // or the slot of an equal key met earlier in the text (the later value wins).
    for (size_t i = 0; i < count && !overBudget; ++i) {
      kit::Object* key = keys[i];
      size_t slot = (round ? dict->hashOf(key) : hashes[i]) % capacity;
      for (;;) {
        Entry& e = table[slot];
        if (!e.key) {
          e.key = key;
          e.object = objects[i];
          ++dict->own().count;
          break;
        }
        if (e.key == key ||
            static_cast<const kit::String*>(e.key)->view() == static_cast<const kit::String*>(key)->view()) {
          replaced.push_back(key);
          replaced.push_back(e.object);
          e.object = objects[i];
          break;
        }
        if (++slot == capacity) slot = 0;
        if (--budget == 0) {
          overBudget = true;
          break;
        }
      }
    }
    if (!overBudget) break;
    uint64_t h = static_cast<uint64_t>(round);
    for (size_t i = 0; i < count; ++i) {
      std::string_view bytes = static_cast<const kit::String*>(keys[i])->view();
      h = sipHash13(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), h);
    }
    dict->tableKey_ = static_cast<uint8_t>(h % 255 + 1);
  }
  if (cache && !replaced.empty()) cache->settle();
  for (kit::Object* o : replaced) o->release();
  dict->mutations_ = mutableCollection ? 1 : 0;
  return dict;
}

FJDictionary::~FJDictionary() {
  Entry* entries = table();
  for (size_t i = 0; i < own().capacity; ++i) {
    if (entries[i].key) {
      entries[i].key->release();
      entries[i].object->release();
    }
  }
  if (onHeap_) std::free(entries);
}

namespace {

// Equality of a table key with a string's bytes.
inline bool keyIs(const kit::Object* key, std::string_view bytes) noexcept {
  return key->kind() == kit::Kind::String && static_cast<const kit::String*>(key)->view() == bytes;
}

}  // namespace

FJDictionary::Entry* FJDictionary::entryForKey(const kit::Object* key, size_t hash) const noexcept {
  if (!key || own().capacity == 0) return nullptr;
  // A string key is compared by its bytes, without a virtual call per slot.
  const bool text = key->kind() == kit::Kind::String;
  std::string_view bytes = text ? static_cast<const kit::String*>(key)->view() : std::string_view();
  Entry* entries = table();
  size_t slot = hash % own().capacity;
  for (size_t i = 0; i < own().capacity; ++i) {
    Entry& e = entries[slot];
    if (!e.key) return nullptr;
    if (e.key == key || (text ? keyIs(e.key, bytes) : e.key->isEqual(key))) return &e;
    if (++slot == own().capacity) slot = 0;
  }
  return nullptr;
}

kit::Object* FJDictionary::objectForKey(const kit::Object* key) const {
  if (!key) return nullptr;
  Entry* e = entryForKey(key, hashOf(key));
  return e ? e->object : nullptr;
}

kit::Object* FJDictionary::objectForKey(std::string_view key) const {
  if (own().capacity == 0) return nullptr;
  size_t hash = hashOfString(key);
  const Entry* entries = table();
  size_t slot = hash % own().capacity;
  for (size_t i = 0; i < own().capacity; ++i) {
    const Entry& e = entries[slot];
    if (!e.key) return nullptr;
    if (keyIs(e.key, key)) return e.object;
    if (++slot == own().capacity) slot = 0;
  }
  return nullptr;
}

void FJDictionary::addObject(size_t hash, kit::Object* key, kit::Object* object, bool stringKeys) noexcept {
  if (own().capacity == 0) {
    key->release();
    object->release();
    return;
  }
  const bool text = stringKeys || key->kind() == kit::Kind::String;
  std::string_view bytes = text ? static_cast<const kit::String*>(key)->view() : std::string_view();
  Entry* entries = table();
  size_t slot = hash % own().capacity;
  for (size_t i = 0; i < own().capacity; ++i) {
    Entry& e = entries[slot];
    if (!e.key) {
      e.key = key;
      e.object = object;
      ++own().count;
      return;
    }
    if (e.key == key || (stringKeys ? static_cast<const kit::String*>(e.key)->view() == bytes
                                    : text ? keyIs(e.key, bytes) : e.key->isEqual(key))) {
      // Replacing in place keeps every other entry's probe chain intact.
      kit::Object* old = e.object;
      e.object = object;
      key->release();
      old->release();
      return;
    }
    if (++slot == own().capacity) slot = 0;
  }
  key->release();  // no free slot; callers size the table so this cannot happen
  object->release();
}

void FJDictionary::removeEntry(Entry* entry) noexcept {
  kit::Object* key = entry->key;
  kit::Object* object = entry->object;
  *entry = Entry{nullptr, nullptr};
  --own().count;
  // Re-file the rest of the cluster so no later entry sits behind a hole.
  Entry* entries = table();
  size_t slot = static_cast<size_t>(entry - entries);
  for (size_t i = 0; i < own().capacity; ++i) {
    if (++slot == own().capacity) slot = 0;
    Entry moved = entries[slot];
    if (!moved.key) break;
    entries[slot] = Entry{nullptr, nullptr};
    size_t to = hashOf(moved.key) % own().capacity;
    while (entries[to].key) {
      if (++to == own().capacity) to = 0;
    }
    entries[to] = moved;
  }
  key->release();
  object->release();
}

void FJDictionary::rebuild(size_t capacity) {
  if (capacity > kMaxCount) throw kit::MallocException("Unable to allocate memory for hash table.");
  auto* fresh = static_cast<Entry*>(std::calloc(capacity, sizeof(Entry)));
  if (!fresh) throw kit::MallocException("Unable to allocate memory for hash table.");
  Entry* old = table();
  bool oldOnHeap = onHeap_;
  size_t oldCapacity = own().capacity;
  size_t oldCount = own().count;
  own().count = 0;
  for (size_t i = 0; i < oldCapacity; ++i) {
    if (!old[i].key) continue;
    // Keys of one table are all different: each just takes the first free slot.
    size_t slot = hashOf(old[i].key) % capacity;
    while (fresh[slot].key) {
      if (++slot == capacity) slot = 0;
    }
    fresh[slot] = old[i];
    ++own().count;
  }
  // Only now: the old table may be the inline room the pointer goes to.
  setHeapTable(fresh);
  own().capacity = static_cast<uint32_t>(capacity);
  if (oldOnHeap) std::free(old);
  if (own().count != oldCount)
    throw kit::InternalInconsistencyException("FJDictionary: entry count changed while resizing");
}

void FJDictionary::requireMutable(const char* method) const {
  if (mutations_ == 0)
    throw kit::InternalInconsistencyException(prefix(method) + "mutating method sent to immutable object");
}

void FJDictionary::setObject(kit::Ref<kit::Object> value, kit::Ref<kit::Object> key) {
  requireMutable("setObject");
  if (!key) throw kit::InvalidArgumentException(prefix("setObject") + "attempt to insert nil key");
  if (!value)
    throw kit::InvalidArgumentException(prefix("setObject") + "attempt to insert nil value (key: " +
                                        key->description() + ")");
  size_t wanted = capacityForCount(own().count + 1);
  if (wanted > own().capacity) rebuild(wanted);
  kit::Ref<kit::Object> copied = key->copy();
  size_t hash = hashOf(copied.get());
  addObject(hash, copied.detach(), value.detach(), false);
  bumpMutations();
}

void FJDictionary::removeObjectForKey(const kit::Object* key) {
  requireMutable("removeObjectForKey");
  if (!key) throw kit::InvalidArgumentException(prefix("removeObjectForKey") + "attempt to remove nil key");
  if (Entry* e = entryForKey(key, hashOf(key))) {
    removeEntry(e);
    bumpMutations();
  }
}

void FJDictionary::enumerate(const std::function<void(kit::Object*, kit::Object*, bool&)>& fn) const {
  unsigned long m = mutations_;
  bool stop = false;
  for (size_t i = 0; i < own().capacity && !stop; ++i) {
    const Entry& e = table()[i];  // the table moves only with a change, which ends the walk
    if (!e.key) continue;
    kit::Ref<kit::Object> key(e.key), value(e.object);
    fn(key.get(), value.get(), stop);
    if (mutations_ != m) throw kit::GenericException("Collection was mutated while being enumerated.");
  }
}

void FJDictionary::getObjects(kit::Object** objects, kit::Object** keys) const {
  const Entry* entries = table();
  size_t n = 0;
  for (size_t i = 0; i < own().capacity; ++i) {
    if (!entries[i].key) continue;
    if (objects) objects[n] = entries[i].object;
    if (keys) keys[n] = entries[i].key;
    ++n;
  }
}

size_t FJDictionary::countByEnumerating(FJFastEnumerationState* state, kit::Object** buffer,
                                        size_t len) const {
  state->mutationsPtr = &mutations_;
  state->itemsPtr = buffer;
  const Entry* entries = table();
  size_t n = 0;
  while (n < len && state->state < own().capacity) {
    const Entry& e = entries[state->state++];
    if (e.key) buffer[n++] = e.key;
  }
  return n;
}

kit::Ref<FJDictionaryEnumerator> FJDictionary::keyEnumerator() const {
  return kit::Ref<FJDictionaryEnumerator>(new FJDictionaryEnumerator(const_cast<FJDictionary*>(this)));
}

kit::Ref<kit::Object> FJDictionary::copy() const {
  if (!isMutable()) return kit::Ref<kit::Object>(const_cast<FJDictionary*>(this));
  return kit::Ref<kit::Object>(new kit::Dictionary(entries()));
}

kit::Ref<kit::Object> FJDictionary::mutableCopy() const {
  return kit::Ref<kit::Object>(new kit::MutableDictionary(entries()));
}

}  // namespace tolva
