// Method exchange, the user-agent override and its settings monitor.

#include <string>
#include <thread>

#include "ShellTest.h"
#include "kit/foundation/Thread.h"
#include "kit/foundation/UserDefaults.h"
#include "kit/net/URLRequest.h"
#include "shell/MyMutableURLRequest.h"
#include "shell/MyUserAgentSettingsMonitor.h"
#include "settings/PrefSettingsNotification.h"
#include "common/Swizzle.h"

using namespace tolva;
using SetValue = kit::URLRequest::SetValueFunction;

namespace {

class UserAgentOverrideTest : public shelltest::ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    kit::Device::currentDevice().setSystemVersion("6.0");
    MyMutableURLRequest::setupUserAgentOverwrite();
    monitor()->resetForTesting();
  }
  void TearDown() override {
    kit::Device::currentDevice().setSystemVersion("6.0");
    ShellTest::TearDown();
  }
  static MyUserAgentSettingsMonitor* monitor() { return MyUserAgentSettingsMonitor::sharedInstance(); }
  static std::string headerSetAs(const std::string& value, const std::string& name) {
    kit::Ref<kit::URLRequest> r = kit::URLRequest::requestWithURL(kit::URL::URLWithString("http://ua.test/"));
    r->setValue(value, name);
    return r->valueForHTTPHeaderField(name).value_or("(none)");
  }
  static void choose(const std::string& agent) {
    defaults().setString(agent, MyUserAgentSettingsMonitor::kSettingKey);
    kit::NotificationCenter::defaultCenter().postNotification(kAppSettingChanged, nullptr, nullptr);
  }
};

TEST_F(UserAgentOverrideTest, MethodExchangeRefusesUnknownOrMismatchedMethodsAndTwiceRestores) {
  int calls = 0;
  Swizzle::addMethod<SetValue>("Probe", "a", [&](kit::URLRequest&, std::string_view, std::string_view) {
    calls += 1;
    return true;
  });
  Swizzle::addMethod<SetValue>("Probe", "b", [&](kit::URLRequest&, std::string_view, std::string_view) {
    calls += 10;
    return false;
  });
  Swizzle::addMethod<kit::URLRequest::InitFunction>("Probe", "c", kit::URLRequest::InitFunction());
  kit::Ref<kit::URLRequest> r = kit::URLRequest::requestWithURL(kit::URL::URLWithString("http://x.test/"));
  auto call = [&](const char* sel) { return Swizzle::implementation<SetValue>("Probe", sel)(*r, "", ""); };

  EXPECT_FALSE(Swizzle::swizzleMethod("Probe", "a", "missing"));
  EXPECT_FALSE(Swizzle::swizzleMethod("Probe", "missing", "a"));
  EXPECT_FALSE(Swizzle::swizzleMethod("NoClass", "a", "b"));
  EXPECT_FALSE(Swizzle::swizzleMethod("Probe", "a", "c"));  // another type
  EXPECT_TRUE(call("a"));
  EXPECT_EQ(calls, 1);

  // A method exchanged with itself stays as it is.
  EXPECT_TRUE(Swizzle::swizzleMethod("Probe", "a", "a"));
  EXPECT_TRUE(call("a"));
  EXPECT_EQ(calls, 2);

  EXPECT_TRUE(Swizzle::swizzleMethod("Probe", "a", "b"));
  EXPECT_FALSE(call("a"));
  EXPECT_EQ(calls, 12);
  EXPECT_TRUE(call("b"));
  EXPECT_EQ(calls, 13);

  EXPECT_TRUE(Swizzle::swizzleMethod("Probe", "a", "b"));
  EXPECT_TRUE(call("a"));
  EXPECT_EQ(calls, 14);
  EXPECT_FALSE(Swizzle::implementation<kit::URLRequest::InitFunction>("Probe", "a"));  // asked as another type
}

TEST_F(UserAgentOverrideTest, EveryUserAgentHeaderCarriesTheChosenString) {
  EXPECT_TRUE(MyMutableURLRequest::isUserAgentOverwriteInstalled());
  EXPECT_EQ(headerSetAs("Mine/1.0", "User-Agent"), MyUserAgentSettingsMonitor::kTabletUserAgent);
  EXPECT_EQ(headerSetAs("Mine/1.0", "user-agent"), "Mine/1.0");  // another spelling passes
  EXPECT_EQ(headerSetAs("text/html", "Accept"), "text/html");
  choose("Custom/2.0 (Test)");
  EXPECT_EQ(headerSetAs("Mine/1.0", "User-Agent"), "Custom/2.0 (Test)");
  EXPECT_EQ(defaults().stringForKey(MyUserAgentSettingsMonitor::kRegisteredKey), "Custom/2.0 (Test)");
  // A second start-up in one process does not exchange the methods back.
  MyMutableURLRequest::setupUserAgentOverwrite();
  EXPECT_EQ(headerSetAs("Mine/1.0", "User-Agent"), "Custom/2.0 (Test)");
}

TEST_F(UserAgentOverrideTest, TheDefaultFollowsTheDeviceAndAnAbsentSettingKeepsTheString) {
  usePhone();
  monitor()->resetForTesting();
  EXPECT_EQ(monitor()->user_agent(), MyUserAgentSettingsMonitor::kPhoneUserAgent);
  EXPECT_EQ(defaults().stringForKey("UserAgent"), MyUserAgentSettingsMonitor::kPhoneUserAgent);
  choose("Chosen/1");
  defaults().removeObjectForKey(MyUserAgentSettingsMonitor::kSettingKey);
  monitor()->_settingsChanged();
  EXPECT_EQ(monitor()->user_agent(), "Chosen/1");
}

TEST_F(UserAgentOverrideTest, AnEmptySettingMeansTheDefaultHeldOnEveryThread) {
  int offMain = 0;
  kit::NotificationCenter::Token watch = kit::NotificationCenter::defaultCenter().addObserver(
      kit::UserDefaults::kDidChangeNotification, nullptr, [&](const kit::Notification&) {
        if (!kit::Thread::isMainThread()) ++offMain;
      });
  choose("Custom/1");
  choose("");
  EXPECT_EQ(defaults().stringForKey("UserAgent"), MyUserAgentSettingsMonitor::kTabletUserAgent);
  std::string sent;
  std::thread([&] { sent = headerSetAs("Mine/1.0", "User-Agent"); }).join();
  EXPECT_EQ(sent, MyUserAgentSettingsMonitor::kTabletUserAgent);
  EXPECT_EQ(offMain, 0) << "nothing is registered from a loading thread";
  EXPECT_EQ(monitor()->user_agent(), MyUserAgentSettingsMonitor::kTabletUserAgent);
  // Stored empty at start, too.
  monitor()->resetForTesting();
  EXPECT_EQ(defaults().stringForKey("UserAgent"), MyUserAgentSettingsMonitor::kTabletUserAgent);
}

TEST_F(UserAgentOverrideTest, ControlCharactersNeverReachAHeader) {
  // What the settings cannot hold they store as U+FFFD, which is no control character.
  choose(std::string("Bad\0/3", 6));
  EXPECT_EQ(headerSetAs("Mine/1.0", "User-Agent"), "Bad\xEF\xBF\xBD/3");
  choose("Good/1");
  for (const std::string& bad : {std::string("Bad/1\r\nX-Evil: 1"), std::string("Bad/2\n"), std::string("Bad\t4")}) {
    choose(bad);
    EXPECT_EQ(monitor()->user_agent(), "Good/1");
    EXPECT_EQ(headerSetAs("Mine/1.0", "User-Agent"), "Good/1");
  }
  // A bad stored value at start gives the device default.
  monitor()->resetForTesting();
  EXPECT_EQ(monitor()->user_agent(), MyUserAgentSettingsMonitor::kTabletUserAgent);
}

TEST_F(UserAgentOverrideTest, OnAVersionFiveSystemEachChangeWarnsOnce) {
  kit::Device::currentDevice().setSystemVersion("5.1");
  kit::Ref<MyUserAgentSettingsMonitor> own = kit::make<MyUserAgentSettingsMonitor>();  // the first set: no alert
  EXPECT_FALSE(topAlert());
  choose("Changed/1");  // both monitors take it; the shared one and this one each warn
  ASSERT_TRUE(topAlert());
  EXPECT_EQ(topAlert()->message(),
            "From iOS 5.0, changing user agent only works for the newly created tab. Existing tabs might not take "
            "effect.");
  EXPECT_EQ(kit::AlertView::visibleAlerts().size(), 2u);
  clearOverlays();
  choose("Changed/1");  // no change, no alert
  EXPECT_FALSE(topAlert());
  kit::Device::currentDevice().setSystemVersion("6.0");
  choose("Changed/2");
  EXPECT_FALSE(topAlert());
  EXPECT_EQ(own->user_agent(), "Changed/2");
}

}  // namespace
