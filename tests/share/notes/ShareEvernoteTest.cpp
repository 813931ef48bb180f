// The note sharer against real Thrift user and note stores on loopback: the
// login form, the notes it writes for each kind of item, and its failures.
#include <atomic>
#include <deque>

#include "../ShareTest.h"
#include "EDAMNoteStore.h"
#include "EDAMUserStore.h"
#include "kit/foundation/NotificationCenter.h"
#include "kit/ui/BarButtonItem.h"
#include "kit/ui/NavigationItem.h"
#include "share/core/ShareSharerDelegate.h"
#include "share/core/md5.h"
#include "kit/foundation/Paths.h"
#include "share/notes/EDAMClientFactory.h"
#include "share/notes/ShareEvernote.h"
#include "share/notes/ShareEvernoteItem.h"
#include "share/ui/ShareActivityIndicator.h"
#include "share/ui/ShareFormController.h"
#include "share/ui/ShareFormFieldCell.h"
#include "support/TestCertificateAuthority.h"
#include "support/TestHTTPServer.h"
#include "support/TestThriftServer.h"

using namespace tolva;
using namespace tolva::edam;

namespace {

const std::string kHeader =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><!DOCTYPE en-note SYSTEM "
    "\"http://xml.notes.tolva-browser.org/pub/enml2.dtd\"><en-note style=\"word-wrap: break-word; "
    "-webkit-nbsp-mode: space; -webkit-line-break: after-white-space;\">";

class Users : public EDAMUserStoreIf {
 public:
  bool checkVersion(const std::string& clientName, int16_t major, int16_t minor) override {
    std::lock_guard<std::mutex> lock(mutex);
    client = clientName + " " + std::to_string(major) + "." + std::to_string(minor);
    return current;
  }
  void authenticate(EDAMAuthenticationResult& result, const std::string& username, const std::string& password,
                    const std::string& key, const std::string& secret) override {
    std::lock_guard<std::mutex> lock(mutex);
    logins.push_back(username + "/" + password + "/" + key + "/" + secret);
    if (password != "right") {
      EDAMUserException e;
      e.__set_errorCode(2);
      e.__set_parameter("password");
      throw e;
    }
    EDAMUser user;
    user.__set_shardId("s7");
    result.__set_user(user);
    result.__set_authenticationToken("tok");
  }
  std::mutex mutex;
  std::atomic<bool> current{true};
  std::string client;
  std::vector<std::string> logins;
};

class Notes : public EDAMNoteStoreIf {
 public:
  void listNotebooks(std::vector<EDAMNotebook>& out, const std::string&) override {
    std::lock_guard<std::mutex> lock(mutex);
    out = notebooks;
  }
  void createNote(EDAMNote& out, const std::string& token, const EDAMNote& note) override {
    std::lock_guard<std::mutex> lock(mutex);
    if (!errors.empty()) {
      int code = errors.front();
      errors.pop_front();
      if (code < 0) {
        EDAMSystemException e;
        e.__set_errorCode(-code);
        throw e;
      }
      EDAMUserException e;
      e.__set_errorCode(code);
      e.__set_parameter(token);
      throw e;
    }
    created.push_back(note);
    out = note;
  }
  size_t count() {
    std::lock_guard<std::mutex> lock(mutex);
    return created.size();
  }
  std::mutex mutex;
  std::vector<EDAMNotebook> notebooks;
  std::deque<int> errors;  // user error codes; negative: a system exception
  std::vector<EDAMNote> created;
};

class NoteConfigurator : public DefaultShareConfigurator {
 public:
  NoteConfigurator(std::string users, std::string notes) : users_(std::move(users)), notes_(std::move(notes)) {}
  std::string evernoteUserStoreURL() const override { return users_; }
  std::string evernoteNetStoreURLBase() const override { return notes_; }
  std::string evernoteConsumerKey() const override { return "key"; }
  std::string evernoteSecret() const override { return "secret"; }

 private:
  std::string users_, notes_;
};

std::string hex(const std::string& bytes) {
  std::string out;
  char two[3];
  for (unsigned char c : bytes) {
    std::snprintf(two, sizeof two, "%02x", c);
    out += two;
  }
  return out;
}

std::string bodyOf(const std::string& wire) { return wire.substr(wire.find("\r\n\r\n") + 4); }

class ShareEvernoteTest : public sharetest::ShareTest {
 protected:
  ShareEvernoteTest()
      : users_(std::make_shared<Users>()),
        notes_(std::make_shared<Notes>()),
        userServer_(std::make_shared<EDAMUserStoreProcessor>(users_)),
        noteServer_(std::make_shared<EDAMNoteStoreProcessor>(notes_)) {
    EDAMNotebook a, b;
    a.__set_guid("nb-a");
    b.__set_guid("nb-b");
    b.__set_defaultNotebook(true);
    notes_->notebooks = {a, b};
  }

  void SetUp() override {
    ShareTest::SetUp();
    ShareSharer::registerSharerClass<ShareEvernote>(kit::ClassRegistry::shared(), ShareEvernote::kName);
  }

  kit::Ref<DefaultShareConfigurator> configurator() override {
    return kit::make<NoteConfigurator>(userServer_.url("/edam/user"), noteServer_.url("/edam/note/"));
  }

  static void storeLogin(const std::string& password = "right") {
    Share::setAuthValue("ann", "username", ShareEvernote::kName);
    Share::setAuthValue(password, "password", ShareEvernote::kName);
  }
  static ShareEvernote::Account account(const std::string& password = "right") {
    storeLogin(password);
    return ShareEvernote::Account::stored(*kit::make<ShareEvernote>());
  }
  // Sends `item` on the calling thread, as the worker would.
  EDAMNote noteFor(const ShareItem& item, ShareEvernote::Record* record = nullptr) {
    ShareEvernote::Record r = ShareEvernote::sendNote(account(), ShareEvernote::Content::of(item));
    if (record) *record = r;
    EXPECT_EQ(r["success"], "1") << r["errorMessage"];
    return notes_->created.empty() ? EDAMNote() : notes_->created.back();
  }

  static ShareSharer* shown() { return dynamic_cast<ShareSharer*>(Share::currentHelper()->currentView()); }
  static ShareFormController* form() {
    ShareSharer* s = shown();
    return s ? dynamic_cast<ShareFormController*>(s->topViewController()) : nullptr;
  }
  static ShareFormFieldCell* cell(ShareFormController* f, long row) {
    f->view();
    f->tableView()->layoutIfNeeded();
    return dynamic_cast<ShareFormFieldCell*>(f->tableView()->cellForRowAtIndexPath({0, row}));
  }
  static void tapRight(ShareFormController* f) { f->navigationItem()->rightBarButtonItem()->tap(); }
  void typeLogin(const std::string& password) {
    ShareFormController* f = form();
    ASSERT_TRUE(f);
    ASSERT_EQ(f->title(), "Login");
    ASSERT_TRUE(cell(f, 0) && cell(f, 1));
    cell(f, 0)->getTextField()->setText("ann");
    cell(f, 1)->getTextField()->setText(password);
    tapRight(f);
  }
  static bool waitFor(const std::function<bool()>& done) {
    bool ok = loop().runUntil(done, 20);
    loop().advance(1);
    return ok;
  }

  std::shared_ptr<Users> users_;
  std::shared_ptr<Notes> notes_;
  tolvatest::TestThriftServer userServer_;
  tolvatest::TestThriftServer noteServer_;
};

TEST_F(ShareEvernoteTest, ALoginOnTheWorkerStoresTheCredentialsThenThePageIsSentToTheShard) {
  auto item = ShareItem::URL(kit::URL::URLWithString("http://example.com/a?b=1&c=2"), "Fish & <Chips>");
  kit::Ref<ShareSharer> sharer = ShareSharer::shareItem(ShareEvernote::kName, item.get());
  ASSERT_TRUE(sharer);
  loop().advance(1);
  EXPECT_EQ(form()->sections()[0].footer, "Create a free account at 127.0.0.1");
  typeLogin("right");
  EXPECT_EQ(ShareActivityIndicator::currentIndicator()->subMessageLabel()->text(), "Logging In...");
  ASSERT_TRUE(waitFor([&] { return sharer->isAuthorized(); }));
  EXPECT_EQ(Share::getAuthValueForKey("password", ShareEvernote::kName), "right");
  EXPECT_EQ(users_->client, "Sharing EDMA 1.16");
  EXPECT_EQ(users_->logins.at(0), "ann/right/key/secret");

  // The share form: title and tags; a run of blanks makes no empty tag.
  ShareFormController* f = form();
  ASSERT_TRUE(f && cell(f, 1));
  EXPECT_EQ(cell(f, 0)->getValue(), "Fish & <Chips>");
  cell(f, 1)->getTextField()->setText("food  fish");
  tapRight(f);
  ASSERT_TRUE(waitFor([&] { return notes_->count() == 1; }));
  EXPECT_TRUE(waitFor([] { return ShareActivityIndicator::currentIndicator()->subMessageLabel()->text() == "Saved!"; }));

  const EDAMNote& note = notes_->created[0];
  EXPECT_EQ(note.title, "Fish & <Chips>");
  EXPECT_EQ(note.content, kHeader +
                              "<h1><a href=\"http://example.com/a?b=1&amp;c=2\">Fish &amp; &lt;Chips&gt;</a></h1>"
                              "<p><a href=\"http://example.com/a?b=1&amp;c=2\">http://example.com/a?b=1&amp;c=2</a></p>"
                              "</en-note>");
  EXPECT_EQ(note.tagNames, (std::vector<std::string>{"food", "fish"}));
  EXPECT_EQ(note.notebookGuid, "nb-b");
  EXPECT_EQ(note.attributes.sourceURL, "http://example.com/a?b=1&c=2");
  EXPECT_TRUE(note.resources.empty());
  // Whole seconds since 1970, in milliseconds (the waits moved the clock a little).
  EXPECT_EQ(note.created % 1000, 0);
  EXPECT_GE(note.created, (700000000LL + 978307200LL) * 1000);
  EXPECT_LE(note.created, (700000000LL + 978307200LL + 5) * 1000);

  // The note store of the user's shard; non-strict message headers on the wire.
  std::vector<std::string> wire = noteServer_.received();
  ASSERT_FALSE(wire.empty());
  EXPECT_EQ(wire[0].rfind("POST /edam/note/s7 HTTP/1.1\r\n", 0), 0u);
  EXPECT_EQ(bodyOf(wire[0]).substr(0, 18), std::string("\x00\x00\x00\x0d" "listNotebooks\x01", 18));
  std::string users = userServer_.received().at(0);
  EXPECT_EQ(bodyOf(users).substr(0, 17), std::string("\x00\x00\x00\x0c" "checkVersion\x01", 17));
}

TEST_F(ShareEvernoteTest, AWrongPasswordOrAnOldInterfaceFailsTheLoginWithAnAlert) {
  kit::Ref<ShareSharer> sharer = ShareSharer::shareItem(ShareEvernote::kName, ShareItem::text("hi").get());
  loop().advance(1);
  typeLogin("wrong");
  ASSERT_TRUE(waitFor([] { return topAlert() != nullptr; }));
  EXPECT_EQ(topAlert()->title(), "Login Error");
  EXPECT_EQ(topAlert()->message(), "Your username and password did not match");
  EXPECT_FALSE(sharer->isAuthorized());
  EXPECT_EQ(ShareActivityIndicator::currentIndicator()->alpha(), 0);
  topAlert()->dismissWithClickedButtonIndex(0, false);

  users_->current = false;
  typeLogin("right");
  ASSERT_TRUE(waitFor([] { return kit::AlertView::visibleAlerts().size() == 2; }));
  EXPECT_EQ(kit::AlertView::visibleAlerts()[0]->title(), "EDMA Error");
  EXPECT_EQ(kit::AlertView::visibleAlerts()[0]->message(), "EDMA Version is too old.");
  EXPECT_EQ(kit::AlertView::visibleAlerts()[1]->title(), "Login Error");
  EXPECT_FALSE(sharer->isAuthorized());
  EXPECT_EQ(users_->logins.size(), 1u) << "no login after a failed version check";
}

TEST_F(ShareEvernoteTest, TextImageAndFileNotesCarryEscapedTextAndMediaWithTheirHashes) {
  EDAMNote text = noteFor(*ShareItem::text("Fish & chips <b>now</b>"));
  EXPECT_EQ(text.title, "Untitled");
  EXPECT_EQ(text.content, kHeader + "<p>" + "Fish &amp; chips  now" + "</p></en-note>");
  EXPECT_EQ(noteFor(*ShareItem::text("Bob's \"fish\"")).content,
            kHeader + "<p>Bob&apos;s &quot;fish&quot;</p></en-note>");
  EXPECT_FALSE(text.attributes.__isset.sourceURL);

  auto page = ShareItem::URL(kit::URL::URLWithString("http://example.com/"));
  EXPECT_EQ(noteFor(*page).content,
            kHeader + "<p><a href=\"http://example.com/\">http://example.com/</a></p></en-note>");
  EXPECT_EQ(notes_->created.back().title, "Untitled");

  auto image = kit::Image::imageWithPixels({3, 2}, std::vector<uint8_t>(3 * 2 * 4, 200));
  kit::Ref<kit::Data> jpeg = image->jpegData(0.6);
  const std::string jpegHash = md5::md5(jpeg.get());
  EDAMNote picture = noteFor(*ShareItem::image(image, "Pic"));
  ASSERT_EQ(picture.resources.size(), 1u);
  const EDAMResource& r = picture.resources[0];
  EXPECT_EQ(r.mime, "image/jpeg");
  EXPECT_EQ(r.data.body, jpeg->toString());
  EXPECT_EQ(r.data.size, static_cast<int32_t>(jpeg->length()));
  ASSERT_EQ(r.data.bodyHash.size(), 16u);
  EXPECT_EQ(hex(r.data.bodyHash), jpegHash) << "the hash is the MD5 digest of the body";
  EXPECT_EQ(r.recognition, r.data);
  EXPECT_EQ(picture.content, kHeader + "<h1>Pic</h1><p><en-media type=\"image/jpeg\" height=\"2\" width=\"3\" hash=\"" +
                                 jpegHash + "\"/></p></en-note>");

  auto file = ShareItem::file(kit::Data::dataWithString("hello"), "a.txt", "text/plain", "A & B");
  EDAMNote doc = noteFor(*file);
  ASSERT_EQ(doc.resources.size(), 1u);
  EXPECT_EQ(doc.resources[0].data.bodyHash, std::string("\x5d\x41\x40\x2a\xbc\x4b\x2a\x76\xb9\x71\x9d\x91\x10\x17\xc5\x92", 16));
  EXPECT_EQ(doc.resources[0].data.size, 5);
  EXPECT_EQ(doc.content, kHeader +
                             "<h1>A &amp; B</h1><p><en-media type=\"text/plain\" "
                             "hash=\"5d41402abc4b2a76b9719d911017c592\"/></p></en-note>");

  // Without a default notebook the service's own default applies.
  notes_->notebooks.clear();
  EXPECT_FALSE(noteFor(*ShareItem::text("x")).__isset.notebookGuid);
}

TEST_F(ShareEvernoteTest, AHandedInNoteKeepsWhatItSetAndGetsItsRemoteImagesFetched) {
  tolvatest::TestHTTPServer web;
  auto image = kit::Image::imageWithPixels({4, 5}, std::vector<uint8_t>(4 * 5 * 4, 90));
  kit::Ref<kit::Data> png = image->pngData();
  web.route("GET", "/p.png", tolvatest::TestResponse::ok(png->toString()));
  const std::string src = web.url("/p.png");

  auto item = kit::make<ShareEvernoteItem>();
  item->setShareType(ShareShareTypeText);
  item->setText("ignored: the note has content");
  item->setTags("x y");
  auto given = std::make_shared<EDAMNote>();
  given->__set_title("Given");
  given->__set_notebookGuid("mine");
  given->__set_tagNames({"kept"});
  given->__set_content("<en-note><img src=\"" + src + "\" /><img src=\"http://127.0.0.1:1/gone.png\" /></en-note>");
  EDAMResource remote, gone, other;
  remote.__set_mime("image/jpeg");
  remote.attributes.__set_sourceURL(src);
  remote.__isset.attributes = true;
  gone = remote;
  gone.attributes.__set_sourceURL("http://127.0.0.1:1/gone.png");
  other = remote;
  other.__set_mime("image/png");
  given->__set_resources({remote, gone, other});
  item->setNote(given);

  EDAMNote note = noteFor(*item);
  EXPECT_EQ(note.title, "Given");
  EXPECT_EQ(note.notebookGuid, "mine");
  EXPECT_EQ(note.tagNames, std::vector<std::string>{"kept"});
  ASSERT_EQ(note.resources.size(), 3u);
  EXPECT_EQ(note.resources[0].data.body, png->toString());
  EXPECT_EQ(note.resources[0].recognition, note.resources[0].data);
  EXPECT_FALSE(note.resources[1].__isset.data) << "an image that cannot be fetched is sent without data";
  EXPECT_FALSE(note.resources[2].__isset.data) << "only JPEG resources are fetched";
  EXPECT_EQ(note.content, "<en-note><en-media type=\"image/jpeg\" height=\"5\" width=\"4\" hash=\"" +
                              md5::md5(png.get()) + "\"/><img src=\"http://127.0.0.1:1/gone.png\" /></en-note>");
}

TEST_F(ShareEvernoteTest, ExpiredOrInvalidAuthAsksForANewLoginAndSendsAgain) {
  notes_->errors = {8};
  ShareEvernote::Record r8 = ShareEvernote::sendNote(account(), ShareEvernote::Content::of(*ShareItem::text("a")));
  EXPECT_EQ(r8, (ShareEvernote::Record{{"success", "0"}, {"errorMessage", "Evernote Error on tok: Invalid Auth"},
                                       {"shouldRelogin", "1"}}));
  const std::vector<std::pair<int, std::string>> table = {
      {2, "Invalid format"}, {3, "Permission Denied"}, {4, "Internal Evernote Error"}, {5, "Data Required"},
      {7, "Quota Reached"},  {9, "Auth Expired"},      {10, "Data Conflict"},          {6, "Unknown error from Evernote"},
      {11, "Unknown error from Evernote"}};
  for (const auto& [code, text] : table) {
    notes_->errors = {code};
    ShareEvernote::Record r = ShareEvernote::sendNote(account(), ShareEvernote::Content::of(*ShareItem::text("a")));
    EXPECT_EQ(r["success"], "0") << code;
    EXPECT_EQ(r["shouldRelogin"], code == 9 ? "1" : "0") << code;
    EXPECT_EQ(r["errorMessage"], "Evernote Error on tok: " + text) << code;
  }

  notes_->errors = {9};
  storeLogin();
  kit::Ref<ShareSharer> sharer = ShareSharer::sharerWithClassName(ShareEvernote::kName);
  sharer->setShareDelegate(kit::make<ShareSharerDelegate>().get());
  sharer->setItem(ShareItem::text("again").get());
  ASSERT_TRUE(sharer->send());
  ASSERT_TRUE(waitFor([&] { return form() != nullptr; }));
  EXPECT_EQ(sharer->pendingAction(), SharePendingActionSend);
  typeLogin("right");
  ASSERT_TRUE(waitFor([&] { return notes_->count() == 1; }));
  EXPECT_EQ(notes_->created[0].content, kHeader + "<p>again</p></en-note>");
}

TEST_F(ShareEvernoteTest, TransportAndSystemFailuresEndTheShareAsAFailure) {
  storeLogin();
  kit::Ref<ShareSharer> sharer = ShareSharer::sharerWithClassName(ShareEvernote::kName);
  sharer->setItem(ShareItem::text("t").get());
  notes_->errors = {-1};
  ASSERT_TRUE(sharer->send());
  ASSERT_TRUE(waitFor([&] { return sharer->lastError() != nullptr; }));
  EXPECT_EQ(sharer->lastError()->localizedDescription(), "There was a problem sharing with Evernote");

  noteServer_.stop();
  sharer->setLastError(nullptr);
  ASSERT_TRUE(sharer->send());
  ASSERT_TRUE(waitFor([&] { return sharer->lastError() != nullptr; }));
  EXPECT_EQ(sharer->lastError()->localizedDescription(), "There was a problem sharing with Evernote");
  EXPECT_EQ(notes_->count(), 0u);

  // A sharer let go of while its worker runs still reports the outcome.
  int failures = 0;
  kit::NotificationCenter::Token token = kit::NotificationCenter::defaultCenter().addObserver(
      ShareSharer::kSendDidFailWithErrorNotification, nullptr, [&](const kit::Notification&) { ++failures; });
  {
    kit::Ref<ShareSharer> shortLived = ShareSharer::sharerWithClassName(ShareEvernote::kName);
    shortLived->setItem(ShareItem::text("t").get());
    ASSERT_TRUE(shortLived->send());
  }
  EXPECT_TRUE(waitFor([&] { return failures == 1; }));

  // A service that refuses this client's version says so on the send path too.
  for (auto& a : kit::AlertView::visibleAlerts()) a->dismissWithClickedButtonIndex(0, false);
  users_->current = false;
  sharer->setLastError(nullptr);
  ASSERT_TRUE(sharer->send());
  ASSERT_TRUE(waitFor([&] { return sharer->lastError() != nullptr; }));
  std::vector<std::string> alerts;
  for (auto& a : kit::AlertView::visibleAlerts()) alerts.push_back(a->title() + ": " + a->message());
  EXPECT_EQ(alerts, (std::vector<std::string>{"EDMA Error: EDMA Version is too old.",
                                              "Error: There was a problem sharing with Evernote"}));

  // A login check that returns nothing ends the share too.
  EXPECT_EQ(ShareEvernote::sendNote(account(), ShareEvernote::Content::of(*ShareItem::text("t"))),
            (ShareEvernote::Record{{"success", "0"}, {"errorMessage", "The login was refused"}, {"shouldRelogin", "0"}}));

  // An item with nothing to send never starts.
  sharer->setItem(ShareItem::text("").get());
  EXPECT_FALSE(sharer->send());
}

TEST_F(ShareEvernoteTest, ANoteGoesOverTLSWithTheTestCAAndOldStyleReplies) {
  std::string ca = kit::Paths::dataRoot() + "/ca.pem";
  ASSERT_TRUE(tolvatest::TestCertificateAuthority::shared().writeCertificate(ca));
  EDAMClientFactory::setExtraTrustedCertificates(ca);
  tolvatest::TestThriftServer users(std::make_shared<EDAMUserStoreProcessor>(users_), true, false);
  tolvatest::TestThriftServer notes(std::make_shared<EDAMNoteStoreProcessor>(notes_), true, false);
  ShareConfiguration::resetForTesting();
  ShareConfiguration::sharedInstanceWithConfigurator(
      kit::make<NoteConfigurator>(users.url("/edam/user"), notes.url("/edam/note/")));
  storeLogin();
  kit::Ref<ShareSharer> sharer = ShareSharer::sharerWithClassName(ShareEvernote::kName);
  sharer->setItem(ShareItem::text("secure").get());
  ASSERT_TRUE(sharer->send());
  EXPECT_TRUE(waitFor([&] { return notes_->count() == 1; }));
  EXPECT_EQ(sharer->lastError(), nullptr);
  EXPECT_EQ(notes.received().at(0).rfind("POST /edam/note/s7 HTTP/1.1\r\n", 0), 0u);
  EDAMClientFactory::setExtraTrustedCertificates({});
}

TEST_F(ShareEvernoteTest, TheMediaTagPutsHeightFirstAndDropsAPartialSize) {
  EDAMResource r;
  r.__set_mime("a\"b");
  r.data.__set_body("hello");
  EXPECT_EQ(ShareEvernote::enMediaTagWithResource(r, 10.4, 20.6),
            "<en-media type=\"a&quot;b\" height=\"21\" width=\"10\" hash=\"5d41402abc4b2a76b9719d911017c592\"/>");
  EXPECT_EQ(ShareEvernote::enMediaTagWithResource(r, 10, 0),
            "<en-media type=\"a&quot;b\" hash=\"5d41402abc4b2a76b9719d911017c592\"/>");
}

}  // namespace
