#pragma once
// Key-value collections. Keys are copied on insertion and compared with
// hash/isEqual; entries keep their insertion order so output is reproducible.
// count(), objectForKey() and enumerate() (and MutableDictionary's
// setObject/removeObjectForKey) are the virtual primitives a subclass with
// its own storage overrides.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "kit/foundation/Object.h"

namespace kit {

class Array;
class String;

class Dictionary : public Object {
 public:
  using Entry = std::pair<Ref<Object>, Ref<Object>>;

  Dictionary() = default;
  // Entries with a null key or value are refused with InvalidArgumentException.
  Dictionary(std::initializer_list<std::pair<std::string_view, Ref<Object>>> entries);
  explicit Dictionary(const std::vector<Entry>& entries);
  ~Dictionary() override;

  static Ref<Dictionary> dictionary() { return Ref<Dictionary>(new Dictionary()); }

  virtual size_t count() const noexcept;
  virtual Object* objectForKey(const Object* key) const;
  // Looks up a string key without building a String.
  virtual Object* objectForKey(std::string_view key) const;
  // Calls fn for every entry in order; mutation meanwhile throws GenericException.
  virtual void enumerate(const std::function<void(Object* key, Object* value, bool& stop)>& fn) const;
  virtual unsigned long mutationCount() const noexcept { return mutations_; }
  // This class's own entries from `first` on, at most `room` of them, written
  // to keysAndValues as key, value, key, value, ... without taking references:
  // for walks that run no code but kit's meanwhile (a writer, say). Answers
  // how many were written; none for any class but kit's own dictionaries
  // (another may keep its storage elsewhere, even in this class's fields).
  size_t storedEntries(size_t first, Object** keysAndValues, size_t room) const noexcept;

  Object* objectForKey(const char* key) const { return objectForKey(std::string_view(key)); }
  Object* objectForKey(const std::string& key) const { return objectForKey(std::string_view(key)); }
  Object* operator[](std::string_view key) const { return objectForKey(key); }
  // The value as a T, or null when absent or of another kind.
  template <class T>
  T* get(std::string_view key) const {
    return dynamic_cast<T*>(objectForKey(key));
  }
  bool empty() const noexcept { return count() == 0; }
  std::vector<Ref<Object>> allKeys() const;
  std::vector<Ref<Object>> allValues() const;
  std::vector<Entry> entries() const;

  std::string className() const override { return "Dictionary"; }
  Kind kind() const noexcept override { return Kind::Dictionary; }
  size_t hash() const noexcept override { return count(); }
  bool isEqual(const Object* other) const noexcept override;
  std::string description() const override;
  Ref<Object> copy() const override;
  Ref<Object> mutableCopy() const override;

 protected:
  // Storage primitives for this class's own table.
  void storeEntry(Ref<Object> key, Ref<Object> value);
  bool eraseEntry(const Object* key);
  void clearEntries();
  size_t findIndex(const Object* key, size_t h) const;
  size_t findStringIndex(std::string_view key) const;

  // This class's own table, made with the first entry, so a subclass that
  // keeps its own storage pays a single null pointer for it.
  struct Table;
  // Bytes of a table with room for `capacity` entries.
  static size_t tableBytes(size_t capacity) noexcept;
  // For a dictionary without entries: keeps the table in `room`
  // (tableBytes(capacity), 8-byte aligned), which belongs to whoever owns
  // this object's memory (a subclass made with room behind itself), and
  // stores `count` entries from keysAndValues (key, value, key, value, ...),
  // taking over one reference to each. A key equal to an earlier one
  // replaces that entry's value. Keys must be immutable and count at most
  // capacity. The dictionary never frees the room; growing beyond it moves
  // the table to the heap.
  void useBorrowedTable(void* room, size_t capacity, Object* const* keysAndValues, size_t count) noexcept;

  // For a subclass that keeps its own storage and overrides every primitive:
  // two counts of its own in place of the pointer (a tree of small
  // dictionarys is walked faster the fewer bytes it takes). The subclass calls
  // useOwnCounts() in its constructor; from then on this class never reads
  // the word as a pointer, as every use of it asks the storage kind first.
  struct OwnCounts {
    uint32_t count;
    uint32_t capacity;
  };
  void useOwnCounts() noexcept {
    word_.own = OwnCounts{0, 0};
    ownCounts_ = true;
  }
  OwnCounts& own() noexcept { return word_.own; }
  const OwnCounts& own() const noexcept { return word_.own; }

  // This class's own block, null when it has none or a subclass keeps its counts in its place.
  Table* tableBlock() const noexcept { return ownCounts_ ? nullptr : word_.table; }
  void setStorage(Table* block) noexcept { word_.table = block; }

 private:
  union Word {
    Table* table;
    OwnCounts own;
  };
  Word word_{nullptr};

 protected:
  // 32 bits, so this count, the flags below and a subclass's first small
  // fields share one word (only a walk seeing exactly 2^32 changes would
  // miss them).
  uint32_t mutations_ = 0;
  bool tableBorrowed_ = false;  // the block is not this dictionary's heap block
  bool ownCounts_ = false;  // the word holds a subclass's counts

 private:
  // Room for at least n entries; the table may move.
  void reserveEntries(size_t n);
};

class MutableDictionary : public Dictionary {
 public:
  using Dictionary::Dictionary;
  static Ref<MutableDictionary> dictionary() { return Ref<MutableDictionary>(new MutableDictionary()); }

  // A null value removes the key, as setting nil through key-value coding does.
  virtual void setObject(Ref<Object> value, Ref<Object> key);
  virtual void removeObjectForKey(const Object* key);

  void setObject(Ref<Object> value, std::string_view key);
  void removeObjectForKey(std::string_view key);
  void removeAllObjects();
  void addEntriesFromDictionary(const Dictionary& other);

  std::string className() const override { return "MutableDictionary"; }
  bool isMutable() const noexcept override { return true; }
};

}  // namespace kit
