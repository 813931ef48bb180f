// Ad blocking and the user agent in the real window: WebKit's own requests
// for a page's image and script go through the content-filter extension.

#include <string>

#include "ProgramFixture.h"
#include "common/VeskMiscObject.h"
#include "data/VeskAdblockManager.h"
#include "kit/foundation/Array.h"
#include "kit/foundation/Dictionary.h"
#include "kit/foundation/Notification.h"
#include "kit/foundation/NotificationCenter.h"
#include "kit/foundation/Number.h"
#include "kit/foundation/String.h"
#include "kit/foundation/UserDefaults.h"
#include "kit/ui/WebView.h"
#include "settings/PrefSettingsNotification.h"

namespace {

using tolvatest::ProgramFixture;
using tolvatest::TestResponse;

// A 1x1 PNG.
const std::string kPixel("\x89\x50\x4e\x47\x0d\x0a\x1a\x0a\x00\x00\x00\x0d\x49\x48\x44\x52\x00\x00\x00\x01\x00\x00\x00\x01\x08\x02\x00\x00\x00\x90\x77\x53\xde\x00\x00\x00\x0c\x49\x44\x41\x54\x78\x9c\x63\xf8\xcf\xc0\x00\x00\x03\x01\x01\x00\xc9\xfe\x92\xef\x00\x00\x00\x00\x49\x45\x4e\x44\xae\x42\x60\x82",
                         69);

class AdblockGuiTest : public ProgramFixture {
 protected:
  void serve(const std::string& prefix) {
    server_.route("GET", "/home", TestResponse::html("<html><head><title>Home</title></head><body>home</body></html>"));
    server_.route("GET", prefix + "/page",
                  TestResponse::html("<html><head><title>Ad Page</title><script src=\"" + prefix +
                                     "/ads/ad.js\"></script></head><body><p>text</p><img id=\"banner\" src=\"" +
                                     prefix + "/ads/banner.png\" width=\"200\" height=\"100\"></body></html>"));
    server_.route("GET", prefix + "/ads/banner.png", TestResponse::ok(kPixel, "image/png"));
    server_.route("GET", prefix + "/ads/ad.js",
                  TestResponse::ok("window.adRan = 'yes';", "application/javascript"));
  }
  size_t requestsFor(const std::string& path) {
    size_t n = 0;
    for (const auto& r : server_.requests()) n += r.path == path;
    return n;
  }
  std::string script(const std::string& js) {
    kit::WebView* web = page() ? page()->existingWebView() : nullptr;
    return web ? web->stringByEvaluatingJavaScriptFromString(js) : std::string();
  }
  static long hitsOf(const std::string& pattern) {
    for (kit::Object* item : *tolva::VeskAdblockManager::sharedInstance()->filters()) {
      auto* entry = kit::cast<kit::Dictionary>(item);
      if (entry->get<kit::String>("filter")->str() != pattern) continue;
      auto* n = entry->get<kit::Number>("hitcount");
      return n ? n->integerValue() : 0;
    }
    return -1;
  }
  bool loadAndWait(const std::string& url) {
    page()->loadRequest(url);
    return waitUntil([&] { return page()->title() && page()->title()->text() == "Ad Page" && !page()->existingWebView()->isLoading(); }, 20);
  }
};

TEST_F(AdblockGuiTest, ThePagesOwnRequestsForBlockedPathsAreRefusedAndCounted) {
  serve("/site");
  kit::UserDefaults& defaults = kit::UserDefaults::standardUserDefaults();
  auto entry = kit::MutableDictionary::dictionary();
  entry->setObject(kit::str("*/ads/*"), "filter");
  entry->setObject(kit::Number::numberWithInt(0), "disabled");
  defaults.setObject(kit::Ref<kit::Array>(new kit::Array({entry})).get(), "filter");
  defaults.setBool(true, "opt_adblock");
  ASSERT_TRUE(startProgram(server_.url("/home")));
  ASSERT_TRUE(waitForTitle("Home"));

  ASSERT_TRUE(loadAndWait(server_.url("/site/page")));
  settle();
  EXPECT_EQ(requestsFor("/site/ads/banner.png"), 0u);
  EXPECT_EQ(requestsFor("/site/ads/ad.js"), 0u);
  EXPECT_EQ(script("String(window.adRan)"), "undefined");
  EXPECT_EQ(script("String(document.getElementById('banner').naturalWidth)"), "0");
  EXPECT_TRUE(waitUntil([] { return hitsOf("*/ads/*") >= 2; }, 10)) << hitsOf("*/ads/*");
  saveScreenshot("AdblockGuiTest.Blocked");

  // Switched off, the same page loads its image and script.
  tolva::VeskMiscObject::sharedInstance()->setOpt_adblock(false);
  settle();
  ASSERT_TRUE(loadAndWait(server_.url("/site/page?again")));
  EXPECT_TRUE(waitUntil([&] { return script("String(window.adRan)") == "yes"; }, 10));
  EXPECT_TRUE(waitUntil([&] { return script("String(document.getElementById('banner').naturalWidth)") == "1"; }, 10));
  EXPECT_TRUE(waitUntil([&] { return requestsFor("/site/ads/banner.png") == 1 && requestsFor("/site/ads/ad.js") == 1; }, 10))
      << requestsFor("/site/ads/banner.png") << " " << requestsFor("/site/ads/ad.js");
  saveScreenshot("AdblockGuiTest.Allowed");
}

TEST_F(AdblockGuiTest, TheChosenUserAgentReachesTheServerFromThePageAndItsParts) {
  serve("/ua");
  ASSERT_TRUE(startProgram(server_.url("/home")));
  ASSERT_TRUE(waitForTitle("Home"));
  const std::string agent = "TolvaGuiTest/3.0 (Custom Agent)";
  // As the settings screen stores a text field and announces it.
  kit::UserDefaults::standardUserDefaults().setObject(kit::str(agent).get(), "opt_user_agent_v2");
  kit::NotificationCenter::defaultCenter().postNotification(tolva::kAppSettingChanged, kit::str("opt_user_agent_v2").get(),
                                                            nullptr);
  settle();
  ASSERT_TRUE(loadAndWait(server_.url("/ua/page")));
  EXPECT_TRUE(waitUntil([&] { return requestsFor("/ua/ads/banner.png") == 1 && requestsFor("/ua/ads/ad.js") == 1; }, 10));
  size_t seen = 0;
  for (const auto& r : server_.requests()) {
    if (r.path.rfind("/ua/", 0) != 0) continue;
    ++seen;
    EXPECT_EQ(r.headers.value("User-Agent"), agent) << r.path;
  }
  EXPECT_EQ(seen, 3u);
  saveScreenshot("AdblockGuiTest.UserAgent");

  // Chosen again while the page is open: what the page fetches next carries it.
  const std::string later = "TolvaGuiTest/4.0 (Changed)";
  server_.route("GET", "/ua/late.png", TestResponse::ok(kPixel, "image/png"));
  kit::UserDefaults::standardUserDefaults().setObject(kit::str(later).get(), "opt_user_agent_v2");
  kit::NotificationCenter::defaultCenter().postNotification(tolva::kAppSettingChanged, kit::str("opt_user_agent_v2").get(),
                                                            nullptr);
  settle();
  script("var late = new Image(); late.src = '/ua/late.png'; 'ok'");
  ASSERT_TRUE(waitUntil([&] { return requestsFor("/ua/late.png") == 1; }, 10));
  for (const auto& r : server_.requests())
    if (r.path == "/ua/late.png") {
      EXPECT_EQ(r.headers.value("User-Agent"), later);
    }
}

}  // namespace
