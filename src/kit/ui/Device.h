#pragma once
// The device the program runs as: its interface idiom (tablet by default,
// phone when chosen at start), system version and model. Process-wide.

#include <string>

namespace kit {

enum class UserInterfaceIdiom : int {
  Phone = 0,
  Pad = 1,
};

class Device {
 public:
  static Device& currentDevice();

  UserInterfaceIdiom userInterfaceIdiom() const;
  // Chosen once at start (`--phone`) or by tests; changes the main screen's size.
  void setUserInterfaceIdiom(UserInterfaceIdiom idiom);
  bool isPad() const { return userInterfaceIdiom() == UserInterfaceIdiom::Pad; }

  std::string systemName() const { return "Tolva"; }
  std::string systemVersion() const;
  void setSystemVersion(std::string v);
  std::string model() const;
  bool isMultitaskingSupported() const { return true; }

 private:
  Device() = default;
};

}  // namespace kit
