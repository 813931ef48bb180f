#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "UiTest.h"
#include "kit/foundation/NotificationCenter.h"
#include "kit/foundation/Number.h"
#include "kit/ui/ApplicationDelegate.h"
#include "kit/ui/HeadlessURLOpener.h"
#include "kit/ui/Screen.h"

using kit::Application;
using kit::Rect;
using kit::Ref;
using kit::URL;

namespace {

class ApplicationTest : public uitest::UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    for (const char* name :
         {Application::kDidFinishLaunchingNotification, Application::kDidBecomeActiveNotification,
          Application::kWillResignActiveNotification, Application::kDidEnterBackgroundNotification,
          Application::kWillEnterForegroundNotification, Application::kWillTerminateNotification,
          Application::kDidReceiveMemoryWarningNotification}) {
      tokens.push_back(kit::NotificationCenter::defaultCenter().addObserver(
          name, nullptr, [this](const kit::Notification& n) { log.push_back("note:" + n.name()); }));
    }
  }
  std::vector<std::string> log;
  std::vector<kit::NotificationCenter::Token> tokens;
};

struct Delegate : kit::ApplicationDelegate {
  std::vector<std::string>* log;
  std::string launchURL;
  explicit Delegate(std::vector<std::string>* l) : log(l) {}
  bool didFinishLaunchingWithOptions(Application&, kit::Dictionary* options) override {
    log->push_back("launch");
    if (options) {
      if (auto* url = options->get<URL>(Application::kLaunchOptionsURLKey)) launchURL = url->absoluteString();
    }
    return true;
  }
  bool handleOpenURL(Application&, URL* url) override {
    log->push_back("open " + (url ? url->absoluteString() : std::string("none")));
    return true;
  }
  void willResignActive(Application&) override { log->push_back("resign"); }
  void didBecomeActive(Application&) override { log->push_back("active"); }
  void didEnterBackground(Application&) override { log->push_back("background"); }
  void willEnterForeground(Application&) override { log->push_back("foreground"); }
  void willTerminate(Application&) override { log->push_back("terminate"); }
  void didReceiveMemoryWarning(Application&) override { log->push_back("memory"); }
};

TEST_F(ApplicationTest, LifeCycleCallsTellTheDelegateThenPost) {
  auto* app = Application::sharedApplication();
  Delegate d(&log);
  app->setDelegate(&d);
  auto options = kit::MutableDictionary::dictionary();
  options->setObject(URL::URLWithString("tolp://example.org/"), Application::kLaunchOptionsURLKey);
  EXPECT_TRUE(app->launch(options));
  EXPECT_EQ(d.launchURL, "tolp://example.org/");
  app->enterBackground();
  app->enterBackground();  // already there
  app->enterForeground();
  app->becomeActive();
  app->resignActive();
  app->becomeActive();
  app->receiveMemoryWarning();
  app->terminate();
  app->setDelegate(nullptr);
  EXPECT_EQ(log, (std::vector<std::string>{
                     "launch", "note:ApplicationDidFinishLaunchingNotification", "active",
                     "note:ApplicationDidBecomeActiveNotification", "resign",
                     "note:ApplicationWillResignActiveNotification", "background",
                     "note:ApplicationDidEnterBackgroundNotification", "foreground",
                     "note:ApplicationWillEnterForegroundNotification", "active",
                     "note:ApplicationDidBecomeActiveNotification", "resign",
                     "note:ApplicationWillResignActiveNotification", "active",
                     "note:ApplicationDidBecomeActiveNotification", "memory",
                     "note:ApplicationDidReceiveMemoryWarningNotification", "terminate",
                     "note:ApplicationWillTerminateNotification"}));
  EXPECT_EQ(app->applicationState(), Application::State::Active);
}

TEST_F(ApplicationTest, URLsFromOtherProgramsReachTheDelegate) {
  auto* app = Application::sharedApplication();
  EXPECT_FALSE(app->openURL(URL::URLWithString("http://a/").get()));  // no delegate
  Delegate d(&log);
  app->setDelegate(&d);
  EXPECT_TRUE(app->openURL(URL::URLWithString("tolp://b/").get(), "com.example.other"));
  EXPECT_EQ(log, (std::vector<std::string>{"open tolp://b/"}));
  app->setDelegate(nullptr);
}

TEST_F(ApplicationTest, HandingURLsToTheSystemGoesThroughTheOpener) {
  auto* app = Application::sharedApplication();
  auto mail = URL::URLWithString("mailto:a@b.c");
  auto web = URL::URLWithString("https://example.org/");
  EXPECT_FALSE(app->canOpenURL(mail.get()));
  EXPECT_TRUE(app->canOpenURL(web.get()));
  EXPECT_FALSE(app->openURLInSystem(mail.get()));
  EXPECT_FALSE(app->openURLInSystem(nullptr));
  app->headlessURLOpener().addOpenableScheme("MAILTO");
  EXPECT_TRUE(app->openURLInSystem(mail.get()));
  EXPECT_TRUE(app->openURLInSystem(web.get()));
  EXPECT_EQ(app->headlessURLOpener().openedURLs(),
            (std::vector<std::string>{"mailto:a@b.c", "https://example.org/"}));

  struct Refuser : kit::URLOpener {
    bool canOpenURL(const URL&) override { return false; }
    bool openURL(const URL&) override { return false; }
  } refuser;
  app->setURLOpener(&refuser);
  EXPECT_FALSE(app->canOpenURL(web.get()));
  app->setURLOpener(nullptr);
  EXPECT_TRUE(app->canOpenURL(web.get()));
}

TEST_F(ApplicationTest, ScreenAndApplicationFrameFollowIdiomAndStatusBar) {
  auto& screen = kit::Screen::mainScreen();
  auto* app = Application::sharedApplication();
  EXPECT_EQ(screen.bounds(), Rect(0, 0, 1024, 768));
  EXPECT_EQ(screen.applicationFrame(), Rect(0, 20, 1024, 748));
  EXPECT_EQ(app->statusBarFrame(), Rect(0, 0, 1024, 20));
  kit::Device::currentDevice().setUserInterfaceIdiom(kit::UserInterfaceIdiom::Phone);
  EXPECT_EQ(screen.bounds(), Rect(0, 0, 320, 480));
  EXPECT_EQ(screen.applicationFrame(), Rect(0, 20, 320, 460));
  EXPECT_EQ(kit::Device::currentDevice().model(), "Phone");
  app->setStatusBarHidden(true);
  EXPECT_EQ(screen.applicationFrame(), screen.bounds());
  EXPECT_EQ(app->statusBarFrame(), Rect());
  app->setStatusBarHidden(false);
  app->setStatusBarOrientation(kit::InterfaceOrientation::LandscapeRight);
  // Landscape frames are reported in the screen's unrotated coordinates.
  EXPECT_EQ(app->statusBarFrame(), Rect(0, 0, 20, 480));
  EXPECT_EQ(screen.applicationFrame(), Rect(20, 0, 300, 480));
  app->setStatusBarOrientation(static_cast<kit::InterfaceOrientation>(9));  // not an orientation
  EXPECT_EQ(app->statusBarOrientation(), kit::InterfaceOrientation::LandscapeRight);
  screen.setSizeOverride({800, 600});
  EXPECT_EQ(screen.bounds(), Rect(0, 0, 800, 600));
  screen.setSizeOverride({});
}

TEST_F(ApplicationTest, OrientationChangesArePosted) {
  std::vector<long> seen;
  auto token = kit::NotificationCenter::defaultCenter().addObserver(
      Application::kDidChangeStatusBarOrientationNotification, nullptr, [&](const kit::Notification& n) {
        auto* old = n.userInfo()->get<kit::Number>(Application::kStatusBarOrientationUserInfoKey);
        seen.push_back(old ? old->integerValue() : 0);
      });
  auto* app = Application::sharedApplication();
  app->setStatusBarOrientation(kit::InterfaceOrientation::LandscapeLeft);
  app->setStatusBarOrientation(kit::InterfaceOrientation::LandscapeLeft);
  EXPECT_EQ(seen, (std::vector<long>{1}));
}

TEST_F(ApplicationTest, OneKeyWindowAtATime) {
  auto* app = Application::sharedApplication();
  Ref<kit::Window> main(new kit::Window());
  EXPECT_TRUE(main->isHidden());
  main->makeKeyAndVisible();
  EXPECT_EQ(app->keyWindow(), main.get());
  {
    Ref<kit::Window> pin(new kit::Window(kit::Screen::mainScreen().bounds()));
    pin->makeKeyAndVisible();
    EXPECT_FALSE(main->isKeyWindow());
    EXPECT_TRUE(pin->isKeyWindow());
    auto all = app->windows();
    EXPECT_NE(std::find(all.begin(), all.end(), pin), all.end());
    pin->setHidden(true);
    EXPECT_EQ(app->keyWindow(), nullptr);
    main->makeKeyWindow();
  }
  EXPECT_EQ(app->keyWindow(), main.get());
  EXPECT_EQ(main->nextResponder(), app);
}

}  // namespace
