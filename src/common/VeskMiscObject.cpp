#include "common/VeskMiscObject.h"

#include "kit/foundation/Bundle.h"
#include "kit/foundation/UserDefaults.h"
#include "kit/ui/Application.h"
#include "settings/PrefSettingsNotification.h"

namespace tolva {
namespace {

// One cached setting: a bool or an int field, its key and its default.
struct Setting {
  const char* key;
  bool VeskMiscObject::*flag;
  int VeskMiscObject::*code;
  int fallback;
};

std::atomic<VeskMiscObject*> gShared{nullptr};

std::string localized(const char* word) {
  return kit::Bundle::mainBundle()->localizedStringForKey(word, "", "");
}

}  // namespace

// The cached settings in the order they are read, with their defaults.
struct VeskMiscObjectSettings {
  static const std::vector<Setting>& table() {
    using V = VeskMiscObject;
    static const std::vector<Setting> t = {
        {"opt_use_selection_search", &V::bUseSelectionSearch_, nullptr, 1},
        {"opt_save_sessions", &V::bRestoreSessions_, nullptr, 1},
        {"opt_threef_tap", nullptr, &V::opt_threef_tap_, 1},
        {"opt_fourf_tap", nullptr, &V::opt_fourf_tap_, 0},
        {"opt_twof_tap", nullptr, &V::opt_twof_tap_, 0},
        {"opt_twof_swipe_left", nullptr, &V::opt_twof_swipe_left_, 3},
        {"opt_twof_swipe_right", nullptr, &V::opt_twof_swipe_right_, 2},
        {"opt_twof_swipe_up", nullptr, &V::opt_twof_swipe_up_, 0},
        {"opt_twof_swipe_down", nullptr, &V::opt_twof_swipe_down_, 0},
        {"opt_threef_swipe_left", nullptr, &V::opt_threef_swipe_left_, 0},
        {"opt_threef_swipe_right", nullptr, &V::opt_threef_swipe_right_, 0},
        {"opt_threef_swipe_up", nullptr, &V::opt_threef_swipe_up_, 0},
        {"opt_threef_swipe_down", nullptr, &V::opt_threef_swipe_down_, 0},
        {"opt_fourf_swipe_left", nullptr, &V::opt_fourf_swipe_left_, 0},
        {"opt_fourf_swipe_right", nullptr, &V::opt_fourf_swipe_right_, 0},
        {"opt_fourf_swipe_up", nullptr, &V::opt_fourf_swipe_up_, 0},
        {"opt_fourf_swipe_down", nullptr, &V::opt_fourf_swipe_down_, 0},
        {"opt_double_tab_scroll2", nullptr, &V::opt_double_tab_scroll2_, 9},
        {"opt_double_tap_on_tab", nullptr, &V::opt_double_tap_on_tab_, 10},
        {"opt_urlbar_scroll", &V::bURLBarScroll_, nullptr, 0},
        {"opt_pull_down_refresh", &V::bPullDownRefresh_, nullptr, 1},
        {"opt_use_accurate_page_load_completion", &V::bAccurateLoadCompletionDetection_, nullptr, 0},
        {"opt_http_auth", &V::opt_http_auth_, nullptr, 0},
    };
    return t;
  }
};

VeskMiscObject* VeskMiscObject::sharedInstance() {
  static VeskMiscObject* instance = [] {
    auto* m = new VeskMiscObject(Shared{});
    m->retain();  // kept for the life of the process
    return m;
  }();
  return instance;
}

VeskMiscObject* VeskMiscObject::existingInstance() { return gShared.load(std::memory_order_acquire); }

VeskMiscObject::VeskMiscObject() { observe(); }

VeskMiscObject::VeskMiscObject(Shared) {
  gShared.store(this, std::memory_order_release);
  observe();
}

VeskMiscObject::~VeskMiscObject() {
  VeskMiscObject* self = this;
  gShared.compare_exchange_strong(self, nullptr);
}

void VeskMiscObject::observe() {
  auto& center = kit::NotificationCenter::defaultCenter();
  auto reread = [this](const kit::Notification&) { _settingsChanged(); };
  observers_.push_back(center.addObserver(kAppSettingChanged, nullptr, reread));
  observers_.push_back(center.addObserver(kit::Application::kDidBecomeActiveNotification, nullptr, reread));
  _settingsChanged();
  observers_.push_back(center.addObserver(kit::Application::kKeyboardDidShowNotification, nullptr,
                                          [this](const kit::Notification& n) { keyboardBegin(n); }));
  observers_.push_back(center.addObserver(kit::Application::kKeyboardDidHideNotification, nullptr,
                                          [this](const kit::Notification& n) { keyboardEnd(n); }));
}

kit::MutableArray* VeskMiscObject::recentlyClosedTabs() {
  if (!recentlyClosedTabs_) recentlyClosedTabs_ = kit::MutableArray::array();
  return recentlyClosedTabs_.get();
}

void VeskMiscObject::setOpt_adblock(bool on) {
  const bool was = opt_adblock_.exchange(on);
  kit::UserDefaults::standardUserDefaults().setBool(on, "opt_adblock");
  if (was != on) adblockChanged();
}

void VeskMiscObject::adblockChanged() {
  kit::NotificationCenter::defaultCenter().postNotification(kAdblockSwitchedNotification, this, nullptr);
}

void VeskMiscObject::_settingsChanged() {
  kit::UserDefaults::resetStandardUserDefaults();
  kit::UserDefaults& defaults = kit::UserDefaults::standardUserDefaults();

  if (defaults.exists("opt_search_engine")) {
    std::string engine = defaults.stringForKey("opt_search_engine");
    if (engine == "user-defined") {
      searchEngineSelection_ = localized("Search");
    } else {
      // Later words win, so a format naming two engines shows the last one.
      static const std::pair<const char*, const char*> kEngines[] = {
          {"google", "Google"}, {"yahoo", "Yahoo"}, {"bing", "Bing"}, {"naver", "Naver"}, {"baidu", "Baidu"}};
      for (auto& [word, name] : kEngines)
        if (engine.find(word) != std::string::npos) searchEngineSelection_ = localized(name);
    }
    kit::NotificationCenter::defaultCenter().postNotification(kNotification, this, nullptr);
  } else {
    searchEngineSelection_ = localized("Google");
  }

  setDefault_email(defaults.exists("default_email") ? defaults.stringForKey("default_email") : "");

  for (const Setting& s : VeskMiscObjectSettings::table()) {
    bool present = defaults.exists(s.key);
    if (s.flag)
      this->*s.flag = present ? defaults.boolForKey(s.key) : s.fallback != 0;
    else
      this->*s.code = present ? static_cast<int>(defaults.integerForKey(s.key)) : s.fallback;
  }
  // Read by request hooks on loading threads, hence atomic.
  const bool adblock = defaults.exists("opt_adblock") && defaults.boolForKey("opt_adblock");
  if (opt_adblock_.exchange(adblock) != adblock) adblockChanged();
}

void VeskMiscObject::keyboardBegin(const kit::Notification&) { bKeyboardVisible_ = true; }

void VeskMiscObject::keyboardEnd(const kit::Notification&) { bKeyboardVisible_ = false; }

}  // namespace tolva
