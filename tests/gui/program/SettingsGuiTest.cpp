// The settings screen in the real window: opened from the main screen,
// a switch flipped with a real click, the setting stored and re-read.

#include <gdk/gdkkeysyms.h>

#include <functional>
#include <string>

#include "ProgramFixture.h"
#include "common/VeskMiscObject.h"
#include "kit/foundation/UserDefaults.h"
#include "kit/gtk/WidgetTree.h"
#include "kit/ui/AlertView.h"
#include "kit/ui/BarButtonItem.h"
#include "kit/ui/Button.h"
#include "kit/ui/NavigationController.h"
#include "kit/ui/NavigationItem.h"
#include "settings/PrefAppSettingsViewController.h"
#include "settings/PrefSwitch.h"

namespace {

using tolvatest::ProgramFixture;
using tolvatest::TestResponse;

// The first view under `root` (depth first) that `match` accepts.
kit::View* findView(kit::View* root, const std::function<bool(kit::View*)>& match) {
  if (!root || root->isHidden()) return nullptr;
  if (match(root)) return root;
  for (const auto& sub : root->subviews())
    if (kit::View* found = findView(sub.get(), match)) return found;
  return nullptr;
}

// Settings the app-state object caches, with how it reads each back.
struct CachedSwitch {
  const char* key;
  bool (tolva::VeskMiscObject::*read)() const;
};
const CachedSwitch kCached[] = {
    {"opt_use_selection_search", &tolva::VeskMiscObject::bUseSelectionSearch},
    {"opt_save_sessions", &tolva::VeskMiscObject::bRestoreSessions},
    {"opt_urlbar_scroll", &tolva::VeskMiscObject::bURLBarScroll},
    {"opt_pull_down_refresh", &tolva::VeskMiscObject::bPullDownRefresh},
    {"opt_use_accurate_page_load_completion", &tolva::VeskMiscObject::bAccurateLoadCompletionDetection},
    {"opt_http_auth", &tolva::VeskMiscObject::opt_http_auth},
    {"opt_adblock", &tolva::VeskMiscObject::opt_adblock},
};

class SettingsGuiTest : public ProgramFixture {
 protected:
  // Starts the program on a home page and opens the settings by the main
  // screen's button, pressed as a user would.
  void openSettings() {
    server_.route("GET", "/home", TestResponse::html("<html><head><title>Settings Home</title></head><body>home</body></html>"));
    ASSERT_TRUE(startProgram(server_.url("/home")));
    ASSERT_TRUE(waitForTitle("Settings Home"));
    kit::View* button = findView(mainWindow(), [](kit::View* v) {
      auto* b = dynamic_cast<kit::Button*>(v);
      return b && b->titleForState(0) == "Settings";
    });
    ASSERT_NE(button, nullptr) << "no Settings button on the main screen";
    click(button, {button->bounds().size.width / 2, button->bounds().size.height / 2});
    ASSERT_TRUE(waitUntil([&] { return controller()->presentedViewController() != nullptr; }));
  }
};

TEST_F(SettingsGuiTest, ASwitchFlippedInTheSettingsIsStoredAndReRead) {
  openSettings();
  if (HasFatalFailure()) return;
  auto* nav = dynamic_cast<kit::NavigationController*>(controller()->presentedViewController());
  ASSERT_NE(nav, nullptr);
  auto* settings = dynamic_cast<tolva::PrefAppSettingsViewController*>(nav->topViewController());
  ASSERT_NE(settings, nullptr);
  settle();

  // A visible switch of a setting the app-state object caches.
  const CachedSwitch* which = nullptr;
  kit::View* found = findView(settings->view(), [&](kit::View* v) {
    auto* s = dynamic_cast<tolva::PrefSwitch*>(v);
    if (!s) return false;
    for (const auto& c : kCached)
      if (s->key() == c.key) return (which = &c), true;
    return false;
  });
  ASSERT_NE(found, nullptr) << "no switch of a cached setting is visible";
  auto* toggle = static_cast<tolva::PrefSwitch*>(found);
  const bool before = toggle->isOn();
  tolva::VeskMiscObject* state = tolva::VeskMiscObject::sharedInstance();
  ASSERT_EQ((state->*which->read)(), before) << which->key;

  saveScreenshot("SettingsGuiTest.SettingsScreen");
  click(toggle, {toggle->bounds().size.width / 2, toggle->bounds().size.height / 2});
  ASSERT_TRUE(waitUntil([&] { return toggle->isOn() != before; })) << which->key;
  auto& defaults = kit::UserDefaults::standardUserDefaults();
  EXPECT_TRUE(defaults.exists(which->key));
  EXPECT_EQ(defaults.boolForKey(which->key), !before) << which->key;
  EXPECT_EQ((state->*which->read)(), !before) << "the app-state object did not re-read " << which->key;
  screenshotWindow(mainWindow());

  // Done, in the navigation bar, closes the screen.
  const auto& right = settings->navigationItem()->rightBarButtonItems();
  ASSERT_EQ(right.size(), 1u) << "no Done button on the settings screen";
  kit::BarButtonItem* done = right[0].get();
  ASSERT_NE(done->bar(), nullptr) << "the Done button is in no bar";
  kit::Rect f = done->frameInBar();
  ASSERT_GT(f.size.width, 0);
  click(done->bar(), {f.origin.x + f.size.width / 2, f.origin.y + f.size.height / 2});
  EXPECT_TRUE(waitUntil([&] { return controller()->presentedViewController() == nullptr; }));
}

// Escape closes what is on top by its own button, so the screen's owner sees
// an ordinary close: an alert that only acknowledges, then the settings
// screen by its Done button.
TEST_F(SettingsGuiTest, EscapeClosesTheAlertOnTopThenTheSettingsScreen) {
  openSettings();
  if (HasFatalFailure()) return;
  settle();

  struct Heard : kit::AlertViewDelegate {
    long clicked = -2;
    void alertViewClickedButtonAtIndex(kit::AlertView&, long index) override { clicked = index; }
  } heard;
  kit::Ref<kit::AlertView> alert =
      kit::make<kit::AlertView>("Saved", "", &heard, "", std::vector<std::string>{"OK"});
  alert->show();
  ASSERT_TRUE(waitUntil([&] { return kit::gtk::WidgetTree::installed()->widgetFor(alert.get()) != nullptr; }, 5));
  settle();
  pressKey(mainWindow(), GDK_KEY_Escape);
  EXPECT_TRUE(waitUntil([&] { return heard.clicked == 0 && !alert->isVisible(); }, 5)) << heard.clicked;
  EXPECT_NE(controller()->presentedViewController(), nullptr) << "one Escape closed two screens";

  settle();
  pressKey(mainWindow(), GDK_KEY_Escape);
  EXPECT_TRUE(waitUntil([&] { return controller()->presentedViewController() == nullptr; }, 5));
}

}  // namespace
