#include "data/VeskPasscodeStore.h"

#include <cstdio>

#include "data/KeychainUtils.h"
#include "kit/foundation/String.h"
#include "kit/foundation/UserDefaults.h"
#include "kit/security/KeychainStatus.h"

namespace tolva {
namespace {

kit::UserDefaults& defaults() { return kit::UserDefaults::standardUserDefaults(); }

std::string describe(const kit::Error* e) { return e ? e->localizedDescription() : "unknown error"; }

// Moves a code found in the settings into the keychain; one already in the
// keychain wins. Answers the code to use when the move failed.
std::optional<std::string> moveOldPasscode() {
  if (!defaults().exists(VeskPasscodeStore::kOldSettingsKey)) return std::nullopt;
  std::string old = defaults().stringForKey(VeskPasscodeStore::kOldSettingsKey);
  kit::Ref<kit::Error> error;
  if (!old.empty() &&
      !KeychainUtils::storeUsername(std::string(VeskPasscodeStore::kAccount), old,
                                    std::string(VeskPasscodeStore::kService), false, &error)) {
    std::fprintf(stderr, "Tolva: the passcode could not be moved into the keychain (%s); it stays in the "
                 "settings for now\n", describe(error.get()).c_str());
    return old;
  }
  defaults().removeObjectForKey(VeskPasscodeStore::kOldSettingsKey);
  defaults().synchronize();
  return std::nullopt;
}

}  // namespace

std::optional<std::string> VeskPasscodeStore::passcode() {
  if (std::optional<std::string> unmoved = moveOldPasscode()) return unmoved;
  kit::Ref<kit::Error> error;
  std::optional<std::string> code =
      KeychainUtils::getPasswordForUsername(std::string(kAccount), std::string(kService), &error);
  if (!code && error)
    std::fprintf(stderr, "Tolva: the passcode could not be read from the keychain: %s\n", describe(error.get()).c_str());
  return code;
}

bool VeskPasscodeStore::isOn() {
  std::optional<std::string> code = passcode();
  return code && kit::String(*code).length() == 4;
}

bool VeskPasscodeStore::setPasscode(const std::string& code) {
  moveOldPasscode();
  kit::Ref<kit::Error> error;
  if (KeychainUtils::storeUsername(std::string(kAccount), code, std::string(kService), true, &error)) return true;
  std::fprintf(stderr, "Tolva: the passcode could not be kept in the keychain: %s\n", describe(error.get()).c_str());
  return false;
}

void VeskPasscodeStore::removePasscode() {
  if (defaults().exists(kOldSettingsKey)) {
    defaults().removeObjectForKey(kOldSettingsKey);
    defaults().synchronize();
  }
  kit::Ref<kit::Error> error;
  if (!KeychainUtils::deleteItemForUsername(std::string(kAccount), std::string(kService), &error) && error &&
      error->code() != kit::kKeychainItemNotFound)
    std::fprintf(stderr, "Tolva: the passcode could not be removed from the keychain: %s\n",
                 describe(error.get()).c_str());
}

}  // namespace tolva
