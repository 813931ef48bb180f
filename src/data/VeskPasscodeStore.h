#pragma once
// Where the passcode lock's code is kept: the keychain, beside every other
// secret, so a copy of the settings file neither shows the PIN nor can
// remove the lock. A code an earlier version left in the settings under
// "passcode_value" is moved into the keychain at the first read and removed
// from the settings file; when the keychain cannot take it, it stays where
// it was and still locks.

#include <optional>
#include <string>

namespace tolva {

class VeskPasscodeStore {
 public:
  static constexpr const char* kService = "Tolva Passcode Lock";
  static constexpr const char* kAccount = "passcode";
  static constexpr const char* kOldSettingsKey = "passcode_value";

  // The stored code, or none.
  static std::optional<std::string> passcode();
  // The lock is on exactly when the stored code has four characters.
  static bool isOn();
  // False (with a message) when the keychain could not keep it.
  static bool setPasscode(const std::string& code);
  static void removePasscode();
};

}  // namespace tolva
