#pragma once
// What the saved-password tests share: a fresh data home and settings file,
// a memory keychain the test can make fail, and the store read anew.

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "data/VeskPagePasswordDatabase.h"
#include "kit/foundation/Dictionary.h"
#include "kit/foundation/String.h"
#include "kit/foundation/UserDefaults.h"
#include "kit/security/Keychain.h"
#include "kit/security/MemoryKeychainStore.h"
#include "support/TempHome.h"

namespace datatest {

class PasswordTest : public ::testing::Test {
 protected:
  void SetUp() override {
    home_ = std::make_unique<tolvatest::TempHome>();
    kit::UserDefaults::discardStandardUserDefaultsForTesting();
    keychainStore = std::make_shared<kit::MemoryKeychainStore>();
    kit::Keychain::installSharedStore(keychainStore);
    store()->resetForTesting();
  }
  void TearDown() override {
    store()->resetForTesting();
    kit::Keychain::installSharedStore(std::make_shared<kit::MemoryKeychainStore>());
    kit::UserDefaults::discardStandardUserDefaultsForTesting();
    home_.reset();
  }

  static tolva::VeskPagePasswordDatabase* store() { return tolva::VeskPagePasswordDatabase::sharedInstance(); }
  static kit::UserDefaults& defaults() { return kit::UserDefaults::standardUserDefaults(); }
  static kit::Keychain& keychain() { return kit::Keychain::shared(); }

  static kit::Ref<kit::Dictionary> form(std::initializer_list<std::pair<std::string_view, const char*>> kv) {
    kit::Ref<kit::MutableDictionary> d = kit::MutableDictionary::dictionary();
    for (const auto& [k, v] : kv) d->setObject(kit::str(v), k);
    return d;
  }
  // The password the keychain keeps for the site ("(none)" without an item, "(no data)" for one without).
  static std::string keychainPassword(const std::string& site) { return keychainPasswordOf(site, "veskweb"); }
  static std::string keychainPasswordOf(const std::string& account, const std::string& service) {
    for (const kit::KeychainItem& item : keychain().items())
      if (item.service == service && item.account == account)
        return item.data ? std::string(item.data->begin(), item.data->end()) : "(no data)";
    return "(none)";
  }
  // A field of the site's entry as user defaults hold it.
  static std::optional<std::string> storedField(const std::string& site, const std::string& key) {
    kit::Ref<kit::Dictionary> table = defaults().dictionaryForKey("passwords");
    auto* entry = table ? table->get<kit::Dictionary>(site) : nullptr;
    auto* v = entry ? entry->get<kit::String>(key) : nullptr;
    return v ? std::optional<std::string>(v->str()) : std::nullopt;
  }
  // The program ends and starts again: the settings file read back, the tables loaded anew.
  static void restart() {
    defaults().synchronize();
    kit::UserDefaults::resetStandardUserDefaults();
    store()->resetForTesting();
  }

  std::shared_ptr<kit::MemoryKeychainStore> keychainStore;

 private:
  std::unique_ptr<tolvatest::TempHome> home_;
};

}  // namespace datatest
