#include "kit/foundation/Dictionary.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <typeinfo>

#include "kit/foundation/ArenaMutableDictionary.h"
#include "kit/foundation/Exception.h"
#include "kit/foundation/String.h"

namespace kit {
namespace {

constexpr size_t kMissing = static_cast<size_t>(-1);

std::string indent(const std::string& s) {
  std::string out;
  for (char c : s) {
    out += c;
    if (c == '\n') out += "    ";
  }
  return out;
}

// Quotes a key or value the way descriptions show strings that need it.
std::string quoted(const Object* o) {
  std::string d = o->description();
  if (o->kind() != Kind::String) return d;
  bool plain = !d.empty();
  for (char c : d)
    if (!(isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.' || c == '/')) plain = false;
  return plain ? d : "\"" + d + "\"";
}

}  // namespace

Dictionary::Dictionary(std::initializer_list<std::pair<std::string_view, Ref<Object>>> entries) {
  // Checked before the table is made: a constructor that throws leaves no
  // destructor to free it.
  for (auto& [k, v] : entries)
    if (!v) throw InvalidArgumentException("Dictionary: value for key " + std::string(k) + " is nil");
  reserveEntries(entries.size());
  for (auto& [k, v] : entries) storeEntry(str(std::string(k)), v);
}

Dictionary::Dictionary(const std::vector<Entry>& entries) {
  for (auto& [k, v] : entries)
    if (!k || !v) throw InvalidArgumentException("Dictionary: nil key or value");
  reserveEntries(entries.size());
  for (auto& [k, v] : entries) storeEntry(k, v);
}

// Entries in insertion order with their keys' hashes; past a few entries an
// open-addressing index (entry position + 1, 0 for a free slot) finds them.
// One block: this header, room for `capacity` entries, then the index.
struct alignas(8) Dictionary::Table {
  static constexpr size_t kScanned = 8;  // up to this many entries a scan beats hashing

  struct Slot {
    Object* key;  // one reference each
    Object* value;
    size_t hash;
  };
  // 32-bit: a smaller header is fewer bytes for a walk to read, and the
  // index holds 32-bit positions anyway.
  uint32_t count;
  uint32_t capacity;
  uint32_t mask;  // the index's size - 1 (a power of two at least twice the capacity), or 0 for none

  Slot* entries() noexcept { return reinterpret_cast<Slot*>(this + 1); }
  const Slot* entries() const noexcept { return reinterpret_cast<const Slot*>(this + 1); }
  uint32_t* index() noexcept { return reinterpret_cast<uint32_t*>(entries() + capacity); }
  const uint32_t* index() const noexcept { return reinterpret_cast<const uint32_t*>(entries() + capacity); }

  static size_t indexSize(size_t capacity) noexcept {
    if (capacity <= kScanned) return 0;
    size_t n = 16;
    while (n < 2 * capacity) n *= 2;
    return n;
  }
  static size_t bytes(size_t capacity) noexcept {
    return sizeof(Table) + capacity * sizeof(Slot) + indexSize(capacity) * sizeof(uint32_t);
  }
  static size_t home(size_t h, size_t mask) noexcept { return (h * 0x9e3779b97f4a7c15ULL >> 17) & mask; }

  void init(size_t room) noexcept {
    count = 0;
    capacity = static_cast<uint32_t>(room);
    size_t n = indexSize(room);
    mask = n ? static_cast<uint32_t>(n - 1) : 0;
    if (n) std::memset(index(), 0, n * sizeof(uint32_t));
  }
  void indexEntry(size_t i) noexcept {
    if (!mask) return;
    uint32_t* slots = index();
    size_t s = home(entries()[i].hash, mask);
    while (slots[s]) s = (s + 1) & mask;
    slots[s] = static_cast<uint32_t>(i + 1);
  }
  void reindex() noexcept {
    if (!mask) return;
    std::memset(index(), 0, (mask + 1) * sizeof(uint32_t));
    for (size_t i = 0; i < count; ++i) indexEntry(i);
  }
  template <class Match>
  size_t find(size_t h, Match&& match) const {
    const Slot* e = entries();
    if (!mask) {
      for (size_t i = 0; i < count; ++i)
        if (e[i].hash == h && match(e[i].key)) return i;
      return kMissing;
    }
    const uint32_t* slots = index();
    for (size_t s = home(h, mask);; s = (s + 1) & mask) {
      uint32_t v = slots[s];
      if (!v) return kMissing;
      if (e[v - 1].hash == h && match(e[v - 1].key)) return v - 1;
    }
  }
};

Dictionary::~Dictionary() {
  if (!tableBlock()) return;
  Table::Slot* e = tableBlock()->entries();
  for (size_t i = 0; i < tableBlock()->count; ++i) {
    e[i].key->release();
    e[i].value->release();
  }
  if (!tableBorrowed_) std::free(tableBlock());
}

size_t Dictionary::tableBytes(size_t capacity) noexcept { return Table::bytes(capacity); }

void Dictionary::reserveEntries(size_t n) {
  size_t have = tableBlock() ? tableBlock()->capacity : 0;
  if (n <= have) return;
  size_t capacity = std::max({n, have + have / 2, size_t{4}});
  if (capacity >= UINT32_MAX / 4) throw std::bad_alloc();
  void* block = std::malloc(Table::bytes(capacity));
  if (!block) throw std::bad_alloc();
  auto* table = static_cast<Table*>(block);
  table->init(capacity);
  if (tableBlock()) {
    // Entries are plain counted pointers, so copying them moves them.
    std::memcpy(static_cast<void*>(table->entries()), tableBlock()->entries(), tableBlock()->count * sizeof(Table::Slot));
    table->count = tableBlock()->count;
    table->reindex();
    if (!tableBorrowed_) std::free(tableBlock());
  }
  setStorage(table);
  tableBorrowed_ = false;
}

void Dictionary::useBorrowedTable(void* room, size_t capacity, Object* const* keysAndValues,
                                  size_t count) noexcept {
  auto* table = static_cast<Table*>(room);
  table->init(capacity);
  setStorage(table);
  tableBorrowed_ = true;
  Table::Slot* e = table->entries();
  for (size_t j = 0; j < count; ++j) {
    Object* key = keysAndValues[2 * j];
    size_t h = key->hash();
    size_t i = table->find(h, [&](const Object* k) { return k == key || k->isEqual(key); });
    // Read on its own, after the call: a maker that has just stored key and
    // value one by one would stall a load of both at once.
    Object* value = keysAndValues[2 * j + 1];
    if (i != kMissing) {
      Object* old = e[i].value;
      e[i].value = value;
      old->release();
      key->release();
    } else {
      e[table->count] = {key, value, h};
      table->indexEntry(table->count);
      ++table->count;
    }
  }
}

size_t Dictionary::count() const noexcept { return tableBlock() ? tableBlock()->count : 0; }

size_t Dictionary::findIndex(const Object* key, size_t h) const {
  if (!tableBlock()) return kMissing;
  return tableBlock()->find(h, [&](const Object* k) { return kit::isEqual(k, key); });
}

size_t Dictionary::findStringIndex(std::string_view key) const {
  if (!tableBlock()) return kMissing;
  return tableBlock()->find(String::hashBytes(key), [&](const Object* k) {
    return k->kind() == Kind::String && static_cast<const String*>(k)->view() == key;
  });
}

Object* Dictionary::objectForKey(const Object* key) const {
  if (!key) return nullptr;
  size_t i = findIndex(key, key->hash());
  return i == kMissing ? nullptr : tableBlock()->entries()[i].value;
}

Object* Dictionary::objectForKey(std::string_view key) const {
  size_t i = findStringIndex(key);
  return i == kMissing ? nullptr : tableBlock()->entries()[i].value;
}

size_t Dictionary::storedEntries(size_t first, Object** keysAndValues, size_t room) const noexcept {
  // Another subclass may keep its own storage, even in this class's fields.
  const std::type_info& type = typeid(*this);
  if (type != typeid(ArenaMutableDictionary) && type != typeid(MutableDictionary) && type != typeid(Dictionary))
    return 0;
  if (!tableBlock() || first >= tableBlock()->count) return 0;
  size_t n = std::min(room, tableBlock()->count - first);
  const Table::Slot* e = tableBlock()->entries() + first;
  for (size_t i = 0; i < n; ++i) {
    keysAndValues[2 * i] = e[i].key;
    keysAndValues[2 * i + 1] = e[i].value;
  }
  return n;
}

void Dictionary::enumerate(const std::function<void(Object*, Object*, bool&)>& fn) const {
  unsigned long m = mutationCount();
  bool stop = false;
  // The table moves only when the dictionary changes, which ends the walk.
  for (size_t i = 0; tableBlock() && i < tableBlock()->count && !stop; ++i) {
    const Table::Slot& e = tableBlock()->entries()[i];
    Ref<Object> key(e.key), value(e.value);
    fn(key.get(), value.get(), stop);
    if (mutationCount() != m)
      throw GenericException("Collection was mutated while being enumerated.");
  }
}

std::vector<Ref<Object>> Dictionary::allKeys() const {
  std::vector<Ref<Object>> v;
  enumerate([&](Object* k, Object*, bool&) { v.emplace_back(k); });
  return v;
}

std::vector<Ref<Object>> Dictionary::allValues() const {
  std::vector<Ref<Object>> v;
  enumerate([&](Object*, Object* o, bool&) { v.emplace_back(o); });
  return v;
}

std::vector<Dictionary::Entry> Dictionary::entries() const {
  std::vector<Entry> v;
  enumerate([&](Object* k, Object* o, bool&) { v.emplace_back(k, o); });
  return v;
}

void Dictionary::storeEntry(Ref<Object> key, Ref<Object> value) {
  size_t h = key->hash();
  size_t i = findIndex(key.get(), h);
  if (i != kMissing) {
    Object*& slot = tableBlock()->entries()[i].value;
    Object* old = slot;
    slot = value.detach();
    ++mutations_;
    old->release();  // last: its destructor may look at this dictionary
    return;
  }
  // A mutable key changing under the table would corrupt it: keep a copy.
  Ref<Object> k = key->isMutable() ? key->copy() : std::move(key);
  reserveEntries(count() + 1);
  size_t at = tableBlock()->count;
  tableBlock()->entries()[at] = {k.detach(), value.detach(), h};
  tableBlock()->indexEntry(at);
  ++tableBlock()->count;
  ++mutations_;
}

bool Dictionary::eraseEntry(const Object* key) {
  size_t h = key->hash();
  size_t i = findIndex(key, h);
  if (i == kMissing) return false;
  Table::Slot* e = tableBlock()->entries();
  Table::Slot gone = e[i];
  std::memmove(static_cast<void*>(e + i), e + i + 1, (tableBlock()->count - i - 1) * sizeof(Table::Slot));
  --tableBlock()->count;
  tableBlock()->reindex();
  ++mutations_;
  // Released last: their destructors may look at this dictionary.
  gone.key->release();
  gone.value->release();
  return true;
}

void Dictionary::clearEntries() {
  std::vector<Table::Slot> gone;
  if (tableBlock()) {
    gone.assign(tableBlock()->entries(), tableBlock()->entries() + tableBlock()->count);
    tableBlock()->count = 0;
    tableBlock()->reindex();
  }
  ++mutations_;
  for (auto& e : gone) {
    e.key->release();
    e.value->release();
  }
}

bool Dictionary::isEqual(const Object* other) const noexcept {
  if (other == this) return true;
  auto* o = dynamic_cast<const Dictionary*>(other);
  if (!o || o->count() != count()) return false;
  bool same = true;
  enumerate([&](Object* k, Object* v, bool& stop) {
    if (!kit::isEqual(o->objectForKey(k), v)) same = false, stop = true;
  });
  return same;
}

std::string Dictionary::description() const {
  std::string s = "{\n";
  enumerate([&](Object* k, Object* v, bool&) {
    s += "    " + quoted(k) + " = " + indent(quoted(v)) + ";\n";
  });
  return s + "}";
}

Ref<Object> Dictionary::copy() const {
  if (!isMutable()) return Object::copy();
  return Ref<Object>(new Dictionary(entries()));
}

Ref<Object> Dictionary::mutableCopy() const { return Ref<Object>(new MutableDictionary(entries())); }

void MutableDictionary::setObject(Ref<Object> value, Ref<Object> key) {
  if (!key) throw InvalidArgumentException("setObject: key cannot be nil");
  if (!value) {
    removeObjectForKey(key.get());
    return;
  }
  storeEntry(std::move(key), std::move(value));
}

void MutableDictionary::removeObjectForKey(const Object* key) {
  if (key) eraseEntry(key);
}

void MutableDictionary::setObject(Ref<Object> value, std::string_view key) {
  setObject(std::move(value), Ref<Object>(str(std::string(key))));
}

void MutableDictionary::removeObjectForKey(std::string_view key) {
  Ref<String> k = str(std::string(key));
  removeObjectForKey(k.get());
}

void MutableDictionary::removeAllObjects() {
  for (auto& k : allKeys()) removeObjectForKey(k.get());
}

void MutableDictionary::addEntriesFromDictionary(const Dictionary& other) {
  for (auto& [k, v] : other.entries()) setObject(v, k);
}

}  // namespace kit
