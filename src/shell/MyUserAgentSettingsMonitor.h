#pragma once
// Keeps the chosen user-agent string current with the settings
// ("opt_user_agent_v2", else the default of the device idiom) and registers
// it as the user-defaults default "UserAgent", which the web views take as
// their user agent.
//
// user_agent() may be asked on any thread (the header override runs on
// loading threads); the string is read and replaced under a lock, and picked
// at construction, so asking never registers anything. An empty setting
// means the device default. A text
// holding a control character (CR, LF, NUL or any other below 0x20, or DEL)
// is never taken: it could not go into a header line.

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "kit/foundation/NotificationCenter.h"
#include "kit/foundation/Object.h"

namespace tolva {

class MyUserAgentSettingsMonitor : public kit::Object {
 public:
  static constexpr const char* kSettingKey = "opt_user_agent_v2";
  static constexpr const char* kRegisteredKey = "UserAgent";
  static constexpr const char* kTabletUserAgent =
      "Mozilla/5.0 (iPad; CPU OS 5_0 like Mac OS X) AppleWebKit/534.46 (KHTML, like Gecko) Version/5.1 Mobile/9A334";
  static constexpr const char* kPhoneUserAgent =
      "Mozilla/5.0 (iPhone; CPU iPhone OS 5_0 like Mac OS X) AppleWebKit/534.46 (KHTML, like Gecko) Version/5.1 "
      "Mobile/9A334 Safari/7534.48.3";

  // The one monitor: created on first call (reading the settings once) and
  // then re-reading them on every settings change and on becoming active.
  static MyUserAgentSettingsMonitor* sharedInstance();

  MyUserAgentSettingsMonitor();
  ~MyUserAgentSettingsMonitor() override;

  // The string in force; never empty.
  std::string user_agent();
  // Main thread. "" stands for the device default. A change (not the first
  // set) on a system whose version begins with "5." warns that open tabs may
  // keep the old one.
  void setUser_agent(const std::string& agent);
  void _settingsChanged();
  // Forgets the string in force and picks it again from the settings.
  void resetForTesting();

  // Whether a text may serve as a user agent (no control characters).
  static bool isUsableUserAgent(std::string_view text);
  // The agent of the device idiom.
  static std::string deviceDefault();

  std::string className() const override { return "MyUserAgentSettingsMonitor"; }

 private:
  // The first set: the stored setting when usable, else the device default.
  void pick();

  std::mutex mutex_;
  std::string user_agent_;
  std::vector<kit::NotificationCenter::Token> observers_;
};

}  // namespace tolva
