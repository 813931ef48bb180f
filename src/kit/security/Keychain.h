#pragma once
// The keychain of generic-password items. Two interfaces over the same items:
//  - dictionary calls shaped like the platform's item calls (attributes and
//    queries as kit dictionaries keyed by the constants below, results as kit
//    objects), for the wrappers that build query dictionaries;
//  - typed calls on KeychainItem / KeychainQuery / KeychainChanges.
// Every call answers a KeychainStatus. Items live in memory; every change is
// handed to the store first and takes effect only when the store kept it.
// Thread-safe.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

#include "kit/foundation/Object.h"
#include "kit/security/KeychainChanges.h"
#include "kit/security/KeychainItem.h"
#include "kit/security/KeychainQuery.h"
#include "kit/security/KeychainStatus.h"
#include "kit/security/KeychainStore.h"

namespace kit {

class Dictionary;

class Keychain {
 public:
  // Dictionary keys and values.
  static constexpr const char* kClass = "class";                    // String, required
  static constexpr const char* kClassGenericPassword = "genp";      // the only class
  static constexpr const char* kAttrService = "service";            // String
  static constexpr const char* kAttrAccount = "account";            // String
  static constexpr const char* kAttrLabel = "label";                // String
  static constexpr const char* kValueData = "valueData";            // Data
  static constexpr const char* kReturnData = "returnData";          // Number (bool)
  static constexpr const char* kReturnAttributes = "returnAttributes";  // Number (bool)
  // String kMatchLimitOne (the default) or kMatchLimitAll, or a positive Number.
  static constexpr const char* kMatchLimit = "matchLimit";
  static constexpr const char* kMatchLimitOne = "matchLimitOne";
  static constexpr const char* kMatchLimitAll = "matchLimitAll";

  explicit Keychain(std::shared_ptr<KeychainStore> store);
  Keychain(const Keychain&) = delete;
  Keychain& operator=(const Keychain&) = delete;

  // The process's keychain. It starts on a memory store; the program installs
  // its file store at start, tests install a fresh memory store.
  static Keychain& shared();
  static void installSharedStore(std::shared_ptr<KeychainStore> store);

  // Switches to another store and loads its items.
  void setStore(std::shared_ptr<KeychainStore> store);
  std::shared_ptr<KeychainStore> store() const;

  // --- Dictionary interface ---
  // Adds an item: kClass, service, account, label, kValueData. An item with the
  // same service and account gives kKeychainDuplicateItem. With kReturnData /
  // kReturnAttributes and a result pointer, the new item is returned as by copyMatching.
  KeychainStatus add(const Dictionary* attributes, Ref<Object>* result = nullptr);
  // Finds items by kClass and any of service, account, label. The result is,
  // per item, a Dictionary of attributes (with kValueData too when data is also
  // asked for and present) or, for data alone, the Data; an Array of those for
  // more than one allowed match. Data alone of an item that has none is null
  // with kKeychainSuccess (one match) or leaves the item out (several).
  // Without kReturnData/kReturnAttributes the result is null.
  KeychainStatus copyMatching(const Dictionary* query, Ref<Object>* result);
  // Changes every matching item to the given attributes (service, account,
  // label, kValueData). A change that would make two items share service and
  // account gives kKeychainDuplicateItem and changes nothing.
  KeychainStatus update(const Dictionary* query, const Dictionary* attributesToUpdate);
  // Deletes every matching item.
  KeychainStatus remove(const Dictionary* query);

  // --- Typed interface ---
  KeychainStatus add(const KeychainItem& item);
  // Matches in the order they were added, at most query.limit of them.
  KeychainStatus copyMatching(const KeychainQuery& query, std::vector<KeychainItem>* out);
  KeychainStatus update(const KeychainQuery& query, const KeychainChanges& changes);
  KeychainStatus remove(const KeychainQuery& query);

  // Whether text can be kept as a service, account or label: valid UTF-8
  // without control characters other than tab, LF and CR (what a property
  // list can hold). Other text is refused with kKeychainBadParameter.
  static bool isStorableText(std::string_view text);

  // All items, in the order they were added.
  std::vector<KeychainItem> items() const;

 private:
  KeychainStatus commit(std::vector<KeychainItem> next);

  mutable std::mutex mutex_;
  std::shared_ptr<KeychainStore> store_;
  std::vector<KeychainItem> items_;
};

}  // namespace kit
