#include "shell/MyUserAgentSettingsMonitor.h"

#include "common/LocalizedText.h"
#include "kit/foundation/Dictionary.h"
#include "kit/foundation/String.h"
#include "kit/foundation/UserDefaults.h"
#include "kit/ui/AlertView.h"
#include "kit/ui/Application.h"
#include "kit/ui/Device.h"
#include "settings/PrefSettingsNotification.h"

namespace tolva {

MyUserAgentSettingsMonitor* MyUserAgentSettingsMonitor::sharedInstance() {
  static MyUserAgentSettingsMonitor* instance = [] {
    auto* m = new MyUserAgentSettingsMonitor();
    m->retain();  // kept for the life of the process
    return m;
  }();
  return instance;
}

MyUserAgentSettingsMonitor::MyUserAgentSettingsMonitor() {
  pick();  // here, on the main thread, before any loading thread asks
  auto& center = kit::NotificationCenter::defaultCenter();
  auto reread = [this](const kit::Notification&) { _settingsChanged(); };
  observers_.push_back(center.addObserver(kAppSettingChanged, nullptr, reread));
  observers_.push_back(center.addObserver(kit::Application::kDidBecomeActiveNotification, nullptr, reread));
}

MyUserAgentSettingsMonitor::~MyUserAgentSettingsMonitor() = default;

bool MyUserAgentSettingsMonitor::isUsableUserAgent(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return false;
  return true;
}

std::string MyUserAgentSettingsMonitor::deviceDefault() {
  return kit::Device::currentDevice().isPad() ? kTabletUserAgent : kPhoneUserAgent;
}

void MyUserAgentSettingsMonitor::pick() {
  kit::UserDefaults::resetStandardUserDefaults();
  kit::UserDefaults& defaults = kit::UserDefaults::standardUserDefaults();
  std::string chosen = defaults.exists(kSettingKey) ? defaults.stringForKey(kSettingKey) : std::string();
  if (!isUsableUserAgent(chosen)) chosen.clear();
  setUser_agent(chosen);
}

// Held from construction on: answering never picks or registers anything, so
// the override on a loading thread only reads.
std::string MyUserAgentSettingsMonitor::user_agent() {
  std::lock_guard<std::mutex> g(mutex_);
  return user_agent_;
}

// An empty agent stands for the device default: the held string and the
// registered "UserAgent" are never empty, or new web views would fall back
// to the engine's own agent.
void MyUserAgentSettingsMonitor::setUser_agent(const std::string& given) {
  if (!isUsableUserAgent(given)) return;
  const std::string agent = given.empty() ? deviceDefault() : given;
  bool change;
  {
    std::lock_guard<std::mutex> g(mutex_);
    change = !user_agent_.empty();
  }
  if (change && kit::Device::currentDevice().systemVersion().rfind("5.", 0) == 0) {
    kit::Ref<kit::AlertView> alert(new kit::AlertView(
        "",
        LocalizedText::localized("From iOS 5.0, changing user agent only works for the newly created tab. Existing "
                                 "tabs might not take effect."),
        nullptr, LocalizedText::localized("OK")));
    alert->show();
  }
  {
    std::lock_guard<std::mutex> g(mutex_);
    user_agent_ = agent;
  }
  kit::Ref<kit::Dictionary> registered(new kit::Dictionary{{kRegisteredKey, kit::str(agent)}});
  kit::UserDefaults::standardUserDefaults().registerDefaults(registered.get());
}

void MyUserAgentSettingsMonitor::_settingsChanged() {
  kit::UserDefaults::resetStandardUserDefaults();
  kit::UserDefaults& defaults = kit::UserDefaults::standardUserDefaults();
  if (!defaults.exists(kSettingKey)) return;
  std::string chosen = defaults.stringForKey(kSettingKey);
  if (chosen.empty()) chosen = deviceDefault();
  if (chosen != user_agent()) setUser_agent(chosen);
}

}  // namespace tolva

namespace tolva {

void MyUserAgentSettingsMonitor::resetForTesting() {
  {
    std::lock_guard<std::mutex> g(mutex_);
    user_agent_.clear();
  }
  pick();
}

}  // namespace tolva
