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

size_t Dictionary::findIndex(const Object* key, size_t h) const {
  auto [lo, hi] = index_.equal_range(h);
  for (auto it = lo; it != hi; ++it)
    if (kit::isEqual(entries_[it->second].first.get(), key)) return it->second;
  return kMissing;
}

size_t Dictionary::findStringIndex(std::string_view key) const {
  auto [lo, hi] = index_.equal_range(String::hashBytes(key));
  for (auto it = lo; it != hi; ++it) {
    auto* s = dynamic_cast<const String*>(entries_[it->second].first.get());
    if (s && s->view() == key) return it->second;
  }
  return kMissing;
}

Object* Dictionary::objectForKey(const Object* key) const {
  if (!key) return nullptr;
  size_t i = findIndex(key, key->hash());
  return i == kMissing ? nullptr : entries_[i].second.get();
}

Object* Dictionary::objectForKey(std::string_view key) const {
  size_t i = findStringIndex(key);
  return i == kMissing ? nullptr : entries_[i].second.get();
}

void Dictionary::enumerate(const std::function<void(Object*, Object*, bool&)>& fn) const {
  unsigned long m = mutationCount();
  bool stop = false;
  for (size_t i = 0; i < entries_.size() && !stop; ++i) {
    Entry keep = entries_[i];
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
    entries_[i].second = std::move(value);
  } else {
    // A mutable key changing under the table would corrupt it: keep a copy.
    Ref<Object> k = key->isMutable() ? key->copy() : key;
    index_.emplace(h, entries_.size());
    entries_.emplace_back(std::move(k), std::move(value));
  }
  ++mutations_;
}

bool Dictionary::eraseEntry(const Object* key) {
  size_t h = key->hash();
  size_t i = findIndex(key, h);
  if (i == kMissing) return false;
  entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(i));
  index_.clear();
  for (size_t j = 0; j < entries_.size(); ++j) index_.emplace(entries_[j].first->hash(), j);
  ++mutations_;
  return true;
}

void Dictionary::clearEntries() {
  entries_.clear();
  index_.clear();
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
