#pragma once
// The saved logins of web pages, per site (the host of the page). The form's
// fields other than its passwords are kept in user defaults under
// "passwords", with "password_key" naming the password field; the password
// itself is kept only in the keychain (service "veskweb", account = the
// site). The answers to the save question are kept under "passwords_status".
// Each table is read at its first use and written back on every change.
// A site key that is empty (a page without a host) has no entry and option
// 0, and nothing is written for it. Main thread, apart from the first load.

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "kit/foundation/Array.h"
#include "kit/foundation/Dictionary.h"
#include "kit/foundation/NotificationCenter.h"
#include "kit/foundation/Object.h"
#include "data/PagePasswordSaveOption.h"

namespace tolva {

class VeskPagePasswordDatabase : public kit::Object {
 public:
  static constexpr const char* kPasswordsKey = "passwords";
  static constexpr const char* kStatusKey = "passwords_status";
  static constexpr const char* kPasswordKeyField = "password_key";
  static constexpr const char* kKeychainService = "veskweb";

  static VeskPagePasswordDatabase* sharedInstance();
  ~VeskPagePasswordDatabase() override;

  // Whether the browser offers to save logins ("opt_save_password", on when never set).
  bool opt_save_password() const;
  void _settingsChanged();

  size_t count();
  // The tables, read on first use.
  kit::MutableDictionary* db();
  kit::MutableDictionary* status_db();
  void setDb(kit::MutableDictionary* table);
  void setStatus_db(kit::MutableDictionary* table);

  int getSaveOption(const std::string& site);
  void setSaveOption(const std::string& site, int option);

  // Saves the login of `fields` for the site: the value of `passwordKey` goes
  // to the keychain, the other fields to the table. `otherPasswordKeys` names
  // the form's other password inputs, which are kept nowhere. When the
  // keychain refuses the password, the site's entry stays as it was.
  void updatePassword(const std::string& passwordKey, const kit::Dictionary* fields, const std::string& site,
                      const std::vector<std::string>& otherPasswordKeys = {});
  // The sites whose option is "never ask"; null when there are none.
  kit::Ref<kit::Array> retrieveNeverAskURLs();
  // A saved field other than "password_key" (the user name of a plain login form).
  std::optional<std::string> retrieveIDCandidateFromSavedPassword(const std::string& site);
  // The site at that position of the entry table; none past its end.
  std::optional<std::string> retrieveURLByIndex(size_t index);
  // The saved fields with the password back under its field name, for
  // refilling; null when the site has no entry.
  kit::Ref<kit::MutableDictionary> retrieveByURL(const std::string& site);
  void deleteAllPasswords();
  // Removes the site's entry, option and keychain item. A site without an
  // entry keeps its option; an item the keychain cannot delete keeps the entry.
  void deleteByURL(const std::string& site);

  // Tests: offering on, and both tables read again from user defaults at their next use.
  void setOptSavePasswordForTesting(bool on);
  void resetForTesting();

  std::string className() const override { return "VeskPagePasswordDatabase"; }

 private:
  VeskPagePasswordDatabase();
  // A table read from user defaults, or a new empty one stored at once.
  static kit::Ref<kit::MutableDictionary> loadTable(const char* key, bool resetShownQuestions);
  void storeStatus();
  void storeEntries();

  std::mutex loadLock_;
  kit::Ref<kit::MutableDictionary> db_;
  kit::Ref<kit::MutableDictionary> status_db_;
  std::vector<kit::NotificationCenter::Token> observers_;
};

}  // namespace tolva
