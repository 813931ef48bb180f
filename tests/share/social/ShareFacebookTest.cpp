// The social-network sharer over a loopback graph server and the headless
// web view: the feed dialog, wall and photo posts, the profile, the token it
// keeps, and the item it parks while a login runs outside it.
#include "../ShareTest.h"
#include "kit/foundation/Date.h"
#include "kit/foundation/FileManager.h"
#include "kit/foundation/Paths.h"
#include "kit/net/HTTPCookie.h"
#include "kit/net/HTTPCookieStorage.h"
#include "kit/foundation/NotificationCenter.h"
#include "kit/ui/BarButtonItem.h"
#include "kit/ui/HeadlessURLOpener.h"
#include "kit/ui/HeadlessWebView.h"
#include "kit/ui/NavigationItem.h"
#include "share/social/ShareFacebook.h"
#include "share/ui/ShareFormController.h"
#include "share/ui/ShareFormControllerLargeTextField.h"
#include "share/ui/ShareFormFieldCell.h"
#include "support/TestHTTPServer.h"

using namespace tolva;

namespace {

class FacebookConfigurator : public DefaultShareConfigurator {
 public:
  std::string appName() const override { return "Tolva"; }
  std::string appURL() const override { return "http://maker.test/?a=\"q\""; }
  std::string facebookAppId() const override { return "123"; }
};

class ShareFacebookTest : public sharetest::ShareTest {
 protected:
  void SetUp() override {
    ShareTest::SetUp();
    ShareSharer::registerSharerClass<ShareFacebook>(kit::ClassRegistry::shared(), ShareFacebook::kName);
    ShareFacebook::resetForTesting();
    SocialClient::Endpoints e;
    e.graphBase = server_.url("/graph/");
    e.restBase = server_.url("/method/");
    e.dialogBase = server_.url("/dialog/");
    e.loginHost = "login.example.test";
    SocialClient::setEndpoints(e);
    for (const char* name : {ShareSharer::kSendDidFinishNotification, ShareSharer::kSendDidFailWithErrorNotification,
                             ShareSharer::kSendDidCancelNotification})
      tokens_.push_back(kit::NotificationCenter::defaultCenter().addObserver(
          name, nullptr, [this, name](const kit::Notification&) { reports_.push_back(name); }));
  }
  void TearDown() override {
    tokens_.clear();
    ShareFacebook::resetForTesting();
    SocialClient::setEndpoints({});
    SocialClient::setOutsideLoginAllowed(false);
    kit::Application::sharedApplication()->headlessURLOpener().clear();
    ShareTest::TearDown();
  }
  kit::Ref<DefaultShareConfigurator> configurator() override { return kit::make<FacebookConfigurator>(); }

  static void storeToken(const std::string& token = "tok") {
    defaults().setString(token, ShareFacebook::kAccessTokenKey);
    defaults().setObject(kit::Date::dateWithTimeIntervalSinceReferenceDate(kit::Clock::now() + 3600).get(),
                         ShareFacebook::kExpiryDateKey);
  }
  static SocialClient* client() { return ShareFacebook::facebook(); }
  static kit::HeadlessWebView& web(SNDialog* d) { return *static_cast<kit::HeadlessWebView*>(d->webView()); }
  static void redirect(SNDialog* d, const std::string& url) {
    ASSERT_TRUE(d);
    web(d).fireShouldStart(url, kit::WebViewNavigationType::Other);
    loop().advance(1);
  }
  static ShareFormControllerLargeTextField* form() {
    auto* s = dynamic_cast<ShareSharer*>(Share::currentHelper()->currentView());
    return s ? dynamic_cast<ShareFormControllerLargeTextField*>(s->topViewController()) : nullptr;
  }
  // Writes the post in the long-text editor and sends it.
  static void typeAndSend(const std::string& text) {
    ShareFormControllerLargeTextField* f = form();
    ASSERT_TRUE(f);
    f->view();
    ASSERT_TRUE(f->textView());
    f->textView()->setText(text);
    f->textViewDidChange(*f->textView());
    f->navigationItem()->rightBarButtonItem()->tap();
  }
  bool waitForReport() {
    const size_t before = reports_.size();
    bool ok = loop().runUntil([&] { return reports_.size() > before; }, 10);
    loop().advance(1);
    return ok;
  }
  static std::string imagePathOfParkedItem() {
    kit::Ref<kit::Dictionary> parked = defaults().dictionaryForKey(ShareFacebook::kStoredItemKey);
    auto* path = parked ? kit::cast<kit::String>(parked->objectForKey("imagePath")) : nullptr;
    return path ? path->str() : "";
  }

  tolvatest::TestHTTPServer server_;
  std::vector<kit::NotificationCenter::Token> tokens_;
  std::vector<std::string> reports_;
};

const char* const kActions = "{\"name\":\"Get Tolva\",\"link\":\"http://maker.test/?a=\\\"q\\\"\"}";

TEST_F(ShareFacebookTest, ALinkGoesThroughTheFeedDialogWithTheActionsAsJSON) {
  storeToken();
  kit::Ref<ShareSharer> sharer =
      ShareSharer::shareItem(ShareFacebook::kName, ShareItem::URL(kit::URL::URLWithString("http://example.com/x")).get());
  SNDialog* dialog = client()->currentDialog();
  ASSERT_TRUE(dialog);
  const SNDialog::Params& p = dialog->params();
  EXPECT_EQ(p.at("link"), "http://example.com/x");
  EXPECT_EQ(p.at("name"), "http://example.com/x") << "no title: the URL names the link";
  EXPECT_EQ(p.at("actions"), kActions);
  EXPECT_EQ(p.at("access_token"), "tok");
  EXPECT_EQ(p.count("message"), 0u);
  EXPECT_EQ(dialog->loadingURL()->path(), "/dialog/feed");

  auto& facebook = static_cast<ShareFacebook&>(*sharer);
  kit::Ref<kit::URL> outside = kit::URL::URLWithString("https://example.com/about");
  kit::Ref<kit::URL> local = kit::URL::URLWithString("file:///etc/passwd");
  EXPECT_TRUE(facebook.dialogShouldOpenURLInExternalBrowser(*dialog, *outside));
  EXPECT_FALSE(facebook.dialogShouldOpenURLInExternalBrowser(*dialog, *local));

  // The plain redirect finishes quietly.
  redirect(dialog, "fbconnect://success");
  EXPECT_TRUE(sharer->quiet());
  EXPECT_EQ(reports_, std::vector<std::string>{ShareSharer::kSendDidFinishNotification});

  // A closed dialog cancels; a cancelled page load reports nothing.
  auto titled = ShareItem::URL(kit::URL::URLWithString("http://example.com/y"), "Why");
  titled->setText("look");
  titled->setCustomValue("http://example.com/p.png", "picture");
  sharer = ShareSharer::shareItem(ShareFacebook::kName, titled.get());
  ASSERT_TRUE(client()->currentDialog());
  EXPECT_EQ(client()->currentDialog()->params().at("name"), "Why");
  EXPECT_EQ(client()->currentDialog()->params().at("message"), "look");
  EXPECT_EQ(client()->currentDialog()->params().at("picture"), "http://example.com/p.png");
  client()->currentDialog()->cancel();
  loop().advance(1);
  EXPECT_EQ(reports_.back(), ShareSharer::kSendDidCancelNotification);
  sharer = ShareSharer::shareItem(ShareFacebook::kName, titled.get());
  web(client()->currentDialog()).fireDidFail(kit::WebView::kURLErrorDomain, kit::WebView::kURLErrorCancelled);
  loop().advance(1);
  EXPECT_EQ(reports_.size(), 2u);
}

TEST_F(ShareFacebookTest, AnExpiredTokenInTheDialogDropsItLogsInAndSendsAgain) {
  storeToken("old");
  kit::Ref<ShareSharer> sharer =
      ShareSharer::shareItem(ShareFacebook::kName, ShareItem::URL(kit::URL::URLWithString("http://example.com/x")).get());
  redirect(client()->currentDialog(), "fbconnect://success?error_code=190&error_msg=expired");
  EXPECT_FALSE(defaults().exists(ShareFacebook::kAccessTokenKey));
  EXPECT_EQ(sharer->pendingAction(), SharePendingActionSend);
  ASSERT_TRUE(client()->loginDialog()) << "a new login starts";
  EXPECT_TRUE(defaults().dictionaryForKey(ShareFacebook::kStoredItemKey)) << "the item is parked meanwhile";

  redirect(client()->loginDialog(), "fbconnect://success#access_token=new&expires_in=3600");
  EXPECT_EQ(defaults().stringForKey(ShareFacebook::kAccessTokenKey), "new");
  EXPECT_FALSE(defaults().exists(ShareFacebook::kStoredItemKey));
  ASSERT_TRUE(client()->currentDialog()) << "sent again";
  EXPECT_EQ(client()->currentDialog()->params().at("access_token"), "new");
  EXPECT_EQ(client()->currentDialog()->params().at("link"), "http://example.com/x");
  redirect(client()->currentDialog(), "fbconnect://success?post_id=9");
  EXPECT_EQ(reports_.back(), ShareSharer::kSendDidFinishNotification);
}

TEST_F(ShareFacebookTest, TextIsComposedThenPostedToTheWall) {
  server_.route("POST", "/graph/me/feed", tolvatest::TestResponse::ok("{\"id\":\"1_2\"}"));
  storeToken();
  defaults().setBool(true, "ShareFacebook_shouldAutoShare");
  kit::Ref<ShareSharer> sharer = ShareSharer::shareItem(ShareFacebook::kName, ShareItem::text("draft").get());
  loop().advance(1);
  ASSERT_TRUE(form()) << "a stored auto-share choice never skips the editor";
  EXPECT_EQ(form()->text(), "draft") << "the long-text editor starts from the item's text";
  EXPECT_EQ(form()->maxTextLength(), 0u) << "no limit";
  typeAndSend("Hello & \"world\"");
  ASSERT_TRUE(waitForReport());
  EXPECT_EQ(reports_, std::vector<std::string>{ShareSharer::kSendDidFinishNotification});
  ASSERT_EQ(server_.requests().size(), 1u);
  const tolvatest::RecordedRequest r = server_.requests()[0];
  EXPECT_EQ(r.path, "/graph/me/feed");
  EXPECT_NE(r.body.find("name=\"message\"\r\n\r\nHello & \"world\"\r\n"), std::string::npos) << r.body;
  EXPECT_NE(r.body.find(std::string("name=\"actions\"\r\n\r\n") + kActions + "\r\n"), std::string::npos);
  EXPECT_NE(r.body.find("name=\"access_token\"\r\n\r\ntok\r\n"), std::string::npos);
}

TEST_F(ShareFacebookTest, APhotoSharedWhileLoggedOutIsParkedAndSentAfterALoginThatEndsAfterARestart) {
  server_.route("POST", "/graph/me/photos", tolvatest::TestResponse::ok("{\"id\":\"3\"}"));
  SocialClient::setOutsideLoginAllowed(true);
  auto image = kit::Image::imageWithPixels({2, 2}, std::vector<uint8_t>(16, 255));
  {
    kit::Ref<ShareSharer> sharer = ShareSharer::shareItem(ShareFacebook::kName, ShareItem::image(image, "Cat").get());
    const std::vector<std::string> opened = kit::Application::sharedApplication()->headlessURLOpener().openedURLs();
    ASSERT_FALSE(opened.empty()) << "the login left us";
    EXPECT_NE(opened.front().find("local_client_id=&"), std::string::npos) << "an empty suffix is a suffix";
    const std::string path = imagePathOfParkedItem();
    ASSERT_FALSE(path.empty());
    EXPECT_TRUE(kit::FileManager::fileExists(path));
    EXPECT_EQ(path.rfind(kit::Paths::cachesDirectory() + "/ShareImage/img-", 0), 0u) << path;
  }
  // The program restarts: nobody waits for the callback.
  ShareFacebook::resetForTesting();
  Share::currentHelper()->hideCurrentViewControllerAnimated(false);
  loop().advance(1);
  const std::string path = imagePathOfParkedItem();
  EXPECT_FALSE(ShareFacebook::handleOpenURL(kit::URL::URLWithString("fb999://authorize#access_token=x").get()));
  EXPECT_TRUE(defaults().exists(ShareFacebook::kStoredItemKey)) << "another app's callback changes nothing";
  ASSERT_TRUE(ShareFacebook::handleOpenURL(kit::URL::URLWithString("fb123://authorize#access_token=T&expires_in=60").get()));
  EXPECT_EQ(defaults().stringForKey(ShareFacebook::kAccessTokenKey), "T");
  EXPECT_FALSE(defaults().exists(ShareFacebook::kStoredItemKey));
  EXPECT_FALSE(kit::FileManager::fileExists(path)) << "the parked image is read back once";
  loop().advance(1);
  // The fresh sharer shows the restored photo's caption and posts it.
  ASSERT_TRUE(form());
  EXPECT_TRUE(form()->image()) << "the editor shows the photo";
  typeAndSend("Cat!");
  ASSERT_TRUE(waitForReport());
  EXPECT_EQ(reports_.back(), ShareSharer::kSendDidFinishNotification);
  ASSERT_EQ(server_.requests().size(), 1u);
  const std::string body = server_.requests()[0].body;
  EXPECT_NE(body.find("name=\"caption\"\r\n\r\nCat!\r\n"), std::string::npos);
  EXPECT_NE(body.find("name=\"picture\"; filename=\"picture\"\r\nContent-Type: image/png\r\n\r\n" +
                      image->pngData()->toString()),
            std::string::npos);
}

TEST_F(ShareFacebookTest, AFailedOrCancelledLoginDropsTheParkedItemAndItsImage) {
  auto image = kit::Image::imageWithPixels({1, 1}, std::vector<uint8_t>(4, 9));
  // A login dialog that ends on an error redirect: one alert, nothing left
  // parked, and the sharer lets go of itself.
  for (const char* end : {"fbconnect://cancel?error_code=100&error_msg=no", "fbconnect://success?error_code=200"}) {
    kit::WeakRef<ShareSharer> weak;
    std::string path;
    {
      kit::Ref<ShareSharer> sharer = ShareSharer::shareItem(ShareFacebook::kName, ShareItem::image(image, "x").get());
      weak = sharer.get();
      path = imagePathOfParkedItem();
      ASSERT_TRUE(kit::FileManager::fileExists(path));
      redirect(client()->loginDialog(), end);
    }
    ASSERT_TRUE(topAlert()) << end;
    EXPECT_EQ(topAlert()->title(), "Authorize Error");
    EXPECT_EQ(topAlert()->message(), "There was an error while authorizing");
    topAlert()->dismissWithClickedButtonIndex(0, false);
    EXPECT_FALSE(topAlert()) << "reported once";
    EXPECT_FALSE(defaults().exists(ShareFacebook::kStoredItemKey));
    EXPECT_FALSE(kit::FileManager::fileExists(path));
    EXPECT_EQ(client()->sessionDelegate(), nullptr);
    loop().advance(1);
    EXPECT_TRUE(weak.expired()) << end;
  }

  kit::Ref<ShareSharer> sharer = ShareSharer::shareItem(ShareFacebook::kName, ShareItem::image(image, "x").get());
  std::string path = imagePathOfParkedItem();
  redirect(client()->loginDialog(), "fbconnect://cancel");
  EXPECT_FALSE(topAlert()) << "a cancellation needs no alert";
  EXPECT_FALSE(kit::FileManager::fileExists(path));

  // Logging out forgets the token, the profile and anything parked.
  sharer = ShareSharer::shareItem(ShareFacebook::kName, ShareItem::image(image, "x").get());
  path = imagePathOfParkedItem();
  storeToken();
  defaults().setString("ann", ShareFacebook::kUserInfoKey);
  kit::HTTPCookieStorage& jar = kit::HTTPCookieStorage::sharedHTTPCookieStorage();
  jar.setCookie(kit::HTTPCookie::cookieWithSetCookieHeader(
      "s=1; Secure", *kit::URL::URLWithString("https://login.example.test/")));
  sharer->logout();
  EXPECT_TRUE(jar.cookiesForURL(*kit::URL::URLWithString("https://login.example.test/")).empty())
      << "the service's login session ends too";
  for (const char* key : {ShareFacebook::kAccessTokenKey, ShareFacebook::kExpiryDateKey, ShareFacebook::kUserInfoKey,
                          ShareFacebook::kStoredItemKey})
    EXPECT_FALSE(defaults().exists(key)) << key;
  EXPECT_FALSE(kit::FileManager::fileExists(path));
  EXPECT_FALSE(sharer->isAuthorized());
  static_cast<ShareFacebook&>(*sharer).fbDidNotLogin(true);
}

TEST_F(ShareFacebookTest, TheProfileIsStoredOnlyWhenItHasAUserName) {
  server_.route("GET", "/graph/me", tolvatest::TestResponse::ok("{\"username\":\"ann\",\"bio\":null,\"id\":\"7\"}"));
  storeToken();
  kit::Ref<ShareSharer> sharer = ShareSharer::getUserInfo(ShareFacebook::kName);
  ASSERT_TRUE(sharer);
  ASSERT_TRUE(waitForReport());
  EXPECT_TRUE(sharer->quiet());
  kit::Ref<kit::Dictionary> profile = defaults().dictionaryForKey(ShareFacebook::kUserInfoKey);
  ASSERT_TRUE(profile);
  EXPECT_EQ(kit::cast<kit::String>(profile->objectForKey("username"))->str(), "ann");
  EXPECT_EQ(kit::cast<kit::String>(profile->objectForKey("bio"))->str(), "");

  defaults().removeObjectForKey(ShareFacebook::kUserInfoKey);
  server_.route("GET", "/graph/me", tolvatest::TestResponse::ok("{\"id\":\"7\"}"));
  sharer = ShareSharer::getUserInfo(ShareFacebook::kName);
  ASSERT_TRUE(waitForReport());
  EXPECT_EQ(reports_.back(), ShareSharer::kSendDidFinishNotification);
  EXPECT_FALSE(defaults().exists(ShareFacebook::kUserInfoKey));
}

TEST_F(ShareFacebookTest, AnAPIErrorWithoutACodeAsksForANewLoginOthersFail) {
  server_.route("POST", "/graph/me/feed",
                tolvatest::TestResponse::ok("{\"error\":{\"type\":\"OAuthException\",\"message\":\"bad\"}}"));
  storeToken();
  kit::Ref<ShareSharer> sharer = ShareSharer::sharerWithClassName(ShareFacebook::kName);
  sharer->setItem(ShareItem::text("hi").get());
  ASSERT_TRUE(sharer->send());
  ASSERT_TRUE(waitForReport());
  EXPECT_EQ(sharer->pendingAction(), SharePendingActionSend);
  EXPECT_TRUE(client()->loginDialog()) << "the user logs in again";
  EXPECT_EQ(defaults().stringForKey(ShareFacebook::kAccessTokenKey), "tok") << "the stored copy stays";
  static_cast<ShareFacebook&>(*sharer).fbDidNotLogin(true);

  server_.route("POST", "/graph/me/feed", tolvatest::TestResponse::ok("{\"error_code\":506,\"error_msg\":\"dup\"}"));
  sharer = ShareSharer::sharerWithClassName(ShareFacebook::kName);
  sharer->setItem(ShareItem::text("hi").get());
  ASSERT_TRUE(sharer->send());
  ASSERT_TRUE(waitForReport());
  EXPECT_EQ(reports_.back(), ShareSharer::kSendDidFailWithErrorNotification);
  ASSERT_TRUE(sharer->lastError());
  EXPECT_EQ(sharer->lastError()->code(), 506);
  EXPECT_EQ(sharer->pendingAction(), SharePendingActionNone);

  // An outage is a failed share, not a login problem.
  server_.route("POST", "/graph/me/feed", tolvatest::TestResponse::withStatus(503, "<html>down</html>"));
  storeToken();
  sharer = ShareSharer::sharerWithClassName(ShareFacebook::kName);
  sharer->setItem(ShareItem::text("hi").get());
  kit::Ref<SNDialog> lastLogin(client()->loginDialog());
  ASSERT_TRUE(sharer->send());
  ASSERT_TRUE(waitForReport());
  EXPECT_EQ(reports_.back(), ShareSharer::kSendDidFailWithErrorNotification);
  EXPECT_EQ(sharer->pendingAction(), SharePendingActionNone);
  ASSERT_TRUE(topAlert());
  EXPECT_EQ(topAlert()->title(), "Error");
  EXPECT_EQ(topAlert()->message(), "The service answered HTTP 503");
  topAlert()->dismissWithClickedButtonIndex(0, false);
  EXPECT_EQ(client()->loginDialog(), lastLogin.get()) << "no new login";
  // So is an outage the service explains with its own error object.
  server_.route("POST", "/graph/me/feed",
                tolvatest::TestResponse::withStatus(500, "{\"error\":{\"type\":\"OAuthException\",\"message\":\"down\"}}"));
  storeToken();
  sharer = ShareSharer::sharerWithClassName(ShareFacebook::kName);
  sharer->setItem(ShareItem::text("hi").get());
  ASSERT_TRUE(sharer->send());
  ASSERT_TRUE(waitForReport());
  EXPECT_EQ(reports_.back(), ShareSharer::kSendDidFailWithErrorNotification);
  EXPECT_EQ(sharer->pendingAction(), SharePendingActionNone);
  ASSERT_TRUE(sharer->lastError());
  EXPECT_EQ(sharer->lastError()->code(), SNRequest::kClientErrorCode);
  ASSERT_TRUE(topAlert());
  topAlert()->dismissWithClickedButtonIndex(0, false);
  EXPECT_EQ(client()->loginDialog(), lastLogin.get()) << "no new login";

  // Nothing to send: no request.
  sharer->setItem(ShareItem::text("").get());
  EXPECT_FALSE(sharer->send());
  sharer->setItem(ShareItem::file(kit::Data::dataWithString("x"), "f", "text/plain", "t").get());
  EXPECT_FALSE(sharer->send());
}

}  // namespace
