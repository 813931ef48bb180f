#include "common/VeskMiscObject.h"

#include <gtest/gtest.h>

#include "kit/foundation/NotificationCenter.h"
#include "kit/foundation/String.h"
#include "kit/foundation/UserDefaults.h"
#include "kit/ui/Application.h"
#include "settings/PrefSettingsNotification.h"
#include "support/TempHome.h"

using namespace tolva;

namespace {

class VeskMiscObjectTest : public ::testing::Test {
 protected:
  void SetUp() override { kit::UserDefaults::resetStandardUserDefaults(); }
  kit::UserDefaults& defaults() { return kit::UserDefaults::standardUserDefaults(); }
  void changeSetting() { kit::NotificationCenter::defaultCenter().postNotification(kAppSettingChanged, nullptr, nullptr); }

  // Counts the app-state notifications the test's own instances post while
  // it lives (the process-wide instance re-reads and posts too).
  struct PostCounter {
    int count = 0;
    const kit::Object* shared = VeskMiscObject::sharedInstance();
    kit::NotificationCenter::Token token = kit::NotificationCenter::defaultCenter().addObserver(
        VeskMiscObject::kNotification, nullptr, [this](const kit::Notification& n) {
          if (n.object() != shared) ++count;
        });
  };

  tolvatest::TempHome home_;
};

TEST_F(VeskMiscObjectTest, FreshInstallGetsTheWrittenDefaults) {
  PostCounter posts;
  kit::Ref<VeskMiscObject> m(new VeskMiscObject());
  EXPECT_EQ(m->opt_threef_tap(), 1);
  EXPECT_EQ(m->opt_twof_swipe_left(), 3);
  EXPECT_EQ(m->opt_twof_swipe_right(), 2);
  EXPECT_EQ(m->opt_double_tab_scroll2(), 9);
  EXPECT_EQ(m->opt_double_tap_on_tab(), 10);
  EXPECT_EQ(m->opt_fourf_tap(), 0);
  EXPECT_EQ(m->opt_fourf_swipe_down(), 0);
  EXPECT_TRUE(m->bUseSelectionSearch());
  EXPECT_TRUE(m->bRestoreSessions());
  EXPECT_TRUE(m->bPullDownRefresh());
  EXPECT_FALSE(m->bURLBarScroll());
  EXPECT_FALSE(m->bAccurateLoadCompletionDetection());
  EXPECT_FALSE(m->opt_http_auth());
  EXPECT_FALSE(m->opt_adblock());
  EXPECT_EQ(m->searchEngineSelection(), "Google");
  EXPECT_EQ(m->default_email(), "");
  EXPECT_EQ(m->recentlyClosedTabs()->count(), 0u);
  EXPECT_EQ(posts.count, 0);  // no search engine stored: nothing posted
}

TEST_F(VeskMiscObjectTest, StoredValuesOverrideDefaultsWithCoercion) {
  defaults().setInteger(7, "opt_threef_tap");
  defaults().setObject(kit::str("12"), "opt_twof_swipe_up");
  defaults().setBool(false, "opt_save_sessions");
  defaults().setObject(kit::str("YES"), "opt_adblock");
  defaults().setObject(kit::str("me@example.org"), "default_email");
  defaults().synchronize();
  kit::Ref<VeskMiscObject> m(new VeskMiscObject());
  EXPECT_EQ(m->opt_threef_tap(), 7);
  EXPECT_EQ(m->opt_twof_swipe_up(), 12);
  EXPECT_FALSE(m->bRestoreSessions());
  EXPECT_TRUE(m->opt_adblock());
  EXPECT_EQ(m->default_email(), "me@example.org");
}

TEST_F(VeskMiscObjectTest, SearchEngineNameFollowsTheLastMatchingWord) {
  kit::Ref<VeskMiscObject> m(new VeskMiscObject());
  PostCounter posts;
  defaults().setObject(kit::str("http://www.google.com/search?q=%@&bing=1"), "opt_search_engine");
  changeSetting();
  EXPECT_EQ(m->searchEngineSelection(), "Bing");
  EXPECT_EQ(posts.count, 1);

  // The user's own format shows "Search" even when it names an engine.
  defaults().setObject(kit::str("user-defined"), "opt_search_engine");
  defaults().setObject(kit::str("http://yahoo.example/?q=%@"), "opt_user_search_url");
  changeSetting();
  EXPECT_EQ(m->searchEngineSelection(), "Search");

  // A format naming no engine keeps the previous name.
  defaults().setObject(kit::str("http://search.example/?q=%@"), "opt_search_engine");
  changeSetting();
  EXPECT_EQ(m->searchEngineSelection(), "Search");
  EXPECT_EQ(posts.count, 3);  // posted on every re-read while the key exists

  // Any settings change re-reads every key and posts again.
  defaults().setInteger(5, "opt_fourf_tap");
  changeSetting();
  EXPECT_EQ(m->opt_fourf_tap(), 5);
  EXPECT_EQ(posts.count, 4);

  defaults().removeObjectForKey("opt_search_engine");
  changeSetting();
  EXPECT_EQ(m->searchEngineSelection(), "Google");
  EXPECT_EQ(posts.count, 4);
}

TEST_F(VeskMiscObjectTest, UnknownEngineOnFirstReadLeavesNoName) {
  defaults().setObject(kit::str("http://search.example/?q=%@"), "opt_search_engine");
  PostCounter posts;
  kit::Ref<VeskMiscObject> m(new VeskMiscObject());
  EXPECT_EQ(m->searchEngineSelection(), "");
  EXPECT_EQ(posts.count, 1);
}

TEST_F(VeskMiscObjectTest, BecomingActiveRereadsAndKeyboardIsTracked) {
  kit::Ref<VeskMiscObject> m(new VeskMiscObject());
  auto& center = kit::NotificationCenter::defaultCenter();
  defaults().setBool(true, "opt_http_auth");
  center.postNotification(kit::Application::kDidBecomeActiveNotification, nullptr, nullptr);
  EXPECT_TRUE(m->opt_http_auth());
  center.postNotification(kit::Application::kKeyboardDidShowNotification, nullptr, nullptr);
  EXPECT_TRUE(m->bKeyboardVisible());
  center.postNotification(kit::Application::kKeyboardDidHideNotification, nullptr, nullptr);
  EXPECT_FALSE(m->bKeyboardVisible());
}

TEST_F(VeskMiscObjectTest, AdblockSwitchIsStoredAtOnceWithoutPosting) {
  defaults().setObject(kit::str("google"), "opt_search_engine");
  kit::Ref<VeskMiscObject> m(new VeskMiscObject());
  PostCounter posts;
  m->setOpt_adblock(true);
  EXPECT_TRUE(m->opt_adblock());
  EXPECT_TRUE(defaults().boolForKey("opt_adblock"));
  EXPECT_EQ(posts.count, 0);
}

}  // namespace

// Every gesture code falls back to its own written default, whether the key
// was never stored or was stored and then removed.
TEST_F(VeskMiscObjectTest, EveryGestureCodeHasItsWrittenDefault) {
  using Getter = int (VeskMiscObject::*)() const;
  const struct {
    const char* key;
    Getter get;
    int fallback;
  } codes[] = {
      {"opt_threef_tap", &VeskMiscObject::opt_threef_tap, 1},
      {"opt_fourf_tap", &VeskMiscObject::opt_fourf_tap, 0},
      {"opt_twof_tap", &VeskMiscObject::opt_twof_tap, 0},
      {"opt_twof_swipe_left", &VeskMiscObject::opt_twof_swipe_left, 3},
      {"opt_twof_swipe_right", &VeskMiscObject::opt_twof_swipe_right, 2},
      {"opt_twof_swipe_up", &VeskMiscObject::opt_twof_swipe_up, 0},
      {"opt_twof_swipe_down", &VeskMiscObject::opt_twof_swipe_down, 0},
      {"opt_threef_swipe_left", &VeskMiscObject::opt_threef_swipe_left, 0},
      {"opt_threef_swipe_right", &VeskMiscObject::opt_threef_swipe_right, 0},
      {"opt_threef_swipe_up", &VeskMiscObject::opt_threef_swipe_up, 0},
      {"opt_threef_swipe_down", &VeskMiscObject::opt_threef_swipe_down, 0},
      {"opt_fourf_swipe_left", &VeskMiscObject::opt_fourf_swipe_left, 0},
      {"opt_fourf_swipe_right", &VeskMiscObject::opt_fourf_swipe_right, 0},
      {"opt_fourf_swipe_up", &VeskMiscObject::opt_fourf_swipe_up, 0},
      {"opt_fourf_swipe_down", &VeskMiscObject::opt_fourf_swipe_down, 0},
      {"opt_double_tab_scroll2", &VeskMiscObject::opt_double_tab_scroll2, 9},
      {"opt_double_tap_on_tab", &VeskMiscObject::opt_double_tap_on_tab, 10},
  };
  kit::Ref<VeskMiscObject> m(new VeskMiscObject());
  for (const auto& c : codes) EXPECT_EQ((m.get()->*c.get)(), c.fallback) << c.key << " on a fresh install";
  int stored = 20;
  for (const auto& c : codes) defaults().setInteger(stored++, c.key);
  m->_settingsChanged();
  stored = 20;
  for (const auto& c : codes) EXPECT_EQ((m.get()->*c.get)(), stored++) << c.key << " stored";
  for (const auto& c : codes) defaults().removeObjectForKey(c.key);
  m->_settingsChanged();
  for (const auto& c : codes) EXPECT_EQ((m.get()->*c.get)(), c.fallback) << c.key << " removed";
}
