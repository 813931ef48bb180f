// The micro-blog sharer against a loopback fake of the service, its image
// host and its link shortener; the fake checks every OAuth signature.

#include "../ShareTest.h"
#include "../oauth/FakeOAuthService.h"
#include "kit/net/HTTPReadStream.h"
#include "kit/ui/Image.h"
#include "share/services/twitter/ShareTwitter.h"
#include "share/ui/ShareFormControllerLargeTextField.h"
#include "share/ui/ShareFormController.h"
#include "share/ui/ShareFormFieldCell.h"
#include "support/TestCertificateAuthority.h"
#include "support/TestHTTPServer.h"

using namespace tolva;
using sharetest::FakeService;
using tolvatest::RecordedRequest;
using tolvatest::TestHTTPServer;
using tolvatest::TestResponse;

namespace {

class TwitterConfigurator : public DefaultShareConfigurator {
 public:
  std::string bitLyLoginValue, bitLyKeyValue, username;
  long useXAuth = 0;
  std::string twitterConsumerKey() const override { return "c key"; }
  std::string twitterSecret() const override { return "c secret"; }
  std::string twitterCallbackUrl() const override { return "http://callback.test/done"; }
  long twitterUseXAuth() const override { return useXAuth; }
  std::string twitterUsername() const override { return username; }
  std::string bitLyLogin() const override { return bitLyLoginValue; }
  std::string bitLyKey() const override { return bitLyKeyValue; }
};

class Recorder : public ShareSharerDelegate {
 public:
  std::vector<std::string> events;
  void sharerStartedSending(ShareSharer*) override { events.push_back("start"); }
  void sharerFinishedSending(ShareSharer*) override { events.push_back("finish"); }
  void sharer(ShareSharer*, const kit::Error* error, bool relogin) override {
    events.push_back("fail:" + (error ? error->domain() + "/" + std::to_string(error->code()) + "/" + error->localizedDescription() : std::string("-")) +
                     (relogin ? ":relogin" : ""));
  }
  void sharerAuthDidFinish(ShareSharer*, bool ok) override { events.push_back(ok ? "auth:yes" : "auth:no"); }
  void sharerCancelledSending(ShareSharer*) override { events.push_back("cancel"); }
};

class TwitterTest : public sharetest::ShareTest {
 protected:
  kit::Ref<DefaultShareConfigurator> configurator() override { return config_; }
  void SetUp() override {
    ShareTest::SetUp();
    ASSERT_TRUE(kit::HTTPReadStream::addTrustedCertificate(tolvatest::TestCertificateAuthority::shared().certificatePEM()));
    const std::string host = "127.0.0.1:" + std::to_string(server_.port());
    ShareTwitter::hosts().api = ShareTwitter::hosts().imageHost = ShareTwitter::hosts().shortener = host;
    service_.origin = server_.origin();
    server_.route("POST", "/1/statuses/update.json", [this](const RecordedRequest& r) {
      if (!service_.verify(r)) return TestResponse::withStatus(401, "{\"error\":\"Could not authenticate with OAuth.\"}");
      return statusReply_;
    });
  }
  void TearDown() override {
    ShareTwitter::hosts() = {};
    ShareTest::TearDown();
  }
  static void loggedIn() {
    Share::setAuthValue("at", "accessKey", "ShareTwitter");
    Share::setAuthValue("ats=x", "accessSecret", "ShareTwitter");
  }
  kit::Ref<ShareTwitter> sharerFor(kit::Ref<ShareItem> item) {
    auto s = kit::make<ShareTwitter>();
    s->setItem(item.get());
    s->setShareDelegate(recorder_.get());
    return s;
  }
  void waitFor(size_t events) {
    EXPECT_TRUE(loop().runUntil([&] { return recorder_->events.size() >= events; }, 10)) << recorder_->events.size();
    loop().drain();
  }
  std::vector<std::string> sendStatus(const std::string& status, TestResponse reply) {
    statusReply_ = std::move(reply);
    recorder_->events.clear();
    auto s = sharerFor(ShareItem::text(status));
    s->prepareItem();
    EXPECT_TRUE(s->send());
    waitFor(2);
    return recorder_->events;
  }

  kit::Ref<TwitterConfigurator> config_ = kit::make<TwitterConfigurator>();
  TestHTTPServer server_{tolvatest::TestHTTPServerOptions::https()};
  FakeService service_{"c secret", {{"", ""}, {"at", "ats=x"}}, ""};
  TestResponse statusReply_ = TestResponse::ok("{\"id\":1}");
  kit::Ref<Recorder> recorder_ = kit::make<Recorder>();
};

TEST_F(TwitterTest, TheStatusIsSignedAndTheServicesRefusalsAreSortedOut) {
  loggedIn();
  EXPECT_EQ(sendStatus("Hello wörld & co", TestResponse::ok("{}")), (std::vector<std::string>{"start", "finish"}));
  RecordedRequest r = *server_.lastRequest();
  EXPECT_EQ(r.body, "status=Hello%20w%C3%B6rld%20%26%20co");
  std::map<std::string, std::string> values;
  EXPECT_TRUE(service_.verify(r, &values));
  EXPECT_EQ(values["oauth_token"], "at");

  EXPECT_EQ(sendStatus("x", TestResponse::withStatus(401, "{\"error\":\"Invalid / used nonce\"}")),
            (std::vector<std::string>{"start", "fail:sharing/1/Could not authenticate you. Please relogin.:relogin"}))
      << "one report for the refusal";
  EXPECT_EQ(sendStatus("x", TestResponse::withStatus(401, "<errors><error code=\"401\">Nope</error></errors>")).back(),
            "fail:sharing/1/Could not authenticate you. Please relogin.:relogin");
  EXPECT_EQ(sendStatus("x", TestResponse::withStatus(403, "{\"request\":\"/1\", \"error\" : \"Status is a duplicate.\"}")).back(),
            "fail:Twitter/2/Status is a duplicate.");
  EXPECT_EQ(sendStatus("x", TestResponse::withStatus(500, "")).back(), "fail:Twitter/2/Unknown Error");

  // A wrong secret is refused by the service's own check.
  Share::setAuthValue("wrong", "accessSecret", "ShareTwitter");
  EXPECT_EQ(sendStatus("x", TestResponse::ok("{}")).back(),
            "fail:sharing/1/Could not authenticate you. Please relogin.:relogin");
  loggedIn();

  auto tooLong = sharerFor(ShareItem::text(std::string(141, 'a')));
  tooLong->prepareItem();
  EXPECT_FALSE(tooLong->send());
  // Counted in UTF-16 units: 140 two-byte letters fit.
  std::string wide;
  for (int i = 0; i < 140; ++i) wide += "\xc3\xa9";
  auto fits = sharerFor(ShareItem::text(wide));
  fits->prepareItem();
  EXPECT_TRUE(fits->validateItemAfterUserEdit());
}

TEST_F(TwitterTest, TheStatusIsWrittenInTheLongTextEditorWithItsLimit) {
  loggedIn();
  statusReply_ = TestResponse::ok("{\"id\":1}");
  // A stored auto-share choice never skips the editor.
  defaults().setBool(true, "ShareTwitter_shouldAutoShare");
  auto shared = sharerFor(ShareItem::text("words"));
  shared->share();
  loop().drain();
  EXPECT_TRUE(dynamic_cast<tolva::ShareFormControllerLargeTextField*>(shared->topViewController()));
  EXPECT_TRUE(recorder_->events.empty()) << "nothing sent";
  EXPECT_EQ(server_.requestCount(), 0u);

  auto s = sharerFor(ShareItem::image(kit::Image::imageWithPixels({2, 2}, std::vector<uint8_t>(16, 255)), "Pic"));
  s->prepareItem();
  s->showTwitterForm();
  auto* form = dynamic_cast<tolva::ShareFormControllerLargeTextField*>(s->topViewController());
  ASSERT_TRUE(form);
  EXPECT_EQ(form->maxTextLength(), 140u);
  EXPECT_EQ(form->imageTextLength(), 25u) << "room kept for the picture's link";
  EXPECT_TRUE(form->image());
  form->view();
  form->textView()->setText("edited");
  form->textViewDidChange(*form->textView());
  EXPECT_EQ(form->remainingCharacters(), 140 - 25 - 6);
  form->cancel();
  EXPECT_EQ(recorder_->events.back(), "cancel");
}

TEST_F(TwitterTest, ALinkIsShortenedOrPostedAsGiven) {
  auto link = ShareItem::URL(kit::URL::URLWithString("http://example.com/a%20b?q=1"), "Title");
  auto s = sharerFor(link);
  EXPECT_TRUE(s->prepareItem());
  EXPECT_EQ(link->customStringForKey("status"), "Title http://example.com/a%20b?q=1") << "never percent-decoded";
  auto bare = ShareItem::URL(kit::URL::URLWithString("http://example.com/"));
  sharerFor(bare)->prepareItem();
  EXPECT_EQ(bare->customStringForKey("status"), "http://example.com/");

  loggedIn();
  config_->bitLyLoginValue = "me";
  config_->bitLyKeyValue = "k&y";
  std::string answer = "http://bit.ly/xyz\n";
  int status = 200;
  server_.route("GET", "/v3/shorten", [&](const RecordedRequest&) { return TestResponse::withStatus(status, answer); });
  auto shorten = [&](kit::Ref<ShareItem> item) {
    auto sharer = sharerFor(item);
    const size_t before = server_.requestsFor("/v3/shorten").size();
    EXPECT_FALSE(sharer->prepareItem());
    EXPECT_TRUE(loop().runUntil([&] { return !item->customStringForKey("status").empty(); }, 10));
    EXPECT_EQ(server_.requestsFor("/v3/shorten").size(), before + 1);
    loop().drain();
    return item->customStringForKey("status");
  };
  EXPECT_EQ(shorten(ShareItem::URL(kit::URL::URLWithString("http://example.com/a%20b?q=1"), "Title")),
            "Title http://bit.ly/xyz");
  EXPECT_EQ(server_.requestsFor("/v3/shorten").back().query,
            "login=me&apikey=k%26y&longUrl=http%3A%2F%2Fexample.com%2Fa%2520b%3Fq%3D1&format=txt");
  EXPECT_TRUE(server_.requestsFor("/v3/shorten").back().tls);
  EXPECT_FALSE(topAlert());

  answer = "ALREADY_A_BITLY_LINK";
  EXPECT_EQ(shorten(ShareItem::URL(kit::URL::URLWithString("http://bit.ly/abc"), "T")), "T http://bit.ly/abc");
  EXPECT_FALSE(topAlert());
  for (auto [code, text] : std::vector<std::pair<int, std::string>>{
           {200, "INVALID_LOGIN"}, {200, "javascript:alert(1)"}, {500, "http://bit.ly/err"}, {200, ""}}) {
    status = code;
    answer = text;
    EXPECT_EQ(shorten(ShareItem::URL(kit::URL::URLWithString("http://example.com/"), "T")), "T http://example.com/")
        << text;
    ASSERT_TRUE(topAlert()) << text;
    EXPECT_EQ(topAlert()->title(), "Shorten URL Error");
    EXPECT_EQ(topAlert()->message(), "We could not shorten the URL.");
    topAlert()->dismissWithClickedButtonIndex(0, false);
  }
}

TEST_F(TwitterTest, AProfileImageGoesAloneToTheProfilePath) {
  loggedIn();
  server_.route("POST", "/1/account/update_profile_image.json", TestResponse::ok("{\"id\":1}"));
  auto picture = kit::Image::imageWithPixels({8, 8}, std::vector<uint8_t>(256, 0x40));
  auto item = ShareItem::image(picture, "Me");
  item->setCustomValue(std::string("1"), "profile_update");
  auto s = sharerFor(item);
  s->prepareItem();
  EXPECT_TRUE(s->send());
  waitFor(2);
  EXPECT_EQ(recorder_->events, (std::vector<std::string>{"start", "finish"}));
  auto sent = server_.requestsFor("/1/account/update_profile_image.json");
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_TRUE(service_.verify(sent[0]));
  EXPECT_EQ(sent[0].body, "--0xKhTmLbOuNdArY\r\nContent-Disposition: form-data; name=\"image\"; filename=\"upload.jpg\"\r\n"
                          "Content-Type: image/jpg\r\n\r\n" +
                              picture->jpegData(0.9)->toString() + "\r\n--0xKhTmLbOuNdArY--\r\n");
  EXPECT_TRUE(server_.requestsFor("/api/2/upload.xml").empty());
}

TEST_F(TwitterTest, AnImageIsUploadedWithOAuthEchoThenPosted) {
  loggedIn();
  std::string uploadReply = "<?xml version=\"1.0\"?><image><URL>http://img.test/abc</URL></image>";
  int uploadStatus = 200;
  server_.route("POST", "/api/2/upload.xml", [&](const RecordedRequest&) {
    return TestResponse::withStatus(uploadStatus, uploadReply);
  });
  auto picture = kit::Image::imageWithPixels({8, 8}, std::vector<uint8_t>(256, 0x40));
  auto item = ShareItem::image(picture, "Look");
  auto s = sharerFor(item);
  s->prepareItem();
  EXPECT_TRUE(s->send());
  waitFor(2);
  EXPECT_EQ(recorder_->events, (std::vector<std::string>{"start", "finish"})) << "started once";
  auto uploads = server_.requestsFor("/api/2/upload.xml");
  ASSERT_EQ(uploads.size(), 1u);
  const RecordedRequest& up = uploads[0];
  EXPECT_TRUE(up.tls);
  EXPECT_EQ(up.headers.value("X-Auth-Service-Provider"), server_.url("/1/account/verify_credentials.json"));
  std::map<std::string, std::string> echo;
  EXPECT_TRUE(service_.verifyHeader("GET", "/1/account/verify_credentials.json",
                                    up.headers.value("X-Verify-Credentials-Authorization"), "", &echo));
  EXPECT_EQ(echo["realm"], server_.url("/"));
  EXPECT_TRUE(service_.verify(up)) << "the multipart body is not signed";
  EXPECT_EQ(up.headers.value("Content-Type"), "multipart/form-data; boundary=0xKhTmLbOuNdArY");
  EXPECT_EQ(up.body, "--0xKhTmLbOuNdArY\r\nContent-Disposition: form-data; name=\"media\"; filename=\"upload.jpg\"\r\n"
                     "Content-Type: image/jpg\r\n\r\n" +
                         picture->jpegData(0.9)->toString() +
                         "\r\n--0xKhTmLbOuNdArY\r\nContent-Disposition: form-data; name=\"message\"\r\n\r\nLook\r\n"
                         "--0xKhTmLbOuNdArY--\r\n");
  EXPECT_EQ(server_.lastRequest()->body, "status=Look%20http%3A%2F%2Fimg.test%2Fabc");

  recorder_->events.clear();
  uploadReply = "</url>broken<url>";
  auto again = sharerFor(ShareItem::image(picture, "Look"));
  again->prepareItem();
  again->send();
  waitFor(2);
  EXPECT_EQ(recorder_->events.back(), "fail:Twitter/2/Unknown Error");
  recorder_->events.clear();
  uploadStatus = 500;
  auto failed = sharerFor(ShareItem::image(picture, "Look"));
  failed->prepareItem();
  failed->send();
  waitFor(2);
  // A refused upload is a failure the user can read, as the service's own are.
  EXPECT_EQ(recorder_->events, (std::vector<std::string>{"start", "fail:Twitter/2/Unknown Error"}));
}

TEST_F(TwitterTest, ImageQualityStepsDownInTenthsAndRepliesAreParsed) {
  std::vector<uint8_t> noise(1500 * 1500 * 4);
  uint32_t x = 12345;
  for (auto& b : noise) {
    x = x * 1103515245u + 12345u;
    b = static_cast<uint8_t>(x >> 16);
  }
  auto big = kit::Image::imageWithPixels({1500, 1500}, noise);
  int tenths = 0;
  kit::Ref<kit::Data> jpeg = ShareTwitter::jpegForUpload(*big, &tenths);
  ASSERT_TRUE(jpeg);
  EXPECT_LT(tenths, 9);
  EXPECT_EQ(jpeg->toString(), big->jpegData(tenths / 10.0)->toString());
  if (tenths > 1) {
    EXPECT_LE(jpeg->length(), ShareTwitter::kMaxImageBytes);
    EXPECT_GT(big->jpegData((tenths + 1) / 10.0)->length(), ShareTwitter::kMaxImageBytes);
  }
  auto small = kit::Image::imageWithPixels({4, 4}, std::vector<uint8_t>(64, 1));
  ShareTwitter::jpegForUpload(*small, &tenths);
  EXPECT_EQ(tenths, 9);

  EXPECT_EQ(ShareTwitter::uploadedImageURL("<rsp><url>http://a/b</url></rsp>"), "http://a/b");
  EXPECT_EQ(ShareTwitter::uploadedImageURL("</URL>x<URL>http://a/c</Url>"), "http://a/c");
  EXPECT_FALSE(ShareTwitter::uploadedImageURL("<url>http://a/b"));
  EXPECT_EQ(ShareTwitter::errorMessage("{\"error\":\"Bad\"}"), "Bad");
  EXPECT_EQ(ShareTwitter::errorMessage("{\"errors\":[1]}"), "Unknown Error");
  EXPECT_EQ(ShareTwitter::errorMessage("{\"error\":\"unterminated"), "Unknown Error");
}

TEST_F(TwitterTest, TheProfileIsStoredOnlyWhenItIsAnObject) {
  loggedIn();
  std::string profile = "{\"screen_name\":\"me\",\"url\":null,\"status\":{\"geo\":null}}";
  server_.route("GET", "/1/account/verify_credentials.json", [&](const RecordedRequest& r) {
    if (!service_.verify(r)) return TestResponse::withStatus(401, "{\"error\":\"Could not authenticate with OAuth.\"}");
    return TestResponse::ok(profile);
  });
  auto user = kit::make<ShareItem>();
  user->setShareType(ShareShareTypeUserInfo);
  auto s = sharerFor(user);
  EXPECT_TRUE(s->send());
  waitFor(2);
  EXPECT_EQ(recorder_->events.back(), "finish");
  auto* stored = kit::cast<kit::Dictionary>(defaults().objectForKey(ShareTwitter::kUserInfoKey).get());
  ASSERT_TRUE(stored);
  EXPECT_EQ(kit::cast<kit::String>(stored->objectForKey("url"))->str(), "");
  EXPECT_EQ(kit::cast<kit::String>(kit::cast<kit::Dictionary>(stored->objectForKey("status"))->objectForKey("geo"))->str(), "");

  profile = "[1,2]";
  recorder_->events.clear();
  sharerFor(user)->send();
  waitFor(2);
  EXPECT_EQ(recorder_->events.back().rfind("fail:", 0), 0u);
  EXPECT_TRUE(kit::cast<kit::Dictionary>(defaults().objectForKey(ShareTwitter::kUserInfoKey).get()));

  kit::make<ShareTwitter>()->logout();
  EXPECT_FALSE(defaults().objectForKey(ShareTwitter::kUserInfoKey));
  EXPECT_FALSE(Share::getAuthValueForKey("accessKey", "ShareTwitter"));
}

TEST_F(TwitterTest, XAuthSendsTheLoginInTheSignedAccessRequestAndFollows) {
  config_->useXAuth = 1;
  config_->username = "tolva";
  server_.route("POST", "/oauth/access_token", [this](const RecordedRequest& r) {
    if (!service_.verify(r)) return TestResponse::withStatus(401, "signature_invalid");
    return TestResponse::ok("oauth_token=at&oauth_token_secret=ats%3Dx");
  });
  server_.routePrefix("POST", "/1/friendships/create/", TestResponse::ok("{}"));
  auto s = kit::make<ShareTwitter>();
  EXPECT_TRUE(s->xAuth());
  auto fields = s->authorizationFormFields();
  ASSERT_EQ(fields.size(), 3u);
  EXPECT_EQ(fields[2]->key(), "followMe");
  EXPECT_EQ(fields[2]->label(), "Follow tolva");
  EXPECT_EQ(s->authorizationFormCaption(), "Create a free account at http://twitter.com");

  s->setShareDelegate(recorder_.get());
  s->setItem(ShareItem::text("hi").get());
  s->share();
  auto* nav = dynamic_cast<ShareSharer*>(Share::currentHelper()->currentView());
  ASSERT_TRUE(nav);
  auto* form = dynamic_cast<ShareFormController*>(nav->topViewController());
  ASSERT_TRUE(form);
  form->view();
  form->tableView()->layoutIfNeeded();
  auto cell = [&](long row) {
    return dynamic_cast<ShareFormFieldCell*>(form->tableView()->cellForRowAtIndexPath({0, row}));
  };
  ASSERT_TRUE(cell(0) && cell(1) && cell(2));
  cell(0)->getTextField()->setText("me@x");
  cell(1)->getTextField()->setText("p&w");
  s->authorizationFormValidate(form);
  waitFor(1);
  EXPECT_EQ(recorder_->events.front(), "auth:yes");
  auto access = server_.requestsFor("/oauth/access_token");
  ASSERT_EQ(access.size(), 1u);
  EXPECT_EQ(access[0].body, "x_auth_username=me%40x&x_auth_password=p%26w&x_auth_mode=client_auth");
  EXPECT_EQ(Share::getAuthValueForKey("accessSecret", "ShareTwitter"), "ats=x");
  EXPECT_FALSE(Share::getAuthValueForKey("password", "ShareTwitter")) << "the password is not kept";
  EXPECT_TRUE(s->item()->customBoolForSwitchKey("followMe"));

  recorder_->events.clear();
  EXPECT_TRUE(s->send());
  waitFor(2);
  EXPECT_TRUE(loop().runUntil([&] { return !server_.requestsFor("/1/friendships/create/tolva.json").empty(); }, 10));
  EXPECT_TRUE(service_.verify(server_.requestsFor("/1/friendships/create/tolva.json")[0]));
  EXPECT_FALSE(s->item()->customValueForKey("followMe"));
}

}  // namespace
