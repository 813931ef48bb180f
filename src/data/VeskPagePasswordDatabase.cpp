#include "data/VeskPagePasswordDatabase.h"

#include <algorithm>
#include <cstdio>

#include "data/KeychainUtils.h"
#include "kit/foundation/Number.h"
#include "kit/foundation/String.h"
#include "kit/foundation/UserDefaults.h"
#include "kit/security/KeychainStatus.h"
#include "kit/ui/Application.h"
#include "settings/PrefSettingsNotification.h"

namespace tolva {
namespace {

// Whether the browser offers to save logins; shared by every store.
bool gOptSavePassword = true;

kit::UserDefaults& defaults() { return kit::UserDefaults::standardUserDefaults(); }

// The keychain's reason, never the password.
void report(const char* what, const std::string& site, const kit::Error* error) {
  long code = error ? error->code() : 0;
  std::string why = code == KeychainUtils::kMissingArgument ? "the form has no password field"
                    : code == KeychainUtils::kNoPasswordData
                        ? "the keychain item holds no password"
                        : kit::keychainStatusDescription(static_cast<kit::KeychainStatus>(code));
  std::fprintf(stderr, "Tolva: %s for %s failed: %s (%ld)\n", what, site.c_str(), why.c_str(), code);
}

}  // namespace

VeskPagePasswordDatabase* VeskPagePasswordDatabase::sharedInstance() {
  static VeskPagePasswordDatabase* instance = [] {
    auto* store = new VeskPagePasswordDatabase();
    store->retain();  // kept for the life of the process
    return store;
  }();
  return instance;
}

VeskPagePasswordDatabase::VeskPagePasswordDatabase() {
  auto& center = kit::NotificationCenter::defaultCenter();
  auto reread = [this](const kit::Notification&) { _settingsChanged(); };
  observers_.push_back(center.addObserver(kAppSettingChanged, nullptr, reread));
  observers_.push_back(center.addObserver(kit::Application::kDidBecomeActiveNotification, nullptr, reread));
}

VeskPagePasswordDatabase::~VeskPagePasswordDatabase() { observers_.clear(); }

bool VeskPagePasswordDatabase::opt_save_password() const { return gOptSavePassword; }

void VeskPagePasswordDatabase::_settingsChanged() {
  kit::UserDefaults::resetStandardUserDefaults();
  if (defaults().exists("opt_save_password")) gOptSavePassword = defaults().boolForKey("opt_save_password");
}

// ---- Tables

kit::Ref<kit::MutableDictionary> VeskPagePasswordDatabase::loadTable(const char* key, bool resetShownQuestions) {
  kit::Ref<kit::MutableDictionary> table = kit::MutableDictionary::dictionary();
  kit::Ref<kit::Dictionary> stored = defaults().dictionaryForKey(key);
  if (!stored) {
    defaults().setDictionary(table.get(), key);
    return table;
  }
  stored->enumerate([&](kit::Object* k, kit::Object* value, bool&) {
    // Mutable containers; leaves are kept as they are.
    kit::Ref<kit::Object> copy(value);
    if (kit::cast<kit::Dictionary>(value) || kit::cast<kit::Array>(value)) copy = value->mutableCopy();
    // A question left unanswered by an earlier run counts as not asked.
    if (resetShownQuestions) {
      auto* n = kit::cast<kit::Number>(value);
      if (n && n->integerValue() == kPagePasswordQuestionShown) copy = kit::Number::numberWithInteger(kPagePasswordAsk);
    }
    table->setObject(copy, kit::Ref<kit::Object>(k));
  });
  return table;
}

kit::MutableDictionary* VeskPagePasswordDatabase::db() {
  std::lock_guard<std::mutex> g(loadLock_);
  if (!db_) db_ = loadTable(kPasswordsKey, false);
  return db_.get();
}

kit::MutableDictionary* VeskPagePasswordDatabase::status_db() {
  std::lock_guard<std::mutex> g(loadLock_);
  if (!status_db_) status_db_ = loadTable(kStatusKey, true);
  return status_db_.get();
}

void VeskPagePasswordDatabase::setDb(kit::MutableDictionary* table) {
  std::lock_guard<std::mutex> g(loadLock_);
  db_ = table;
}

void VeskPagePasswordDatabase::setStatus_db(kit::MutableDictionary* table) {
  std::lock_guard<std::mutex> g(loadLock_);
  status_db_ = table;
}

void VeskPagePasswordDatabase::storeStatus() { defaults().setDictionary(status_db(), kStatusKey); }

void VeskPagePasswordDatabase::storeEntries() { defaults().setDictionary(db(), kPasswordsKey); }

size_t VeskPagePasswordDatabase::count() { return db()->count(); }

// ---- Save options

int VeskPagePasswordDatabase::getSaveOption(const std::string& site) {
  if (site.empty()) return kPagePasswordAsk;
  auto* n = status_db()->get<kit::Number>(site);
  return n ? static_cast<int>(n->integerValue()) : kPagePasswordAsk;
}

void VeskPagePasswordDatabase::setSaveOption(const std::string& site, int option) {
  if (site.empty()) return;
  status_db()->setObject(kit::Number::numberWithInteger(option), site);
  storeStatus();
}

kit::Ref<kit::Array> VeskPagePasswordDatabase::retrieveNeverAskURLs() {
  kit::Ref<kit::MutableArray> sites = kit::MutableArray::array();
  status_db()->enumerate([&](kit::Object* key, kit::Object* value, bool&) {
    auto* n = kit::cast<kit::Number>(value);
    if (n && n->integerValue() == kPagePasswordNeverAsk) sites->addObject(kit::Ref<kit::Object>(key));
  });
  if (sites->count() == 0) return nullptr;
  return sites;
}

// ---- Entries

void VeskPagePasswordDatabase::updatePassword(const std::string& passwordKey, const kit::Dictionary* fields,
                                              const std::string& site,
                                              const std::vector<std::string>& otherPasswordKeys) {
  if (site.empty() || !fields) return;
  std::optional<std::string> password;
  if (auto* value = fields->get<kit::String>(passwordKey)) password = value->str();

  kit::Ref<kit::Error> error;
  if (!KeychainUtils::storeUsername(site, password, std::string(kKeychainService), true, &error)) {
    report("Saving the password", site, error.get());
    return;
  }
  kit::Ref<kit::MutableDictionary> entry = kit::MutableDictionary::dictionary();
  entry->addEntriesFromDictionary(*fields);
  entry->removeObjectForKey(passwordKey);
  for (const std::string& key : otherPasswordKeys) entry->removeObjectForKey(key);
  entry->setObject(kit::str(passwordKey), kPasswordKeyField);
  db()->setObject(entry, site);
  storeEntries();
}

std::optional<std::string> VeskPagePasswordDatabase::retrieveIDCandidateFromSavedPassword(const std::string& site) {
  if (site.empty()) return std::nullopt;
  auto* entry = db()->get<kit::Dictionary>(site);
  if (!entry) return std::nullopt;
  std::optional<std::string> found;
  entry->enumerate([&](kit::Object* key, kit::Object* value, bool& stop) {
    auto* k = kit::cast<kit::String>(key);
    auto* v = kit::cast<kit::String>(value);
    if (!k || !v || k->str() == kPasswordKeyField) return;
    found = v->str();
    stop = true;
  });
  return found;
}

std::optional<std::string> VeskPagePasswordDatabase::retrieveURLByIndex(size_t index) {
  kit::MutableDictionary* table = db();
  if (index >= table->count()) return std::nullopt;
  std::vector<kit::Ref<kit::Object>> keys = table->allKeys();
  auto* key = kit::cast<kit::String>(keys[index]);
  return key ? std::optional<std::string>(key->str()) : std::nullopt;
}

kit::Ref<kit::MutableDictionary> VeskPagePasswordDatabase::retrieveByURL(const std::string& site) {
  if (site.empty()) return nullptr;
  auto* entry = db()->get<kit::Dictionary>(site);
  if (!entry) return nullptr;
  kit::Ref<kit::MutableDictionary> fields = kit::MutableDictionary::dictionary();
  fields->addEntriesFromDictionary(*entry);
  auto* key = entry->get<kit::String>(kPasswordKeyField);
  if (key && !key->empty()) {
    if (std::optional<std::string> password =
            KeychainUtils::getPasswordForUsername(site, std::string(kKeychainService)))
      fields->setObject(kit::str(*password), key->str());
  }
  fields->removeObjectForKey(kPasswordKeyField);
  return fields;
}

void VeskPagePasswordDatabase::deleteAllPasswords() {
  // Walk a copy: each delete changes the table.
  for (const kit::Ref<kit::Object>& key : db()->allKeys())
    if (auto* site = kit::cast<kit::String>(key)) deleteByURL(site->str());
}

void VeskPagePasswordDatabase::deleteByURL(const std::string& site) {
  if (site.empty() || !db()->objectForKey(site)) return;
  kit::Ref<kit::Error> error;
  if (!KeychainUtils::deleteItemForUsername(site, std::string(kKeychainService), &error) &&
      !(error && error->code() == kit::kKeychainItemNotFound)) {
    report("Deleting the password", site, error.get());
    return;
  }
  status_db()->removeObjectForKey(site);
  db()->removeObjectForKey(site);
  storeStatus();
  storeEntries();
}

// ---- Tests

void VeskPagePasswordDatabase::setOptSavePasswordForTesting(bool on) { gOptSavePassword = on; }

void VeskPagePasswordDatabase::resetForTesting() {
  gOptSavePassword = true;
  setDb(nullptr);
  setStatus_db(nullptr);
}

}  // namespace tolva
