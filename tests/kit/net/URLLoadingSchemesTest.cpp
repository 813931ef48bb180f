#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "URLLoadingSupport.h"
#include "kit/foundation/FileManager.h"
#include "kit/foundation/Paths.h"

using namespace kit;
using urltest::Recorder;
using urltest::request;
using urltest::URLLoadingTest;

namespace {

Ref<URLRequest> lenient(const std::string& text) {
  return URLRequest::requestWithURL(URL::lenientURLWithString(text));
}

}  // namespace

TEST_F(URLLoadingTest, DataURLsDecode) {
  struct Case {
    std::string url, body, mime;
    std::optional<std::string> charset;
  };
  for (const auto& c : std::vector<Case>{
           {"data:,Hello%2C%20World!", "Hello, World!", "text/plain", "US-ASCII"},
           {"data:text/html;charset=utf-8,%3Ch1%3Ehi%3C%2Fh1%3E", "<h1>hi</h1>", "text/html", "utf-8"},
           {"data:image/png;base64,AAEC/w==", std::string("\x00\x01\x02\xff", 4), "image/png", std::nullopt},
           {"data:;base64,aGk", "hi", "text/plain", "US-ASCII"},  // padding left out
           {"data:text/plain,a%00b#fragment", std::string("a\0b", 3), "text/plain", std::nullopt},
       }) {
    Recorder r;
    urltest::load(r, *lenient(c.url));
    EXPECT_FALSE(r.error) << c.url;
    EXPECT_EQ(r.body, c.body) << c.url;
    ASSERT_TRUE(r.response) << c.url;
    EXPECT_EQ(r.response->MIMEType(), c.mime) << c.url;
    EXPECT_EQ(r.response->textEncodingName(), c.charset) << c.url;
    EXPECT_EQ(r.response->expectedContentLength(), int64_t(c.body.size())) << c.url;
  }
  for (const char* bad : {"data:text/plain;base64,!!!!", "data:no-comma", "data:;base64,a==="}) {
    Recorder r;
    urltest::load(r, *lenient(bad));
    EXPECT_EQ(r.errorCode(), URLError::kBadURL) << bad;
  }
}

TEST_F(URLLoadingTest, FileURLsReadTheDisk) {
  const std::string folder = Paths::temporaryDirectory() + "/url loading";
  ASSERT_TRUE(FileManager::createDirectory(folder));
  std::string big;
  for (int i = 0; i < 100000; ++i) big += char('a' + i % 26);
  ASSERT_TRUE(FileManager::writeFile(folder + "/page one.html", big));
  Recorder r;
  urltest::load(r, URLRequest(URL::fileURLWithPath(folder + "/page one.html")));
  EXPECT_FALSE(r.error);
  EXPECT_EQ(r.body, big);
  EXPECT_EQ(r.response->MIMEType(), "text/html");
  EXPECT_EQ(r.response->expectedContentLength(), int64_t(big.size()));
  EXPECT_EQ(r.response->suggestedFilename(), "page one.html");
  EXPECT_FALSE(cast<HTTPURLResponse>(r.response));

  Recorder missing;
  urltest::load(missing, URLRequest(URL::fileURLWithPath(folder + "/nothing.txt")));
  EXPECT_EQ(missing.errorCode(), URLError::kFileDoesNotExist);
  Recorder directory;
  urltest::load(directory, URLRequest(URL::fileURLWithPath(folder, true)));
  EXPECT_EQ(directory.errorCode(), URLError::kFileIsDirectory);
  if (geteuid() != 0) {
    ASSERT_TRUE(FileManager::writeFile(folder + "/locked.txt", "x"));
    ::chmod((folder + "/locked.txt").c_str(), 0);
    Recorder locked;
    urltest::load(locked, URLRequest(URL::fileURLWithPath(folder + "/locked.txt")));
    EXPECT_EQ(locked.errorCode(), URLError::kNoPermissionsToReadFile);
  }
  Recorder remote;
  urltest::load(remote, *request("file://example.com/etc/hosts"));
  EXPECT_EQ(remote.errorCode(), URLError::kUnsupportedURL);
}

TEST_F(URLLoadingTest, CancellingAFileLoadBetweenPieces) {
  const std::string path = Paths::temporaryDirectory() + "/large.bin";
  ASSERT_TRUE(FileManager::writeFile(path, std::string(3 << 20, 'q')));
  Recorder r;
  r.onData = [](URLConnection& c) { c.cancel(); };
  auto c = URLConnection::connectionWithRequest(URLRequest(URL::fileURLWithPath(path)), &r);
  RunLoop::current().runUntil([] { return false; }, 0.2);
  EXPECT_EQ(r.events, (std::vector<std::string>{"send", "response", "data"}));
  EXPECT_LT(r.body.size(), size_t(3 << 20));
}
