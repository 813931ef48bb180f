#include "kit/security/Keychain.h"

#include <cmath>
#include <string_view>

#include "kit/foundation/Array.h"
#include "kit/foundation/Data.h"
#include "kit/foundation/Dictionary.h"
#include "kit/foundation/Number.h"
#include "kit/foundation/String.h"
#include "kit/security/MemoryKeychainStore.h"

namespace kit {

namespace {

// What a dictionary call may contain besides the item attributes.
enum class Allow { Add, Search, Match, Changes };

struct Parsed {
  bool sawClass = false;
  std::optional<std::string> service, account, label;
  std::optional<std::vector<std::uint8_t>> data;
  bool returnData = false;
  bool returnAttributes = false;
  size_t limit = 1;
};

bool readString(Object* v, std::optional<std::string>* out) {
  auto* s = cast<String>(v);
  if (!s) return false;
  *out = s->str();
  return true;
}

bool readBool(Object* v, bool* out) {
  auto* n = cast<Number>(v);
  if (!n) return false;
  *out = n->boolValue();
  return true;
}

bool readLimit(Object* v, size_t* out) {
  if (auto* s = cast<String>(v)) {
    if (s->isEqualToString(Keychain::kMatchLimitOne)) {
      *out = 1;
      return true;
    }
    if (s->isEqualToString(Keychain::kMatchLimitAll)) {
      *out = KeychainQuery::kAll;
      return true;
    }
    return false;
  }
  auto* n = cast<Number>(v);
  if (!n || n->isBool()) return false;
  double d = n->doubleValue();
  if (!(d >= 1) || d != std::floor(d)) return false;
  *out = d >= 1e18 ? KeychainQuery::kAll : static_cast<size_t>(d);
  return true;
}

// Checks every key and value; unknown keys and values of the wrong kind are
// refused so a misspelt query can never match (or delete) more than meant.
KeychainStatus parse(const Dictionary* d, Allow allow, Parsed* p) {
  if (!d) return kKeychainBadParameter;
  bool ok = true;
  d->enumerate([&](Object* keyObject, Object* value, bool& stop) {
    auto* keyString = cast<String>(keyObject);
    std::string_view key = keyString ? keyString->view() : std::string_view();
    bool searching = allow == Allow::Search;
    if (key == Keychain::kClass && allow != Allow::Changes) {
      auto* s = cast<String>(value);
      ok = s && s->isEqualToString(Keychain::kClassGenericPassword);
      p->sawClass = true;
    } else if (key == Keychain::kAttrService) {
      ok = readString(value, &p->service);
    } else if (key == Keychain::kAttrAccount) {
      ok = readString(value, &p->account);
    } else if (key == Keychain::kAttrLabel) {
      ok = readString(value, &p->label);
    } else if (key == Keychain::kValueData && (allow == Allow::Add || allow == Allow::Changes)) {
      auto* data = cast<Data>(value);
      ok = data != nullptr;
      if (ok) p->data.emplace(data->bytes(), data->bytes() + data->length());
    } else if (key == Keychain::kReturnData && (searching || allow == Allow::Add)) {
      ok = readBool(value, &p->returnData);
    } else if (key == Keychain::kReturnAttributes && (searching || allow == Allow::Add)) {
      ok = readBool(value, &p->returnAttributes);
    } else if (key == Keychain::kMatchLimit && searching) {
      ok = readLimit(value, &p->limit);
    } else {
      ok = false;
    }
    if (!ok) stop = true;
  });
  if (!ok) return kKeychainBadParameter;
  if (allow != Allow::Changes && !p->sawClass) return kKeychainBadParameter;
  return kKeychainSuccess;
}

KeychainQuery queryOf(const Parsed& p) {
  KeychainQuery q;
  q.service = p.service;
  q.account = p.account;
  q.label = p.label;
  q.limit = p.limit;
  return q;
}

Ref<Object> dataObject(const std::vector<std::uint8_t>& bytes) { return make<Data>(bytes); }

// One item as the caller asked for it; null when there is nothing to return.
Ref<Object> resultFor(const KeychainItem& item, bool returnData, bool returnAttributes) {
  if (!returnAttributes) {
    if (!returnData || !item.data) return nullptr;
    return dataObject(*item.data);
  }
  std::vector<Dictionary::Entry> entries;
  entries.emplace_back(str(Keychain::kClass), str(Keychain::kClassGenericPassword));
  entries.emplace_back(str(Keychain::kAttrService), str(item.service));
  entries.emplace_back(str(Keychain::kAttrAccount), str(item.account));
  if (item.label) entries.emplace_back(str(Keychain::kAttrLabel), str(*item.label));
  if (returnData && item.data) entries.emplace_back(str(Keychain::kValueData), dataObject(*item.data));
  return make<Dictionary>(entries);
}

Ref<Object> resultFor(const std::vector<KeychainItem>& found, size_t limit, bool returnData,
                      bool returnAttributes) {
  if (!returnData && !returnAttributes) return nullptr;
  if (limit == 1) return found.empty() ? nullptr : resultFor(found.front(), returnData, returnAttributes);
  auto list = MutableArray::array();
  for (const KeychainItem& item : found)
    if (Ref<Object> r = resultFor(item, returnData, returnAttributes)) list->addObject(r);
  return list->copy();
}

bool storable(const std::optional<std::string>& text) {
  return !text || Keychain::isStorableText(*text);
}

bool hasDuplicateIdentity(const std::vector<KeychainItem>& items) {
  for (size_t i = 0; i < items.size(); ++i)
    for (size_t j = i + 1; j < items.size(); ++j)
      if (items[i].sameIdentity(items[j])) return true;
  return false;
}

}  // namespace

Keychain::Keychain(std::shared_ptr<KeychainStore> store) { setStore(std::move(store)); }

Keychain& Keychain::shared() {
  static Keychain keychain(std::make_shared<MemoryKeychainStore>());
  return keychain;
}

void Keychain::installSharedStore(std::shared_ptr<KeychainStore> store) { shared().setStore(std::move(store)); }

void Keychain::setStore(std::shared_ptr<KeychainStore> store) {
  if (!store) store = std::make_shared<MemoryKeychainStore>();
  std::vector<KeychainItem> loaded = store->load();
  std::lock_guard<std::mutex> g(mutex_);
  store_ = std::move(store);
  items_ = std::move(loaded);
}

std::shared_ptr<KeychainStore> Keychain::store() const {
  std::lock_guard<std::mutex> g(mutex_);
  return store_;
}

std::vector<KeychainItem> Keychain::items() const {
  std::lock_guard<std::mutex> g(mutex_);
  return items_;
}

KeychainStatus Keychain::commit(std::vector<KeychainItem> next) {
  KeychainStatus status = store_->save(next);
  if (status == kKeychainSuccess) items_ = std::move(next);
  return status;
}

bool Keychain::isStorableText(std::string_view text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* end = p + text.size();
  while (p < end) {
    unsigned char c = *p;
    if (c < 0x80) {
      if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') return false;
      ++p;
      continue;
    }
    int extra;
    char32_t cp;
    if ((c & 0xe0) == 0xc0) {
      extra = 1;
      cp = c & 0x1f;
    } else if ((c & 0xf0) == 0xe0) {
      extra = 2;
      cp = c & 0x0f;
    } else if ((c & 0xf8) == 0xf0) {
      extra = 3;
      cp = c & 0x07;
    } else {
      return false;
    }
    if (end - p <= extra) return false;
    for (int i = 1; i <= extra; ++i) {
      if ((p[i] & 0xc0) != 0x80) return false;
      cp = (cp << 6) | (p[i] & 0x3f);
    }
    static constexpr char32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMinimum[extra] || cp > 0x10ffff || (cp >= 0xd800 && cp <= 0xdfff) || cp == 0xfffe ||
        cp == 0xffff)
      return false;
    p += extra + 1;
  }
  return true;
}

// --- Typed interface ---

KeychainStatus Keychain::add(const KeychainItem& item) {
  if (!isStorableText(item.service) || !isStorableText(item.account) || !storable(item.label))
    return kKeychainBadParameter;
  std::lock_guard<std::mutex> g(mutex_);
  for (const KeychainItem& existing : items_)
    if (existing.sameIdentity(item)) return kKeychainDuplicateItem;
  std::vector<KeychainItem> next = items_;
  next.push_back(item);
  return commit(std::move(next));
}

KeychainStatus Keychain::copyMatching(const KeychainQuery& query, std::vector<KeychainItem>* out) {
  if (query.limit == 0) return kKeychainBadParameter;
  std::vector<KeychainItem> found;
  {
    std::lock_guard<std::mutex> g(mutex_);
    for (const KeychainItem& item : items_) {
      if (found.size() >= query.limit) break;
      if (query.matches(item)) found.push_back(item);
    }
  }
  if (found.empty()) return kKeychainItemNotFound;
  if (out) *out = std::move(found);
  return kKeychainSuccess;
}

KeychainStatus Keychain::update(const KeychainQuery& query, const KeychainChanges& changes) {
  if (changes.empty() || !storable(changes.service) || !storable(changes.account) ||
      !storable(changes.label))
    return kKeychainBadParameter;
  std::lock_guard<std::mutex> g(mutex_);
  std::vector<KeychainItem> next = items_;
  bool matched = false;
  for (KeychainItem& item : next) {
    if (!query.matches(item)) continue;
    changes.applyTo(item);
    matched = true;
  }
  if (!matched) return kKeychainItemNotFound;
  if (hasDuplicateIdentity(next)) return kKeychainDuplicateItem;
  return commit(std::move(next));
}

KeychainStatus Keychain::remove(const KeychainQuery& query) {
  std::lock_guard<std::mutex> g(mutex_);
  std::vector<KeychainItem> next;
  for (const KeychainItem& item : items_)
    if (!query.matches(item)) next.push_back(item);
  if (next.size() == items_.size()) return kKeychainItemNotFound;
  return commit(std::move(next));
}

// --- Dictionary interface ---

KeychainStatus Keychain::add(const Dictionary* attributes, Ref<Object>* result) {
  if (result) *result = nullptr;
  Parsed p;
  if (KeychainStatus s = parse(attributes, Allow::Add, &p)) return s;
  KeychainItem item;
  item.service = p.service.value_or("");
  item.account = p.account.value_or("");
  item.label = p.label;
  item.data = p.data;
  KeychainStatus status = add(item);
  if (status == kKeychainSuccess && result) *result = resultFor(item, p.returnData, p.returnAttributes);
  return status;
}

KeychainStatus Keychain::copyMatching(const Dictionary* query, Ref<Object>* result) {
  if (result) *result = nullptr;
  Parsed p;
  if (KeychainStatus s = parse(query, Allow::Search, &p)) return s;
  std::vector<KeychainItem> found;
  KeychainStatus status = copyMatching(queryOf(p), &found);
  if (status == kKeychainSuccess && result) *result = resultFor(found, p.limit, p.returnData, p.returnAttributes);
  return status;
}

KeychainStatus Keychain::update(const Dictionary* query, const Dictionary* attributesToUpdate) {
  Parsed q;
  if (KeychainStatus s = parse(query, Allow::Match, &q)) return s;
  Parsed c;
  if (KeychainStatus s = parse(attributesToUpdate, Allow::Changes, &c)) return s;
  KeychainChanges changes;
  changes.service = c.service;
  changes.account = c.account;
  changes.label = c.label;
  changes.data = c.data;
  return update(queryOf(q), changes);
}

KeychainStatus Keychain::remove(const Dictionary* query) {
  Parsed p;
  if (KeychainStatus s = parse(query, Allow::Match, &p)) return s;
  return remove(queryOf(p));
}

}  // namespace kit
