// The sharers that need no service: pasteboard, mail, text messages, the
// desktop's browser and the picture folder.
#include <gtest/gtest.h>

#include "share/ShareTest.h"
#include "kit/foundation/FileManager.h"
#include "kit/ui/HeadlessURLOpener.h"
#include "kit/ui/Label.h"
#include "kit/security/Base64.h"
#include "kit/ui/MailComposeViewController.h"
#include "kit/ui/MailMessage.h"
#include "kit/ui/NavigationController.h"
#include "kit/ui/Pasteboard.h"
#include "kit/ui/PhotoAlbum.h"
#include "share/ShareRegistration.h"
#include "share/local/ShareMail.h"
#include "share/local/ShareMailPage.h"
#include "share/ui/ShareActivityIndicator.h"
#include "common/VeskMiscObject.h"
#include "support/TestHTTPServer.h"

namespace {

using kit::Ref;
using tolva::ShareItem;
using tolva::ShareSharer;

Ref<kit::Image> picture() {
  return kit::Image::imageWithPixels({4, 4}, std::vector<uint8_t>(64, 200));
}

struct Signed : tolva::DefaultShareConfigurator {
  long sharedWithSignature() const override { return 1; }
  std::string appName() const override { return "Tolva & Co"; }
};

class LocalSharersTest : public sharetest::ShareTest {
 protected:
  void SetUp() override {
    ShareTest::SetUp();
    tolva::registerShareClasses(kit::ClassRegistry::shared());
    tolva::VeskMiscObject::sharedInstance()->setDefault_email("");
    // The indicator lives for the process: forget an earlier test's text.
    tolva::ShareActivityIndicator::currentIndicator()->setSubMessage(nullptr);
  }
  void TearDown() override {
    kit::PhotoAlbum::setFolder({});
    ShareTest::TearDown();
  }
  kit::MailComposeViewController* composer() const {
    // The kit presents every screen inside a navigation controller of its own.
    auto* nav = kit::cast<kit::NavigationController>(tolva::Share::currentHelper()->currentView());
    return nav ? kit::cast<kit::MailComposeViewController>(nav->topViewController()) : nullptr;
  }
  static std::string indicatorText() {
    // A finished task shows a check mark in the middle and its text below.
    kit::Label* label = tolva::ShareActivityIndicator::currentIndicator()->subMessageLabel();
    return label ? label->text() : std::string();
  }
};

struct Outcomes : tolva::ShareSharerDelegate {
  int started = 0;
  int finished = 0;
  int failed = 0;
  void sharerStartedSending(ShareSharer*) override { ++started; }
  void sharerFinishedSending(ShareSharer*) override { ++finished; }
  void sharer(ShareSharer*, const kit::Error*, bool) override { ++failed; }
};

// Shares `item` with a new sharer of `name` watched by `watch`.
Ref<ShareSharer> shareWatched(const char* name, ShareItem* item, Outcomes* watch) {
  Ref<ShareSharer> sharer = ShareSharer::sharerWithClassName(name);
  sharer->setShareDelegate(watch);
  sharer->loadItem(item);
  sharer->share();
  return sharer;
}

TEST_F(LocalSharersTest, CopyFinishesAtOnceWithoutAForm) {
  auto watch = kit::make<Outcomes>();
  shareWatched("ShareCopy", ShareItem::URL(kit::URL::URLWithString("http://a.test/"), "A").get(), watch.get());
  EXPECT_EQ(watch->finished, 1);
  EXPECT_EQ(watch->failed, 0);
  loop().advance(1);
  EXPECT_EQ(tolva::Share::currentHelper()->currentView(), nullptr) << "no share form follows";
}

TEST_F(LocalSharersTest, CopyPutsTheItemOnThePasteboard) {
  kit::Pasteboard* board = kit::Pasteboard::generalPasteboard();
  ShareSharer::shareURL("ShareCopy", kit::URL::URLWithString("http://a.test/x%20y"), "A");
  EXPECT_EQ(board->url()->absoluteString(), "http://a.test/x%20y");
  EXPECT_EQ(indicatorText(), "Copied!");
  ShareSharer::shareText("ShareCopy", "some words");
  EXPECT_EQ(board->string(), "some words");
  ShareSharer::shareImage("ShareCopy", picture(), "P");
  ASSERT_TRUE(board->image());
  EXPECT_EQ(board->image()->pixelWidth(), 4u);
}

TEST_F(LocalSharersTest, AMailOfALinkHasTheLinkAloneAndEscapesWhatItInserts) {
  ShareSharer::shareURL("ShareMail", kit::URL::URLWithString("http://a.test/?a=1&b=%3C2%3E"), "Title & more");
  kit::MailComposeViewController* mail = composer();
  ASSERT_TRUE(mail);
  EXPECT_EQ(mail->subject(), "Title & more");
  EXPECT_EQ(mail->messageBody(), "http://a.test/?a=1&amp;b=%3C2%3E");
  EXPECT_TRUE(mail->isBodyHTML());
  EXPECT_TRUE(mail->toRecipients().empty());
  EXPECT_TRUE(mail->attachments().empty());
  mail->finish(kit::MailComposeResult::Sent);

  Ref<ShareItem> text = ShareItem::text("<script>alert(1)</script>");
  text->setTitle("T");
  ShareSharer::shareItem("ShareMail", text.get());
  ASSERT_TRUE(composer());
  EXPECT_EQ(composer()->messageBody(), "&lt;script&gt;alert(1)&lt;/script&gt;");
}

TEST_F(LocalSharersTest, AMailDraftReplacedBeforeItsAnswerTakesItsSharerWithIt) {
  kit::WeakRef<ShareSharer> sharer;
  kit::WeakRef<kit::MailComposeViewController> draft;
  {
    sharer = ShareSharer::shareURL("ShareMail", kit::URL::URLWithString("http://a.test/"), "A").get();
    draft = composer();
  }
  ASSERT_TRUE(draft.lock());
  ASSERT_TRUE(sharer.lock()) << "the draft keeps its sharer";
  tolva::Share::currentHelper()->showViewController(kit::make<kit::ViewController>().get());
  loop().advance(1);
  EXPECT_TRUE(draft.expired());
  EXPECT_TRUE(sharer.expired());
}

TEST_F(LocalSharersTest, TheDefaultAddressTheSignatureAndTheStoredBody) {
  tolva::ShareConfiguration::resetForTesting();
  tolva::ShareConfiguration::sharedInstanceWithConfigurator(kit::make<Signed>());
  tolva::VeskMiscObject::sharedInstance()->setDefault_email("me@example.test");
  Ref<ShareItem> item = ShareItem::URL(kit::URL::URLWithString("http://a.test/"), "A");
  ShareSharer::shareItem("ShareMail", item.get());
  ASSERT_TRUE(composer());
  EXPECT_EQ(composer()->toRecipients(), (std::vector<std::string>{"me@example.test"}));
  EXPECT_EQ(composer()->messageBody(), "http://a.test/<br/><br/>Sent from Tolva &amp; Co");
  composer()->finish(kit::MailComposeResult::Cancelled);
  loop().advance(1);

  // The second time the stored body is used as it stands, with no recipient
  // and no second signature.
  EXPECT_EQ(item->customStringForKey("body"), "http://a.test/<br/><br/>Sent from Tolva &amp; Co");
  ShareSharer::shareItem("ShareMail", item.get());
  ASSERT_TRUE(composer());
  EXPECT_EQ(composer()->messageBody(), "http://a.test/<br/><br/>Sent from Tolva &amp; Co");
  EXPECT_TRUE(composer()->toRecipients().empty());
  composer()->finish(kit::MailComposeResult::Cancelled);
  loop().advance(1);

  item->setCustomValue(std::string("kept <b>as is</b>"), "body");
  ShareSharer::shareItem("ShareMail", item.get());
  ASSERT_TRUE(composer());
  EXPECT_EQ(composer()->messageBody(), "kept <b>as is</b>");
}

TEST_F(LocalSharersTest, AFileIsAttachedNamedInTheBodyAndWrittenAsAMessage) {
  Ref<ShareSharer> sharer = ShareSharer::shareFile("ShareMail", kit::Data::dataWithString("a,b\n"), "t<1>.csv",
                                                   "text/csv", "");
  ASSERT_TRUE(composer());
  EXPECT_EQ(composer()->subject(), "");
  EXPECT_EQ(composer()->messageBody(), "Attached: t&lt;1&gt;.csv");
  ASSERT_EQ(composer()->attachments().size(), 1u);
  EXPECT_EQ(composer()->attachments()[0].mimeType, "text/csv");
  composer()->finish(kit::MailComposeResult::Sent);
  loop().advance(1);

  Ref<ShareItem> text = ShareItem::text("caf\xC3\xA9 & co");
  text->setTitle("Gr\xC3\xBC\xC3\x9F""e\r\nBcc: x@example.test");
  ShareSharer::shareItem("ShareMail", text.get());
  ASSERT_TRUE(composer());
  const std::string message = kit::MailMessage::write(*composer(), "b_1");
  EXPECT_NE(message.find("Subject: =?UTF-8?B?"), std::string::npos) << message;
  EXPECT_EQ(message.find("\r\nBcc:"), std::string::npos);
  const size_t html = message.find("Content-Type: text/html; charset=UTF-8");
  ASSERT_NE(html, std::string::npos);
  const size_t start = message.find("\r\n\r\n", html) + 4;
  std::string encoded;
  for (char c : message.substr(start, message.find("\r\n--", start) - start))
    if (c != '\r' && c != '\n') encoded.push_back(c);
  auto body = kit::Base64::decode(encoded);
  ASSERT_TRUE(body);
  EXPECT_EQ(std::string(body->begin(), body->end()), "caf\xC3\xA9 &amp; co");
}

TEST_F(LocalSharersTest, PicturesAreAttachedAsJPEGAtTheAskedQuality) {
  Ref<ShareItem> item = ShareItem::image(picture(), "Pic");
  item->setCustomValue(std::string("0.5"), "jpgQuality");
  ShareSharer::shareItem("ShareMail", item.get());
  ASSERT_TRUE(composer());
  ASSERT_EQ(composer()->attachments().size(), 1u);
  const auto& a = composer()->attachments()[0];
  EXPECT_EQ(a.fileName, "Image.jpg");
  EXPECT_EQ(a.mimeType, "image/jpeg");
  EXPECT_EQ(a.data->length(), picture()->jpegData(0.5)->length());
}

TEST_F(LocalSharersTest, WithoutAMailProgramTheShareFails) {
  kit::MailComposeViewController::setCanSendMail(false);
  struct Watch : tolva::ShareSharerDelegate {
    int failed = 0;
    void sharer(ShareSharer*, const kit::Error*, bool) override { ++failed; }
  };
  Ref<ShareSharer> sharer = ShareSharer::sharerWithClassName("ShareMail");
  EXPECT_FALSE(sharer->canShare()) << "not offered when no mail program exists";
  auto watch = kit::make<Watch>();
  sharer->setShareDelegate(watch.get());
  sharer->loadItem(ShareItem::URL(kit::URL::URLWithString("http://a.test/"), "A").get());
  sharer->share();
  kit::MailComposeViewController::setCanSendMail(true);
  EXPECT_EQ(watch->failed, 1);
  loop().advance(1);
  EXPECT_FALSE(tolva::Share::currentHelper()->currentView()) << "no share form follows the failure";
}

TEST_F(LocalSharersTest, TheMailedPageIsFetchedAwayFromTheWindowAndAttached) {
  tolvatest::TestHTTPServer server;
  server.route("GET", "/page%20one", tolvatest::TestResponse::html("<p>the page</p>"));
  auto watch = kit::make<Outcomes>();
  Ref<ShareSharer> sharer = shareWatched(
      "ShareMailPage", ShareItem::URL(kit::URL::URLWithString(server.url("/page%20one")), "Page").get(), watch.get());
  EXPECT_FALSE(composer()) << "the draft waits for the page, the window does not";
  EXPECT_EQ(watch->started, 1);
  loop().runUntil([&] { return composer() != nullptr; }, 10);
  ASSERT_TRUE(composer());
  EXPECT_EQ(composer()->messageBody(), server.url("/page one"));
  ASSERT_EQ(composer()->attachments().size(), 1u);
  EXPECT_EQ(composer()->attachments()[0].fileName, "content.html");
  EXPECT_EQ(composer()->attachments()[0].data->view(), "<p>the page</p>");
}

TEST_F(LocalSharersTest, AMissingOrOversizedPageIsNotAttachedButTheDraftStillComes) {
  tolvatest::TestHTTPServer server;
  server.route("GET", "/big", tolvatest::TestResponse::html(
                                  std::string(tolva::ShareMailPage::kMaximumPageBytes + 1, 'x')));
  ShareSharer::shareURL("ShareMailPage", kit::URL::URLWithString(server.url("/gone")), "Gone");
  loop().runUntil([&] { return composer() != nullptr; }, 10);
  ASSERT_TRUE(composer());
  EXPECT_TRUE(composer()->attachments().empty());
  composer()->finish(kit::MailComposeResult::Cancelled);
  loop().advance(1);

  ShareSharer::shareURL("ShareMailPage", kit::URL::URLWithString(server.url("/big")), "Big");
  loop().runUntil([&] { return composer() != nullptr; }, 20);
  ASSERT_TRUE(composer());
  EXPECT_TRUE(composer()->attachments().empty());
  composer()->finish(kit::MailComposeResult::Cancelled);
  loop().advance(1);

  // Not a web page: nothing is fetched.
  ShareSharer::shareURL("ShareMailPage", kit::URL::URLWithString("file:///etc/hostname"), "F");
  ASSERT_TRUE(composer());
  EXPECT_TRUE(composer()->attachments().empty());
}

TEST_F(LocalSharersTest, TextMessagesAreNotOfferedOnADesktop) {
  Ref<ShareSharer> sms = ShareSharer::sharerWithClassName("ShareTextMessage");
  ASSERT_TRUE(sms);
  EXPECT_FALSE(sms->canShare());
  EXPECT_EQ(sms->sharerTitle(), "SMS");
}

TEST_F(LocalSharersTest, TheBrowserTakesOnlyWebLinksAndSuccessWaitsForIt) {
  auto& opener = kit::Application::sharedApplication()->headlessURLOpener();
  opener.clear();
  auto watch = kit::make<Outcomes>();
  shareWatched("ShareSafari", ShareItem::URL(kit::URL::URLWithString("https://a.test/p"), "A").get(), watch.get());
  EXPECT_EQ(opener.openedURLs(), (std::vector<std::string>{"https://a.test/p"}));
  EXPECT_EQ(watch->finished, 1);
  shareWatched("ShareSafari", ShareItem::URL(kit::URL::URLWithString("file:///etc/passwd"), "F").get(), watch.get());
  EXPECT_EQ(opener.openedURLs().size(), 1u);
  EXPECT_EQ(watch->finished, 1);
  EXPECT_EQ(watch->failed, 1);
  ShareSharer::shareURL("ShareSafari", kit::URL::URLWithString("ftp://a.test/"), "F");
  EXPECT_FALSE(topAlert()) << "a local sharer fails quietly";
  loop().advance(1);
  EXPECT_EQ(tolva::Share::currentHelper()->currentView(), nullptr);
}

TEST_F(LocalSharersTest, SavingALinkWritesNoPictureButSaysSaved) {
  tolvatest::TempHome pictures;
  kit::PhotoAlbum::setFolder(pictures.path() + "/Pictures");
  const size_t before = kit::PhotoAlbum::writtenFiles().size();
  auto watch = kit::make<Outcomes>();
  shareWatched("SharePhotoAlbum", ShareItem::URL(kit::URL::URLWithString("http://a.test/"), "A").get(), watch.get());
  loop().drain();
  EXPECT_EQ(indicatorText(), "Saved!");
  EXPECT_EQ(watch->finished, 1);
  EXPECT_EQ(kit::PhotoAlbum::writtenFiles().size(), before);
}

TEST_F(LocalSharersTest, APictureIsSavedBeforeItSaysSaved) {
  tolvatest::TempHome pictures;
  kit::PhotoAlbum::setFolder(pictures.path() + "/Pictures");
  auto watch = kit::make<Outcomes>();
  shareWatched("SharePhotoAlbum", ShareItem::image(picture(), "P").get(), watch.get());
  EXPECT_NE(indicatorText(), "Saved!");
  EXPECT_EQ(watch->finished, 0);
  // The picture is written on a thread of its own; the answer comes on the main loop.
  loop().runUntil([&] { return watch->finished > 0; }, 10);
  loop().drain();
  EXPECT_EQ(indicatorText(), "Saved!");
  EXPECT_EQ(watch->finished, 1);
  EXPECT_EQ(kit::FileManager::contentsOfDirectory(pictures.path() + "/Pictures").value_or(std::vector<std::string>()).size(),
            1u)
      << "saved once, no second try";
  EXPECT_EQ(tolva::Share::currentHelper()->currentView(), nullptr);
  ASSERT_EQ(kit::PhotoAlbum::writtenFiles().size() > 0, true);
  EXPECT_TRUE(kit::Image::imageWithContentsOfFile(kit::PhotoAlbum::writtenFiles().back()));
}

}  // namespace
