#include "kit/foundation/Dictionary.h"

#include <cctype>

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
  for (auto& [k, v] : entries) {
    if (!v) throw InvalidArgumentException("Dictionary: value for key " + std::string(k) + " is nil");
    storeEntry(str(std::string(k)), v);
  }
}

Dictionary::Dictionary(const std::vector<Entry>& entries) {
  for (auto& [k, v] : entries) {
    if (!k || !v) throw InvalidArgumentException("Dictionary: nil key or value");
    storeEntry(k, v);
  }
}

// Entries in insertion order with their keys' hashes; past a few entries an
// open-addressing index (entry position + 1, 0 for a free slot) finds them.
struct Dictionary::Table {
  static constexpr size_t kScanned = 8;  // up to this many entries a scan beats hashing

  std::vector<Entry> entries;
  std::vector<size_t> hashes;
  std::vector<size_t> slots;  // empty, or a power of two at least twice the entries

  static size_t home(size_t h, size_t mask) noexcept { return (h * 0x9e3779b97f4a7c15ULL >> 17) & mask; }

  void index(size_t i) noexcept {
    size_t mask = slots.size() - 1;
    size_t s = home(hashes[i], mask);
    while (slots[s]) s = (s + 1) & mask;
    slots[s] = i + 1;
  }
  void reindex() {
    slots.clear();
    if (entries.size() <= kScanned) return;
    size_t n = 16;
    while (n < 2 * entries.size()) n *= 2;
    slots.assign(n, 0);
    for (size_t i = 0; i < entries.size(); ++i) index(i);
  }
  void append(Ref<Object> key, Ref<Object> value, size_t h) {
    entries.emplace_back(std::move(key), std::move(value));
    hashes.push_back(h);
    if (entries.size() <= kScanned) return;
    if (slots.size() < 2 * entries.size())
      reindex();
    else
      index(entries.size() - 1);
  }
  template <class Match>
  size_t find(size_t h, Match&& match) const {
    if (slots.empty()) {
      for (size_t i = 0; i < hashes.size(); ++i)
        if (hashes[i] == h && match(entries[i].first.get())) return i;
      return kMissing;
    }
    size_t mask = slots.size() - 1;
    for (size_t s = home(h, mask);; s = (s + 1) & mask) {
      size_t v = slots[s];
      if (!v) return kMissing;
      if (hashes[v - 1] == h && match(entries[v - 1].first.get())) return v - 1;
    }
  }
};

Dictionary::~Dictionary() { delete table_; }

size_t Dictionary::count() const noexcept { return table_ ? table_->entries.size() : 0; }

size_t Dictionary::findIndex(const Object* key, size_t h) const {
  if (!table_) return kMissing;
  return table_->find(h, [&](const Object* k) { return kit::isEqual(k, key); });
}

size_t Dictionary::findStringIndex(std::string_view key) const {
  if (!table_) return kMissing;
  return table_->find(String::hashBytes(key), [&](const Object* k) {
    return k->kind() == Kind::String && static_cast<const String*>(k)->view() == key;
  });
}

Object* Dictionary::objectForKey(const Object* key) const {
  if (!key) return nullptr;
  size_t i = findIndex(key, key->hash());
  return i == kMissing ? nullptr : table_->entries[i].second.get();
}

Object* Dictionary::objectForKey(std::string_view key) const {
  size_t i = findStringIndex(key);
  return i == kMissing ? nullptr : table_->entries[i].second.get();
}

void Dictionary::enumerate(const std::function<void(Object*, Object*, bool&)>& fn) const {
  if (!table_) return;
  const std::vector<Entry>& entries = table_->entries;  // the table itself stays until the dictionary goes
  unsigned long m = mutationCount();
  bool stop = false;
  for (size_t i = 0; i < entries.size() && !stop; ++i) {
    Entry keep = entries[i];
    fn(keep.first.get(), keep.second.get(), stop);
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
    table_->entries[i].second = std::move(value);
  } else {
    // A mutable key changing under the table would corrupt it: keep a copy.
    Ref<Object> k = key->isMutable() ? key->copy() : key;
    if (!table_) table_ = new Table();
    table_->append(std::move(k), std::move(value), h);
  }
  ++mutations_;
}

bool Dictionary::eraseEntry(const Object* key) {
  size_t h = key->hash();
  size_t i = findIndex(key, h);
  if (i == kMissing) return false;
  Entry gone = std::move(table_->entries[i]);
  table_->entries.erase(table_->entries.begin() + static_cast<std::ptrdiff_t>(i));
  table_->hashes.erase(table_->hashes.begin() + static_cast<std::ptrdiff_t>(i));
  table_->reindex();
  ++mutations_;
  return true;  // `gone` is released last: its destructors may look at this dictionary
}

void Dictionary::clearEntries() {
  if (table_) {
    std::vector<Entry> gone;
    gone.swap(table_->entries);
    table_->hashes.clear();
    table_->slots.clear();
  }
  ++mutations_;
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
