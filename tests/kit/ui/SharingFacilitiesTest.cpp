// The pasteboard, the picture folder and the mail message: what the browser
// hands to the desktop.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>
#include <string>
#include <vector>

#include "kit/foundation/Clock.h"
#include "kit/foundation/FileManager.h"
#include "kit/foundation/Paths.h"
#include "kit/security/Base64.h"
#include "kit/ui/MailComposeViewController.h"
#include "kit/ui/MailMessage.h"
#include "kit/ui/Pasteboard.h"
#include "kit/ui/PhotoAlbum.h"
#include "support/TempHome.h"
#include "UiTest.h"

namespace {

using kit::Ref;

Ref<kit::Image> redSquare(double side) {
  size_t n = size_t(side);
  std::vector<uint8_t> px(n * n * 4);
  for (size_t i = 0; i < n * n; ++i) {
    px[i * 4] = 255;
    px[i * 4 + 3] = 255;
  }
  return kit::Image::imageWithPixels({side, side}, std::move(px));
}

class SharingFacilitiesTest : public uitest::UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    kit::Paths::reset();
  }
  void TearDown() override {
    kit::PhotoAlbum::setFolder({});
    kit::MailComposeViewController::setMailHandler(nullptr);
    UiTest::TearDown();
  }
  tolvatest::TempHome home_;
};

TEST_F(SharingFacilitiesTest, ThePasteboardHoldsOneItemOfItsKind) {
  kit::Pasteboard* board = kit::Pasteboard::generalPasteboard();
  uint64_t before = board->changeCount();
  board->setURL(*kit::URL::URLWithString("http://example.test/a%20b?x=1"));
  EXPECT_EQ(board->url()->absoluteString(), "http://example.test/a%20b?x=1");
  EXPECT_EQ(board->string(), "http://example.test/a%20b?x=1");
  EXPECT_FALSE(board->image());

  board->setString("plain words");
  EXPECT_EQ(board->string(), "plain words");
  EXPECT_FALSE(board->url()) << "a word is no link";

  board->setImage(redSquare(4));
  ASSERT_TRUE(board->image());
  EXPECT_EQ(board->image()->pixelAt(1, 1), 0xff0000ffu);
  EXPECT_FALSE(board->string());
  EXPECT_EQ(board->changeCount(), before + 3);
}

TEST_F(SharingFacilitiesTest, PicturesGetNewNamesAndNeverOverwrite) {
  const std::string folder = home_.path() + "/Pictures";
  Ref<kit::Error> error;
  EXPECT_FALSE(kit::PhotoAlbum::writeImageNow(*redSquare(2), &error)) << "no folder: headless writes nothing";
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code(), kit::PhotoAlbum::NoFolder);

  kit::PhotoAlbum::setFolder(folder);
  auto first = kit::PhotoAlbum::writeImageNow(*redSquare(2));
  auto second = kit::PhotoAlbum::writeImageNow(*redSquare(3));
  ASSERT_TRUE(first && second);
  EXPECT_NE(*first, *second);
  Ref<kit::Image> back = kit::Image::imageWithContentsOfFile(*first);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->pixelWidth(), 2u);
  EXPECT_EQ(kit::Image::imageWithContentsOfFile(*second)->pixelWidth(), 3u);
  auto names = kit::FileManager::contentsOfDirectory(folder);
  ASSERT_TRUE(names);
  EXPECT_EQ(names->size(), 2u) << "no temporary file is left behind";

  EXPECT_FALSE(kit::PhotoAlbum::writeImageNow(*kit::Image::imageWithSize({2, 2}), &error));
  EXPECT_EQ(error->code(), kit::PhotoAlbum::NoImage);

  // The remembered paths are the latest ones only: a long session keeps no growing list.
  std::vector<std::string> paths;
  for (size_t i = 0; i < kit::PhotoAlbum::kRememberedFiles + 2; ++i)
    paths.push_back(kit::PhotoAlbum::writeImageNow(*redSquare(1)).value_or("?"));
  std::vector<std::string> remembered = kit::PhotoAlbum::writtenFiles();
  ASSERT_EQ(remembered.size(), kit::PhotoAlbum::kRememberedFiles);
  EXPECT_EQ(remembered.front(), paths[2]);
  EXPECT_EQ(remembered.back(), paths.back());

  // A large picture is encoded and written on a thread of its own, never on the caller's.
  const size_t filesBefore = kit::FileManager::contentsOfDirectory(folder)->size();
  bool called = false;
  Ref<kit::Error> failure;
  kit::PhotoAlbum::writeImage(redSquare(1500), [&](kit::Error* e) {
    called = true;
    failure = e;
  });
  EXPECT_EQ(kit::PhotoAlbum::writtenFiles().back(), paths.back()) << "written before writeImage returned";
  EXPECT_FALSE(called) << "the completion comes on a later turn of the main loop";
  kit::Clock::setReal();
  EXPECT_TRUE(loop().runUntil([&] { return called; }, 30));
  kit::Clock::setVirtual(700000000.0);
  EXPECT_FALSE(failure);
  EXPECT_EQ(kit::FileManager::contentsOfDirectory(folder)->size(), filesBefore + 1);
}

// The parts of a written message: headers, then each part's headers and decoded body.
struct Parsed {
  std::map<std::string, std::string> headers;
  std::vector<std::pair<std::string, std::string>> parts;  // part headers, decoded body
};

Parsed parse(const std::string& message) {
  Parsed p;
  size_t end = message.find("\r\n\r\n");
  std::string head = message.substr(0, end);
  size_t at = 0;
  while (at < head.size()) {
    size_t nl = head.find("\r\n", at);
    std::string line = head.substr(at, nl == std::string::npos ? std::string::npos : nl - at);
    at = nl == std::string::npos ? head.size() : nl + 2;
    if (line.empty()) continue;
    if (line[0] == ' ') {
      p.headers.rbegin()->second += line;
      continue;
    }
    size_t colon = line.find(": ");
    p.headers[line.substr(0, colon)] = line.substr(colon + 2);
  }
  std::string type = p.headers["Content-Type"];
  std::string boundary = type.substr(type.find("boundary=\"") + 10);
  boundary.pop_back();
  std::string delim = "--" + boundary;
  size_t pos = message.find(delim, end);
  while (pos != std::string::npos && message.compare(pos + delim.size(), 2, "--") != 0) {
    size_t start = pos + delim.size() + 2;
    size_t next = message.find(delim, start);
    std::string part = message.substr(start, next - start);
    size_t split = part.find("\r\n\r\n");
    std::string encoded = part.substr(split + 4);
    auto bytes = kit::Base64::decode(encoded);
    p.parts.emplace_back(part.substr(0, split), bytes ? std::string(bytes->begin(), bytes->end()) : "<bad base64>");
    pos = next;
  }
  return p;
}

TEST_F(SharingFacilitiesTest, TheMailMessageCarriesEverythingAndNoHeaderBreaks) {
  Ref<kit::MailComposeViewController> mail(new kit::MailComposeViewController());
  mail->setSubject("Größe\r\nBcc: victim@example.test");
  mail->setToRecipients({"a@example.test", "b@example.test\r\nX-Evil: 1"});
  mail->setMessageBody("<p>Hi &amp; bye</p>", true);
  mail->addAttachmentData(kit::Data::dataWithString("<html>page</html>"), "text/html", "content.html");
  mail->addAttachmentData(kit::Data::dataWithString(std::string("\xff\xd8\x00\x01", 4)), "image/jpeg\r\nX: y",
                          "Bild \"1\".jpg");
  mail->addAttachmentData(kit::Data::dataWithString("x"), "text/plain", "résumé.txt");
  std::string message = kit::MailMessage::write(*mail);

  EXPECT_EQ(message.find("\r\nX-Evil"), std::string::npos);
  EXPECT_EQ(message.find("\r\nBcc: victim"), std::string::npos);
  EXPECT_EQ(message.find("\r\nX: y"), std::string::npos);
  Parsed p = parse(message);
  EXPECT_EQ(p.headers["To"], "a@example.test, b@example.test  X-Evil: 1");
  EXPECT_EQ(p.headers["Subject"].rfind("=?UTF-8?B?", 0), 0u) << p.headers["Subject"];
  EXPECT_EQ(p.headers["MIME-Version"], "1.0");
  ASSERT_EQ(p.parts.size(), 4u);
  EXPECT_NE(p.parts[0].first.find("text/html; charset=UTF-8"), std::string::npos);
  EXPECT_EQ(p.parts[0].second, "<p>Hi &amp; bye</p>");
  EXPECT_NE(p.parts[1].first.find("filename=\"content.html\""), std::string::npos);
  EXPECT_EQ(p.parts[1].second, "<html>page</html>");
  EXPECT_NE(p.parts[2].first.find("Content-Type: application/octet-stream"), std::string::npos)
      << "a type that would break the header is replaced";
  EXPECT_NE(p.parts[2].first.find("filename=\"Bild \\\"1\\\".jpg\""), std::string::npos);
  EXPECT_EQ(p.parts[2].second, std::string("\xff\xd8\x00\x01", 4));
  EXPECT_NE(p.parts[3].first.find("filename*=UTF-8''r%C3%A9sum%C3%A9.txt"), std::string::npos);

  // Encoded words decode back to the subject, its line break made a space.
  std::string subject;
  std::string words = p.headers["Subject"];
  for (size_t at = words.find("=?UTF-8?B?"); at != std::string::npos; at = words.find("=?UTF-8?B?", at)) {
    size_t close = words.find("?=", at + 10);
    auto bytes = kit::Base64::decode(words.substr(at + 10, close - at - 10));
    subject += std::string(bytes->begin(), bytes->end());
    at = close;
  }
  EXPECT_EQ(subject, "Größe  Bcc: victim@example.test");
}

class RecordingMailHandler : public kit::MailHandler {
 public:
  bool openMessage(const std::string& path, const kit::MailComposeViewController&) override {
    struct stat st {};
    ::stat(path.c_str(), &st);
    mode = st.st_mode & 0777;
    auto data = kit::FileManager::readFile(path);
    message = data ? std::string(data->view()) : "";
    return answer;
  }
  bool answer = true;
  std::string message;
  unsigned mode = 0;
};

class FinishRecorder : public kit::MailComposeViewControllerDelegate {
 public:
  void mailComposeControllerDidFinish(kit::MailComposeViewController&, kit::MailComposeResult r,
                                      kit::Error*) override {
    results.push_back(r);
  }
  std::vector<kit::MailComposeResult> results;
};

TEST_F(SharingFacilitiesTest, AnAppearingComposerHandsItsMessageOverOnceAndFinishes) {
  RecordingMailHandler handler;
  kit::MailComposeViewController::setMailHandler(&handler);
  FinishRecorder recorder;
  for (bool taken : {true, false}) {
    handler.answer = taken;
    recorder.results.clear();
    Ref<kit::MailComposeViewController> mail(new kit::MailComposeViewController());
    mail->setMailComposeDelegate(&recorder);
    mail->setSubject("Page");
    mail->viewDidAppear(false);
    mail->viewDidAppear(false);
    EXPECT_TRUE(recorder.results.empty()) << "never inside its own appearance";
    loop().drain();
    ASSERT_EQ(recorder.results.size(), 1u);
    EXPECT_EQ(recorder.results[0], taken ? kit::MailComposeResult::Saved : kit::MailComposeResult::Failed);
    EXPECT_NE(handler.message.find("Subject: Page\r\n"), std::string::npos);
    EXPECT_EQ(handler.mode & 077, 0u) << "the draft is private to the user";
  }
}

}  // namespace
