#pragma once
// Stand-in for the saved-password store: entries per site kept in memory
// for the life of the process. The real store (user defaults for the form
// fields, the keychain for the password) replaces it.

#include <map>
#include <string>

#include "kit/foundation/Dictionary.h"
#include "kit/foundation/Object.h"

namespace tolva {

class VeskPagePasswordDatabase : public kit::Object {
 public:
  static VeskPagePasswordDatabase* sharedInstance();

  bool opt_save_password() const { return true; }
  size_t count() const { return entries_.size(); }
  // Stores `fields` for `site`; `passwordKey` names the password field.
  void updatePassword(const std::string& passwordKey, const kit::Dictionary* fields, const std::string& site);
  // A copy of the site's fields, or null when it has none.
  kit::Ref<kit::MutableDictionary> retrieveByURL(const std::string& site) const;
  void deleteAllPasswords();

  std::string className() const override { return "VeskPagePasswordDatabase"; }

 private:
  VeskPagePasswordDatabase() = default;
  std::map<std::string, kit::Ref<kit::Dictionary>> entries_;
};

}  // namespace tolva
