// The four web sharers against loopback fakes of their services: the exact
// login and share requests, and what each answer status turns into.

#include <algorithm>
#include <memory>

#include "../ShareTest.h"
#include "kit/foundation/Number.h"
#include "kit/net/HTTPReadStream.h"
#include "kit/security/Base64.h"
#include "kit/ui/BarButtonItem.h"
#include "kit/ui/Image.h"
#include "kit/ui/NavigationItem.h"
#include "share/ShareRegistration.h"
#include "share/ui/ShareActivityIndicator.h"
#include "share/ui/ShareFormController.h"
#include "share/ui/ShareFormFieldCell.h"
#include "share/services/instapaper/ShareInstapaper.h"
#include "share/services/pinboard/SharePinboard.h"
#include "share/services/readitlater/ShareReadItLater.h"
#include "share/services/tumblr/ShareTumblr.h"
#include "support/TestCertificateAuthority.h"
#include "support/TestHTTPServer.h"

using namespace tolva;
using tolvatest::RecordedRequest;
using tolvatest::TestHTTPServer;
using tolvatest::TestHTTPServerOptions;
using tolvatest::TestResponse;

namespace {

// Every report a sharer makes, in order.
class Recorder : public ShareSharerDelegate {
 public:
  std::vector<std::string> events;
  void sharerStartedSending(ShareSharer*) override { events.push_back("start"); }
  void sharerFinishedSending(ShareSharer*) override { events.push_back("finish"); }
  void sharer(ShareSharer*, const kit::Error* error, bool relogin) override {
    events.push_back("fail:" + (error ? error->localizedDescription() : std::string("-")) + (relogin ? ":relogin" : ""));
  }
  void sharerCancelledSending(ShareSharer*) override { events.push_back("cancel"); }
  void sharerAuthDidFinish(ShareSharer*, bool ok) override { events.push_back(ok ? "auth:yes" : "auth:no"); }
};

// The configuration values the requests carry, set per test.
class WebConfigurator : public DefaultShareConfigurator {
 public:
  std::string key;
  std::string app;
  std::string appName() const override { return app; }
  std::string readItLaterKey() const override { return key; }
};

class WebSharersTest : public sharetest::ShareTest {
 protected:
  kit::Ref<DefaultShareConfigurator> configurator() override { return configurator_; }
  void SetUp() override {
    ShareTest::SetUp();
    ASSERT_TRUE(kit::HTTPReadStream::addTrustedCertificate(tolvatest::TestCertificateAuthority::shared().certificatePEM()));
    registerShareClasses(kit::ClassRegistry::shared());
    const std::string host = "127.0.0.1:" + std::to_string(server_.port());
    ShareInstapaper::hosts().api = host;
    SharePinboard::hosts().api = host;
    ShareReadItLater::hosts().api = host;
    ShareTumblr::hosts().api = host;
  }
  void TearDown() override {
    ShareInstapaper::hosts() = {};
    SharePinboard::hosts() = {};
    ShareReadItLater::hosts() = {};
    ShareTumblr::hosts() = {};
    ShareTest::TearDown();
  }

  static void store(const std::string& sharer, const std::string& userKey, const std::string& user) {
    Share::setAuthValue(user, userKey, sharer);
    Share::setAuthValue("p w&=", "password", sharer);
  }

  // Sends `item` with `sharer` and waits for its last report.
  std::vector<std::string> send(ShareSharer* sharer, kit::Ref<ShareItem> item) {
    auto recorder = kit::make<Recorder>();
    sharer->setShareDelegate(recorder.get());
    sharer->setItem(item.get());
    EXPECT_TRUE(sharer->send());
    EXPECT_TRUE(loop().runUntil([&] { return recorder->events.size() >= 2; }, 10));
    loop().drain();
    return recorder->events;
  }

  // Opens the login form of `className`, types into its two rows and taps
  // the button; answers the reports once the check is answered.
  std::vector<std::string> login(const std::string& className, const std::string& user, const std::string& password,
                                 size_t waitFor = 1) {
    auto recorder = kit::make<Recorder>();
    kit::Ref<ShareSharer> sharer = ShareSharer::sharerWithClassName(className);
    sharer->logout();
    sharer->setShareDelegate(recorder.get());
    sharer->setItem(page().get());
    sharer->share();
    loop().advance(1);
    auto* f = dynamic_cast<ShareFormController*>(sharer->topViewController());
    EXPECT_TRUE(f && f->title() == "Login");
    if (!f) return {};
    f->view();
    f->tableView()->layoutIfNeeded();
    auto cell = [&](long row) { return dynamic_cast<ShareFormFieldCell*>(f->tableView()->cellForRowAtIndexPath({0, row})); };
    cell(0)->getTextField()->setText(user);
    cell(1)->getTextField()->setText(password);
    const size_t before = server_.requestCount();
    f->navigationItem()->rightBarButtonItem()->tap();
    ShareActivityIndicator* hud = ShareActivityIndicator::currentIndicator();
    hudWhileChecking_ = hud->superview() ? hud->subMessageLabel()->text() : "";
    EXPECT_TRUE(loop().runUntil([&] { return server_.requestCount() > before; }, 10));
    loop().runUntil([&] { return recorder->events.size() >= waitFor || topAlert(); }, 5);
    loop().drain();
    loop().advance(1);
    hudAfterwards_ = hud->superview() != nullptr;
    lastSharer_ = sharer;
    return recorder->events;
  }

  static kit::Ref<kit::Image> pixels() { return kit::Image::imageWithPixels({4, 4}, std::vector<uint8_t>(64, 0x80)); }
  static kit::Ref<ShareItem> page() {
    auto item = ShareItem::URL(kit::URL::URLWithString("http://example.com/a%20b?x=1&y=%C3%A9"), "Title & \"more\"");
    return item;
  }
  RecordedRequest last() const { return server_.lastRequest().value_or(RecordedRequest()); }
  // The server's answer from now on, whatever is asked.
  void answer(TestResponse response) {
    server_.setFallback([response](const RecordedRequest&) { return response; });
  }

  kit::Ref<WebConfigurator> configurator_ = kit::make<WebConfigurator>();
  TestHTTPServer server_{TestHTTPServerOptions::https()};
  kit::Ref<ShareSharer> lastSharer_;
  std::string hudWhileChecking_;  // the indicator's text while the login is checked
  bool hudAfterwards_ = true;     // whether it is still up once the answer came
};

TEST_F(WebSharersTest, InstapaperLoginIsCheckedBeforeItIsStored) {
  answer(TestResponse::withStatus(403));
  std::vector<std::string> events = login("ShareInstapaper", "me@x.org&", "p w");
  EXPECT_EQ(hudWhileChecking_, "Logging In...");
  EXPECT_FALSE(hudAfterwards_);
  EXPECT_EQ(last().method, "POST");
  EXPECT_EQ(last().path, "/api/authenticate");
  EXPECT_TRUE(last().tls);
  EXPECT_EQ(last().body, "username=me%40x.org%26&password=p%20w");
  ASSERT_TRUE(topAlert());
  EXPECT_EQ(topAlert()->title(), "Login Error");
  EXPECT_EQ(topAlert()->message(), "Sorry, Instapaper did not accept your credentials. Please try again.");
  EXPECT_EQ(events, std::vector<std::string>{"auth:no"});
  EXPECT_FALSE(Share::getAuthValueForKey("username", "ShareInstapaper"));
  topAlert()->dismissWithClickedButtonIndex(0, false);

  answer(TestResponse::withStatus(500));
  login("ShareInstapaper", "me", "pw");
  ASSERT_TRUE(topAlert());
  EXPECT_EQ(topAlert()->message(), "Sorry, Instapaper encountered an error. Please try again.");
  topAlert()->dismissWithClickedButtonIndex(0, false);

  answer(TestResponse::withStatus(201));
  events = login("ShareInstapaper", "me", "pw");
  // The pending share goes out with the new login and may already have finished.
  EXPECT_NE(std::find(events.begin(), events.end(), "auth:yes"), events.end());
  EXPECT_EQ(Share::getAuthValueForKey("username", "ShareInstapaper"), "me");
  EXPECT_EQ(Share::getAuthValueForKey("password", "ShareInstapaper"), "pw");
}

TEST_F(WebSharersTest, InstapaperShareRequestAndOutcomes) {
  store("ShareInstapaper", "username", "me@x");
  auto sharer = kit::make<ShareInstapaper>();
  auto item = page();
  item->setText("<b>Bold</b>\nline");
  answer(TestResponse::withStatus(201));
  EXPECT_EQ(send(sharer.get(), item), (std::vector<std::string>{"start", "finish"}));
  EXPECT_EQ(last().path, "/api/add");
  EXPECT_EQ(last().body,
            "url=http%3A%2F%2Fexample.com%2Fa%2520b%3Fx%3D1%26y%3D%25C3%25A9&title=Title%20%26%20%22more%22"
            "&selection=Bold%20%0Aline&username=me%40x&password=p%20w%26%3D");
  EXPECT_EQ(last().headers.value("Content-Type"), "application/x-www-form-urlencoded");

  // Without title or text both are sent empty.
  send(sharer.get(), ShareItem::URL(kit::URL::URLWithString("http://e.org/")));
  EXPECT_EQ(last().body, "url=http%3A%2F%2Fe.org%2F&title=&selection=&username=me%40x&password=p%20w%26%3D");

  answer(TestResponse::ok("200"));
  EXPECT_EQ(send(sharer.get(), page()).back(), "finish");
  answer(TestResponse::withStatus(403));
  EXPECT_EQ(send(sharer.get(), page()).back(), "fail:Could not authenticate you. Please relogin.:relogin");
  EXPECT_EQ(sharer->pendingAction(), SharePendingActionSend);
  answer(TestResponse::withStatus(500));
  EXPECT_EQ(send(sharer.get(), page()).back(), "fail:The service encountered an error. Please try again later.");
  answer(TestResponse::withStatus(401));
  EXPECT_EQ(send(sharer.get(), page()).back(), "fail:There was a problem saving to Instapaper.");
  server_.stop();
  EXPECT_EQ(send(sharer.get(), page()).back(), "fail:There was a problem saving to Instapaper.");
}

TEST_F(WebSharersTest, PinboardSendsTheLoginAsTheUserPartAndNeedsDone) {
  store("SharePinboard", "username", "me@x&");
  auto sharer = kit::make<SharePinboard>();
  // The service challenges first; the user part answers it.
  std::string reply = "<result code=\"done\" />";
  int status = 200;
  server_.setFallback([&](const RecordedRequest& r) {
    if (!r.headers.has("Authorization"))
      return TestResponse::withStatus(401, "401 Forbidden").header("WWW-Authenticate", "Basic realm=\"API\"");
    return TestResponse::withStatus(status, reply);
  });
  auto item = page();
  item->setTags("a b,c");
  item->setText("note");
  item->setCustomValue("1", "shared");
  EXPECT_EQ(send(sharer.get(), item), (std::vector<std::string>{"start", "finish"}));
  EXPECT_EQ(last().method, "GET");
  EXPECT_EQ(last().path, "/v1/posts/add");
  EXPECT_EQ(last().query,
            "url=http%3A%2F%2Fexample.com%2Fa%2520b%3Fx%3D1%26y%3D%25C3%25A9&description=Title%20%26%20%22more%22"
            "&tags=a%20b%2Cc&extended=note&shared=yes");
  EXPECT_EQ(last().headers.value("Authorization"), "Basic " + kit::Base64::encode("me@x&:p w&="));

  reply = "";
  EXPECT_EQ(send(sharer.get(), page()).back(), "fail:There was an error saving to Pinboard") << "empty is no success";
  reply = "<result code=\"something went wrong\" />";
  EXPECT_EQ(send(sharer.get(), page()).back(), "fail:There was an error saving to Pinboard");
  reply = "<result code=\"done\" />";
  status = 500;
  EXPECT_EQ(send(sharer.get(), page()).back(), "fail:There was an error saving to Pinboard");
  status = 200;
  reply = "401 Forbidden";
  std::vector<std::string> events = send(sharer.get(), page());
  EXPECT_EQ(events, (std::vector<std::string>{"start", "fail:Could not authenticate you. Please relogin.:relogin"}))
      << "a refused send is reported once";
  EXPECT_EQ(sharer->pendingAction(), SharePendingActionSend);
  server_.stop();
  EXPECT_EQ(send(sharer.get(), page()).back(), "fail:There was an error saving to Pinboard");
}

TEST_F(WebSharersTest, PinboardStoresOnlyALoginTheServiceAnswered) {
  server_.setFallback([](const RecordedRequest& r) {
    if (!r.headers.has("Authorization"))
      return TestResponse::withStatus(401, "401 Forbidden").header("WWW-Authenticate", "Basic realm=\"API\"");
    if (r.headers.value("Authorization") == "Basic " + kit::Base64::encode("me:right"))
      return TestResponse::ok("<posts user=\"me\"></posts>");
    return TestResponse::withStatus(401, "401 Forbidden");
  });
  std::vector<std::string> events = login("SharePinboard", "me", "wrong");
  EXPECT_EQ(hudWhileChecking_, "Logging In...");
  EXPECT_FALSE(hudAfterwards_);
  EXPECT_EQ(last().path, "/v1/posts/get");
  EXPECT_EQ(events, std::vector<std::string>{"fail:-:relogin"});
  EXPECT_FALSE(Share::getAuthValueForKey("username", "SharePinboard"));

  answer(TestResponse::ok(""));
  login("SharePinboard", "me", "right");
  EXPECT_FALSE(Share::getAuthValueForKey("username", "SharePinboard")) << "an empty reply proves nothing";
  ASSERT_TRUE(topAlert());
  EXPECT_EQ(topAlert()->title(), "Login Error");
  topAlert()->dismissWithClickedButtonIndex(0, false);

  server_.setFallback([](const RecordedRequest& r) {
    if (!r.headers.has("Authorization"))
      return TestResponse::withStatus(401).header("WWW-Authenticate", "Basic realm=\"API\"");
    return TestResponse::ok("<posts user=\"me\"></posts>");
  });
  login("SharePinboard", "me", "right");
  EXPECT_EQ(Share::getAuthValueForKey("username", "SharePinboard"), "me");
}

TEST_F(WebSharersTest, ReadItLaterEscapesJSONValuesAndReadsTheErrorHeader) {
  configurator_->key = "K&1";
  store("ShareReadItLater", "username", "me");
  auto sharer = kit::make<ShareReadItLater>();
  answer(TestResponse::ok("200 OK"));
  EXPECT_EQ(send(sharer.get(), page()).back(), "finish");
  EXPECT_EQ(last().path, "/v2/send");
  EXPECT_TRUE(last().tls) << "credentials never go over plain HTTP";
  EXPECT_EQ(last().body,
            "apikey=K%261&username=me&password=p%20w%26%3D&new={\"0\":{\"url\":\""
            "http%3A%2F%2Fexample.com%2Fa%2520b%3Fx%3D1%26y%3D%25C3%25A9\",\"title\":\"Title%20%26%20%5C%22more%5C%22\"}}");
  auto tagged = page();
  tagged->setTags("x,y");
  send(sharer.get(), tagged);
  EXPECT_NE(last().body.find("&update_tags={\"0\":{\"url\":\"http%3A%2F%2Fexample.com%2Fa%2520b%3Fx%3D1%26y%3D%25C3%25A9\","
                             "\"tags\":\"x%2Cy\"}}"),
            std::string::npos)
      << last().body;
  // The page's address goes as it is: an "&amp;" in it stays.
  auto amp = ShareItem::URL(kit::URL::URLWithString("http://e.org/?a=1&amp;b=2"), "t");
  amp->setTags("z");
  send(sharer.get(), amp);
  EXPECT_NE(last().body.find("&new={\"0\":{\"url\":\"http%3A%2F%2Fe.org%2F%3Fa%3D1%26amp%3Bb%3D2\""), std::string::npos)
      << last().body;
  EXPECT_NE(last().body.find("&update_tags={\"0\":{\"url\":\"http%3A%2F%2Fe.org%2F%3Fa%3D1%26amp%3Bb%3D2\""),
            std::string::npos);

  answer(TestResponse::withStatus(401));
  EXPECT_EQ(send(sharer.get(), page()).back(), "fail:Could not authenticate you. Please relogin.:relogin");
  answer(TestResponse::withStatus(403).header("X-Error", "Rate limit %@ %n exceeded"));
  EXPECT_EQ(send(sharer.get(), page()).back(), "fail:Rate limit %@ %n exceeded") << "never used as a format";
  answer(TestResponse::withStatus(500));
  EXPECT_EQ(send(sharer.get(), page()).back(), "fail:The service encountered an error. Please try again later.");

  answer(TestResponse::withStatus(401).header("X-Error", "Bad login"));
  EXPECT_EQ(login("ShareReadItLater", "u", "p"), std::vector<std::string>{"auth:no"});
  EXPECT_EQ(last().body, "apikey=K%261&username=u&password=p");
  EXPECT_EQ(hudWhileChecking_, "Logging In...");
  EXPECT_FALSE(hudAfterwards_);
  EXPECT_EQ(last().path, "/v2/auth");
  ASSERT_TRUE(topAlert());
  EXPECT_EQ(topAlert()->message(), "Bad login");
  topAlert()->dismissWithClickedButtonIndex(0, false);
  EXPECT_FALSE(Share::getAuthValueForKey("username", "ShareReadItLater"));

  answer(TestResponse::ok("200 OK"));
  EXPECT_EQ(login("ShareReadItLater", "u2", "p2"), std::vector<std::string>{"auth:yes"});
  EXPECT_EQ(Share::getAuthValueForKey("username", "ShareReadItLater"), "u2");

  // Control characters leave the JSON text as escapes.
  auto odd = page();
  odd->setTitle("a\x01" "b\tc");
  send(sharer.get(), odd);
  EXPECT_NE(last().body.find("\"title\":\"a%5Cu0001b%5Ctc\""), std::string::npos) << last().body;
}

TEST_F(WebSharersTest, TumblrPostsLinksTextsAndPhotos) {
  configurator_->app = "Tolva";
  store("ShareTumblr", "email", "me@x");
  auto sharer = kit::make<ShareTumblr>();
  answer(TestResponse::withStatus(201));
  auto link = page();
  link->setTags("t");
  link->setCustomValue("my-slug", "slug");
  link->setCustomValue("1", "twitter");
  EXPECT_EQ(send(sharer.get(), link).back(), "finish");
  EXPECT_EQ(last().path, "/api/write");
  EXPECT_EQ(last().body,
            "email=me%40x&password=p%20w%26%3D&generator=Tolva&send-to-twitter=auto&tags=t&slug=my-slug&private=0"
            "&type=link&url=http%3A%2F%2Fexample.com%2Fa%2520b%3Fx%3D1%26y%3D%25C3%25A9&name=Title%20%26%20%22more%22");
  send(sharer.get(), ShareItem::text("Hello\nworld"));
  EXPECT_EQ(last().body,
            "email=me%40x&password=p%20w%26%3D&generator=Tolva&send-to-twitter=no&private=0&type=regular"
            "&body=Hello%0Aworld");

  auto photo = ShareItem::image(pixels(), "");
  photo->setCustomValue("cap", "caption");
  photo->setCustomValue("1", "private");
  EXPECT_EQ(send(sharer.get(), photo).back(), "finish");
  const std::string jpeg = pixels()->jpegData(0.9)->toString();
  EXPECT_EQ(last().headers.value("Content-Type"), "multipart/form-data; boundary=0xKhTmLbOuNdArY");
  auto part = [](const std::string& name, const std::string& value) {
    return "\r\n--0xKhTmLbOuNdArY\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" + value;
  };
  EXPECT_EQ(last().body, part("email", "me@x") + part("password", "p w&=") + part("type", "photo") +
                             part("generator", "Tolva") + part("caption", "cap") + part("private", "1") +
                             part("twitter", "no") +
                             "\r\n--0xKhTmLbOuNdArY\r\nContent-Disposition: form-data; name=\"data\"; "
                             "filename=\"upload.jpg\"\r\nContent-Transfer-Encoding: image/jpg\r\n\r\n" +
                             jpeg + "\r\n--0xKhTmLbOuNdArY--\r\n");

  answer(TestResponse::withStatus(403));
  EXPECT_EQ(send(sharer.get(), photo).back(), "fail:Invalid email or password.:relogin");
  EXPECT_EQ(send(sharer.get(), link).back(), "fail:Could not authenticate you. Please relogin.:relogin");
  answer(TestResponse::withStatus(500));
  EXPECT_EQ(send(sharer.get(), photo).back(), "fail:The service encountered an error. Please try again later.");
  EXPECT_EQ(send(sharer.get(), link).back(), "fail:The service encountered an error. Please try again later.");
  answer(TestResponse::withStatus(400));
  EXPECT_EQ(send(sharer.get(), photo).back(), "fail:There was an error sending your post to Tumblr.");
  EXPECT_EQ(send(sharer.get(), link).back(), "fail:There was an error sending your post to Tumblr.");

  answer(TestResponse::withStatus(403));
  login("ShareTumblr", "a@b", "pw");
  EXPECT_EQ(last().body, "email=a%40b&password=pw");
  EXPECT_EQ(hudWhileChecking_, "Logging In...");
  EXPECT_FALSE(hudAfterwards_);
  ASSERT_TRUE(topAlert());
  EXPECT_EQ(topAlert()->message(), "Invalid email or password.");
}

TEST_F(WebSharersTest, TheSharersAreRegisteredWithTheirForms) {
  for (const char* name : {"ShareInstapaper", "SharePinboard", "ShareReadItLater", "ShareTumblr"}) {
    kit::Ref<ShareSharer> s = ShareSharer::sharerWithClassName(name);
    ASSERT_TRUE(s) << name;
    EXPECT_TRUE(s->canShareURL());
    EXPECT_NE(s->authorizationFormCaption().find("http://"), std::string::npos);
  }
  auto tumblr = kit::make<ShareTumblr>();
  tumblr->setItem(ShareItem::image(kit::Image::imageWithSize({1, 1}), "t").get());
  EXPECT_EQ(tumblr->shareFormFieldsForType(ShareShareTypeImage)->front()->key(), "caption");
  EXPECT_EQ(tumblr->shareFormFieldsForType(ShareShareTypeText)->front()->key(), "title");
  EXPECT_FALSE(kit::make<ShareInstapaper>()->shareFormFieldsForType(ShareShareTypeURL));
  EXPECT_EQ(kit::make<SharePinboard>()->shareFormFieldsForType(ShareShareTypeURL)->size(), 4u);
  EXPECT_FALSE(kit::make<ShareReadItLater>()->shareFormFieldsForType(ShareShareTypeText));
}

}  // namespace
