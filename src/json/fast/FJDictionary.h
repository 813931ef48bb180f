#pragma once
// The fast decoder's dictionary: an open-addressing hash table with linear
// probing, created by the parser in one step from the parsed keys and values.
// Mutable or immutable as the decoder call asked. Key hashes use a fixed key,
// so a document's keys come out in the same order in every run; a table
// whose keys pile up in one chain takes a key of its own (see create()).
// Outside code cannot create one.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>

#include "kit/foundation/ObjectArena.h"
#include "json/fast/FJTypes.h"
#include "kit/foundation/Dictionary.h"

namespace tolva {

class FJTokenCache;

class FJParseState;
class FJDictionaryEnumerator;

class FJDictionary final : public kit::MutableDictionary, private kit::ObjectArenaRoom {
 public:
  // Slots keep no hash: a key's home is computed again when it has to move,
  // which only removal and growth do, and lookups compare keys directly.
  struct Entry {
    kit::Object* key;     // one reference, or null for an empty slot
    kit::Object* object;  // one reference
  };

  // Always raises InvalidArgumentException: the class is private to the decoder.
  static kit::Ref<FJDictionary> alloc();
  ~FJDictionary() override;

  using kit::MutableDictionary::objectForKey;
  using kit::MutableDictionary::removeObjectForKey;
  using kit::MutableDictionary::setObject;

  size_t count() const noexcept override { return own().count; }
  kit::Object* objectForKey(const kit::Object* key) const override;
  kit::Object* objectForKey(std::string_view key) const override;
  // Entries in slot order.
  void enumerate(const std::function<void(kit::Object* key, kit::Object* value, bool& stop)>& fn) const override;
  unsigned long mutationCount() const noexcept override { return mutations_; }

  // Fills either array (both may be null) with the objects and keys in slot order.
  void getObjects(kit::Object** objects, kit::Object** keys) const;
  // Hands out up to `len` keys per call into `buffer`, in slot order.
  size_t countByEnumerating(FJFastEnumerationState* state, kit::Object** buffer, size_t len) const;
  kit::Ref<FJDictionaryEnumerator> keyEnumerator() const;

  // Replaces the value of an equal key in place; the key is copied.
  void setObject(kit::Ref<kit::Object> value, kit::Ref<kit::Object> key) override;
  void removeObjectForKey(const kit::Object* key) override;

  std::string className() const override { return "FJDictionary"; }
  bool isMutable() const noexcept override { return mutations_ != 0; }
  // The dictionary itself when immutable, else a new kit::Dictionary of the same entries.
  kit::Ref<kit::Object> copy() const override;
  kit::Ref<kit::Object> mutableCopy() const override;

  size_t capacity() const noexcept { return own().capacity; }
  // Table sizes are below 2^32 (the largest is about 4.7 × 10^8).
  static constexpr size_t kMaxCount = 0xFFFFFFFFu;
  // The table itself, capacity() slots; empty slots have a null key. Valid
  // until the next mutation.
  const Entry* slots() const noexcept { return table(); }
  // Table size for n entries: the first prime of the size table not below n × 1.33.
  static size_t capacityForCount(size_t n) noexcept;
  // The hash a table without a key of its own files a key under (32 bits,
  // enough for any table size); equal keys hash alike.
  static size_t hashForKey(const kit::Object* key) noexcept;
  static size_t hashForString(std::string_view bytes) noexcept;
  // Whether this table had to take a key of its own against colliding keys.
  bool hasOwnHashKey() const noexcept { return tableKey_ != 0; }

 private:
  friend class FJParseState;
  friend class FJDictionaryEnumerator;
  FJDictionary() { useOwnCounts(); }
  // The room made with the dictionary, right behind it: its first table, or,
  // once the table moved to the heap, the pointer to it (so a dictionary is
  // never made with less room than one pointer).
  Entry* inlineTable() const noexcept { return reinterpret_cast<Entry*>(const_cast<FJDictionary*>(this) + 1); }
  Entry* table() const noexcept {
    if (!onHeap_) return inlineTable();
    Entry* heap;
    std::memcpy(&heap, static_cast<const void*>(inlineTable()), sizeof heap);
    return heap;
  }
  void setHeapTable(Entry* heap) noexcept {
    std::memcpy(static_cast<void*>(inlineTable()), &heap, sizeof heap);
    onHeap_ = true;
  }
  // Takes over one reference to each key and object on success; on failure
  // (bad_alloc) the caller keeps them. The dictionary comes with one
  // reference, the caller's. A key met again replaces the earlier entry,
  // whose key and object are released after `cache` (when given) is settled.
  static FJDictionary* create(kit::ObjectArena& arena, kit::Object** keys, const size_t* hashes, kit::Object** objects, size_t count,
                              bool mutableCollection, FJTokenCache* cache = nullptr);

  Entry* entryForKey(const kit::Object* key, size_t hash) const noexcept;
  // Takes over the references to key and object; an equal key's entry gets
  // the object in place. `stringKeys`: every key of the table is a string.
  void addObject(size_t hash, kit::Object* key, kit::Object* object, bool stringKeys) noexcept;
  void removeEntry(Entry* entry) noexcept;
  void rebuild(size_t capacity);
  void requireMutable(const char* method) const;
  void bumpMutations() noexcept { mutations_ = mutations_ >= 0xFFFFFFFFul ? 1 : mutations_ + 1; }
  // The hash this table files a key under.
  size_t hashOf(const kit::Object* key) const noexcept;
  size_t hashOfString(std::string_view bytes) const noexcept;

  // Nothing else: no pointer to the table, and the count and capacity are
  // the base's own counts. The flag and the key sit in the base's padding.
  bool onHeap_ = false;
  uint8_t tableKey_ = 0;  // 0: the fixed key
};

}  // namespace tolva
