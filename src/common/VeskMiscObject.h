#pragma once
// The browser's shared app-state object: the settings read on every gesture
// or load, cached; whether the keyboard is up and a private tab is open; and
// the recently closed tabs for the life of the process.

#include <atomic>
#include <string>
#include <vector>

#include "kit/foundation/Array.h"
#include "kit/foundation/NotificationCenter.h"
#include "kit/foundation/Object.h"

namespace tolva {

struct VeskMiscObjectSettings;

class VeskMiscObject : public kit::Object {
 public:
  // Posted after a re-read in which "opt_search_engine" was present.
  static constexpr const char* kNotification = "VeskMiscObjectNotification";
  // Posted (sender: the object) whenever its ad-block switch changes, on the
  // thread that changed it. Whoever follows the switch observes this, so the
  // object itself knows nothing of ad blocking.
  static constexpr const char* kAdblockSwitchedNotification = "VeskMiscObjectAdblockSwitchedNotification";

  // The one instance, created on first call and never released.
  static VeskMiscObject* sharedInstance();
  // The shared instance once its creation has begun (it posts the switch
  // from its set-up already), else null; never creates it.
  static VeskMiscObject* existingInstance();

  // Builds an instance wired to the notifications, with settings read once.
  // Tests make their own; the program uses sharedInstance().
  VeskMiscObject();
  ~VeskMiscObject() override;

  // Created empty on first access.
  kit::MutableArray* recentlyClosedTabs();
  void setRecentlyClosedTabs(kit::Ref<kit::MutableArray> tabs) { recentlyClosedTabs_ = std::move(tabs); }

  // Stores the flag and writes it to user defaults at once; posts nothing.
  // The switch may be read on any thread.
  void setOpt_adblock(bool on);
  // Re-reads every setting from freshly read user defaults.
  void _settingsChanged();
  void keyboardBegin(const kit::Notification& n);
  void keyboardEnd(const kit::Notification& n);

  const std::string& searchEngineSelection() const { return searchEngineSelection_; }
  void setSearchEngineSelection(const std::string& s) { searchEngineSelection_ = s; }
  bool bUseSelectionSearch() const { return bUseSelectionSearch_; }
  int opt_threef_tap() const { return opt_threef_tap_; }
  int opt_twof_tap() const { return opt_twof_tap_; }
  int opt_twof_swipe_left() const { return opt_twof_swipe_left_; }
  int opt_twof_swipe_right() const { return opt_twof_swipe_right_; }
  int opt_twof_swipe_up() const { return opt_twof_swipe_up_; }
  int opt_twof_swipe_down() const { return opt_twof_swipe_down_; }
  int opt_threef_swipe_left() const { return opt_threef_swipe_left_; }
  int opt_threef_swipe_right() const { return opt_threef_swipe_right_; }
  int opt_threef_swipe_up() const { return opt_threef_swipe_up_; }
  int opt_threef_swipe_down() const { return opt_threef_swipe_down_; }
  int opt_fourf_swipe_left() const { return opt_fourf_swipe_left_; }
  int opt_fourf_swipe_right() const { return opt_fourf_swipe_right_; }
  int opt_fourf_swipe_up() const { return opt_fourf_swipe_up_; }
  int opt_fourf_swipe_down() const { return opt_fourf_swipe_down_; }
  bool bURLBarScroll() const { return bURLBarScroll_; }
  bool bPullDownRefresh() const { return bPullDownRefresh_; }
  bool bAccurateLoadCompletionDetection() const { return bAccurateLoadCompletionDetection_; }
  // Empty when no address is set.
  const std::string& default_email() const { return default_email_; }
  void setDefault_email(const std::string& s) { default_email_ = s; }
  bool opt_http_auth() const { return opt_http_auth_; }
  int opt_fourf_tap() const { return opt_fourf_tap_; }
  int opt_double_tab_scroll2() const { return opt_double_tab_scroll2_; }
  bool bKeyboardVisible() const { return bKeyboardVisible_; }
  bool bPrivateTabExists() const { return bPrivateTabExists_; }
  void setBPrivateTabExists(bool v) { bPrivateTabExists_ = v; }
  bool bRestoreSessions() const { return bRestoreSessions_; }
  bool opt_adblock() const { return opt_adblock_; }
  int opt_double_tap_on_tab() const { return opt_double_tap_on_tab_; }

  std::string className() const override { return "VeskMiscObject"; }

 private:
  friend struct VeskMiscObjectSettings;  // the table of cached settings
  struct Shared {};
  explicit VeskMiscObject(Shared);
  void observe();
  void adblockChanged();

  std::string searchEngineSelection_;
  bool bUseSelectionSearch_ = true;
  int opt_threef_tap_ = 1;
  int opt_twof_tap_ = 0;
  int opt_fourf_tap_ = 0;
  int opt_twof_swipe_left_ = 3, opt_twof_swipe_right_ = 2, opt_twof_swipe_up_ = 0, opt_twof_swipe_down_ = 0;
  int opt_threef_swipe_left_ = 0, opt_threef_swipe_right_ = 0, opt_threef_swipe_up_ = 0,
      opt_threef_swipe_down_ = 0;
  int opt_fourf_swipe_left_ = 0, opt_fourf_swipe_right_ = 0, opt_fourf_swipe_up_ = 0,
      opt_fourf_swipe_down_ = 0;
  int opt_double_tab_scroll2_ = 9;
  int opt_double_tap_on_tab_ = 10;
  bool bKeyboardVisible_ = false;
  bool bPrivateTabExists_ = false;
  bool bRestoreSessions_ = true;
  bool bURLBarScroll_ = false;
  bool bPullDownRefresh_ = true;
  bool bAccurateLoadCompletionDetection_ = false;
  std::string default_email_;
  bool opt_http_auth_ = false;
  std::atomic<bool> opt_adblock_{false};
  kit::Ref<kit::MutableArray> recentlyClosedTabs_;
  std::vector<kit::NotificationCenter::Token> observers_;
};

}  // namespace tolva
