// The page archiver against a loopback site: images, a style sheet that refers to itself, a
// style element and a style attribute, a frame that refers back to its page, links and media
// that are not fetched, and schemes that are never fetched. The archive must open with the
// server stopped.

#include <set>

#include "http/HttpDownloadCache.h"
#include "http/HttpRequestTestSupport.h"
#include "http/HttpWebPageRequest.h"
#include "kit/security/Base64.h"
#include "support/TestHTTPServer.h"

using namespace tolva;
using namespace tolvatest;
using kit::Ref;

namespace {

const char* kPage = R"HTML(<html><head>
<link rel="stylesheet" href="/s/site.css">
<link rel="icon" href="/favicon.ico">
<style>body { background: url('/img/bg.png') }</style>
</head><body>
<img src="/img/a.png">
<div style="background-image: url(/img/nav-bg.png)">x</div>
<a href="/other.html">link</a>
<img src="data:image/gif;base64,R0lGODlhAQABAAAAACw=">
<img src="file:///etc/hostname">
<script src="javascript:alert(1)"></script>
<iframe src="/frame.html"></iframe>
<audio src="/media/song.ogg"></audio>
</body></html>)HTML";

const char* kSheet = "@import url(\"site.css\");\n.x { background: url( '../img/bg.png' ) }\n.y{background:url(/img/nav-bg.png)}";
const char* kFrame = R"HTML(<html><body><img src="/img/frame.png"><iframe src="/page.html"></iframe></body></html>)HTML";

std::string decodeDataURL(const std::string& url) {
  const size_t comma = url.find(";base64,");
  if (comma == std::string::npos) return "<not a data URL>";
  auto bytes = kit::Base64::decode(url.substr(comma + 8));
  return bytes ? std::string(bytes->begin(), bytes->end()) : "<bad base64>";
}

// The value of the first attribute `name` following `marker`.
std::string attributeAfter(const std::string& html, const std::string& marker, const std::string& name) {
  size_t at = html.find(marker);
  if (at == std::string::npos) return "<no " + marker + ">";
  at = html.find(name + "=\"", at);
  if (at == std::string::npos) return "<no " + name + ">";
  at += name.size() + 2;
  return html.substr(at, html.find('"', at) - at);
}

class HttpWebPageRequestTest : public HttpRequestTest {
 protected:
  void SetUp() override {
    HttpRequestTest::SetUp();
    server.route("GET", "/page.html", TestResponse::html(kPage));
    server.route("GET", "/s/site.css", TestResponse::ok(kSheet, "text/css"));
    server.route("GET", "/frame.html", TestResponse::html(kFrame));
    for (const char* img : {"a", "bg", "nav-bg", "frame"}) {
      server.route("GET", std::string("/img/") + img + ".png", TestResponse::ok(std::string("PNG:") + img, "image/png"));
    }
  }
  Ref<HttpWebPageRequest> archive(const std::string& path, int mode) {
    Ref<HttpWebPageRequest> r = HttpWebPageRequest::requestWithURL(U(server.url(path)));
    r->setUrlReplacementMode(mode);
    return r;
  }

  TestHTTPServer server;
};

TEST_F(HttpWebPageRequestTest, CSSURLsAndRelativePaths) {
  EXPECT_EQ(HttpWebPageRequest::CSSURLsFromString("a{b:URL( \"x.png\" )} c{d:url('y.png')} e{f:url(z.png"),
            (std::vector<std::string>{"x.png", "y.png"}));
  EXPECT_EQ(HttpWebPageRequest::replaceCSSURLs(".a{background:url(bg.png)} .b{background:url(nav-bg.png)}",
                                               [](const std::string& u) { return u == "bg.png" ? "NEW" : ""; }),
            ".a{background:url(\"NEW\")} .b{background:url(nav-bg.png)}");
  EXPECT_EQ(HttpWebPageRequest::relativePathTo("/c/site/res/img.png", "/c/site/page.html"), "res/img.png");
  EXPECT_EQ(HttpWebPageRequest::relativePathTo("/c/site/res/img.png", "/c/site/pages/page.html"), "../res/img.png");
  EXPECT_EQ(HttpWebPageRequest::relativePathTo("/c/a", "/c/a"), "");
}

TEST_F(HttpWebPageRequestTest, DataURLArchiveOpensWithTheServerStopped) {
  Ref<HttpWebPageRequest> r = archive("/page.html", UrlReplacementDataURL);
  RecordingDelegate d;
  ASSERT_TRUE(runAsync(r, d));
  ASSERT_EQ(d.finished, 1) << (r->error() ? r->error()->localizedDescription() : "");
  EXPECT_EQ(d.failed, 0);
  server.stop();
  const std::string html = r->responseString();

  EXPECT_EQ(decodeDataURL(attributeAfter(html, "<img", "src")), "PNG:a");
  EXPECT_EQ(attributeAfter(html, "<img", "src").rfind("data:image/png;base64,", 0), 0u);
  EXPECT_NE(html.find("background-image: url(\"data:image/png;base64," + kit::Base64::encode("PNG:nav-bg") + "\")"),
            std::string::npos);
  EXPECT_NE(html.find("url(\"data:image/png;base64," + kit::Base64::encode("PNG:bg") + "\")"), std::string::npos);
  // The sheet: its own images inside, its reference to itself left as it was.
  const std::string sheet = decodeDataURL(attributeAfter(html, "stylesheet", "href"));
  EXPECT_NE(sheet.find("url(\"data:image/png;base64," + kit::Base64::encode("PNG:bg") + "\")"), std::string::npos);
  EXPECT_NE(sheet.find("url(\"data:image/png;base64," + kit::Base64::encode("PNG:nav-bg") + "\")"), std::string::npos);
  EXPECT_NE(sheet.find("@import url(\"site.css\")"), std::string::npos);
  // The frame, with its image, and its reference back to the page left alone.
  const std::string frame = decodeDataURL(attributeAfter(html, "<iframe", "src"));
  EXPECT_NE(frame.find(kit::Base64::encode("PNG:frame")), std::string::npos);
  EXPECT_NE(frame.find("src=\"/page.html\""), std::string::npos);
  // Left as they were: links, other schemes, media not fetched.
  EXPECT_EQ(attributeAfter(html, "<a", "href"), "/other.html");
  EXPECT_NE(html.find("src=\"file:///etc/hostname\""), std::string::npos);
  EXPECT_NE(html.find("src=\"javascript:alert(1)\""), std::string::npos);
  EXPECT_NE(html.find("src=\"data:image/gif;base64,R0lGODlhAQABAAAAACw=\""), std::string::npos);
  EXPECT_NE(html.find("/media/song.ogg"), std::string::npos);
  EXPECT_EQ(html.find("<?xml"), std::string::npos);

  for (const char* never : {"/favicon.ico", "/other.html", "/media/song.ogg"}) EXPECT_TRUE(server.requestsFor(never).empty()) << never;
  auto gets = [&](const char* path) {
    size_t n = 0;
    for (const auto& seen : server.requestsFor(path)) n += seen.method == "GET";
    return n;
  };
  EXPECT_EQ(gets("/page.html"), 1u);
  EXPECT_EQ(gets("/s/site.css"), 1u);
}

TEST_F(HttpWebPageRequestTest, LocalFileArchiveUsesRelativePathsAndAbsoluteLinks) {
  kit::FileManager::createDirectory(tmp("site"));
  auto cache = kit::make<HttpDownloadCache>();
  cache->setStoragePath(tmp("site/cache"));
  Ref<HttpWebPageRequest> r = archive("/page.html", UrlReplacementLocalFile);
  r->setDownloadCache(cache);
  r->setCachePolicy(CachePolicyNoRead);
  r->setDownloadDestinationPath(tmp("site/page.html"));
  r->addRequestHeader("Cookie", "page=1");
  r->addRequestHeader("Authorization", "Basic c2VjcmV0");
  RecordingDelegate d;
  ASSERT_TRUE(runAsync(r, d));
  ASSERT_EQ(d.finished, 1) << (r->error() ? r->error()->localizedDescription() : "");

  const std::string html = read(tmp("site/page.html"));
  const std::string image = attributeAfter(html, "<img", "src");
  EXPECT_EQ(image.rfind("cache/SessionStore/", 0), 0u) << image;
  EXPECT_EQ(read(tmp("site/" + image)), "PNG:a");
  // The sheet's own images sit beside it and are named relative to it.
  const std::string sheetPath = tmp("site/" + attributeAfter(html, "stylesheet", "href"));
  const std::string sheet = read(sheetPath);
  const size_t at = sheet.find(".x { background: url(\"");
  ASSERT_NE(at, std::string::npos) << sheet;
  const size_t start = at + 22;
  const std::string bg = sheet.substr(start, sheet.find('"', start) - start);
  EXPECT_EQ(read(sheetPath.substr(0, sheetPath.rfind('/') + 1) + bg), "PNG:bg");
  EXPECT_EQ(attributeAfter(html, "<a", "href"), server.url("/other.html"));
  // Children make their own headers: the page's cookie and login do not travel with them.
  for (const auto& seen : server.requests()) {
    if (seen.path == "/page.html") continue;
    EXPECT_FALSE(seen.headers.has("Authorization")) << seen.path;
    EXPECT_NE(seen.headers.value("Cookie"), "page=1") << seen.path;
  }

  // Archived again into another folder, the page from the cache: its paths lead from there.
  kit::FileManager::createDirectory(tmp("site/again/deeper"), true);
  Ref<HttpWebPageRequest> again = archive("/page.html", UrlReplacementLocalFile);
  again->setDownloadCache(cache);
  again->setCachePolicy(CachePolicyUseIfCached);
  again->setDownloadDestinationPath(tmp("site/again/deeper/page.html"));
  RecordingDelegate d2;
  ASSERT_TRUE(runAsync(again, d2));
  ASSERT_EQ(d2.finished, 1) << (again->error() ? again->error()->localizedDescription() : "");
  const std::string moved = read(tmp("site/again/deeper/page.html"));
  const std::string movedImage = attributeAfter(moved, "<img", "src");
  EXPECT_EQ(movedImage.rfind("../../cache/SessionStore/", 0), 0u) << movedImage;
  EXPECT_EQ(read(tmp("site/again/deeper/" + movedImage)), "PNG:a");
  EXPECT_EQ(read(tmp("site/again/deeper/" + attributeAfter(moved, "stylesheet", "href"))), sheet);
  EXPECT_EQ(server.requestsFor("/page.html").size(), 1u);
}

TEST_F(HttpWebPageRequestTest, AFailedResourceFailsTheArchiveOnceAndParsingGoesOn) {
  int dead;
  {
    TestHTTPServer gone;
    dead = gone.port();
  }
  server.route("GET", "/broken.html",
               TestResponse::html("<img src=\"/img/a.png\"><img src=\"http://127.0.0.1:" + std::to_string(dead) +
                                  "/x.png\"><img src=\"/img/bg.png\">"));
  Ref<HttpWebPageRequest> r = archive("/broken.html", UrlReplacementDataURL);
  RecordingDelegate d;
  ASSERT_TRUE(runAsync(r, d));
  settle(0.3);
  EXPECT_EQ(d.failed, 1);
  EXPECT_EQ(d.finished, 0);
  EXPECT_EQ(r->error()->code(), kConnectionFailureErrorType);
  EXPECT_EQ(r->responseString().find("data:"), std::string::npos);

  // An empty page cannot be parsed: code 101, and the next page still parses.
  server.route("GET", "/empty.html", TestResponse::html(""));
  Ref<HttpWebPageRequest> empty = archive("/empty.html", UrlReplacementDataURL);
  RecordingDelegate d2;
  ASSERT_TRUE(runAsync(empty, d2));
  EXPECT_EQ(d2.failed, 1);
  EXPECT_EQ(empty->error()->code(), 101);
  Ref<HttpWebPageRequest> frame = archive("/frame.html", UrlReplacementDataURL);
  RecordingDelegate d3;
  ASSERT_TRUE(runAsync(frame, d3));
  EXPECT_EQ(d3.finished, 1);

  // Anything but HTML and CSS ends like a plain request.
  Ref<HttpWebPageRequest> png = archive("/img/a.png", UrlReplacementDataURL);
  RecordingDelegate d4;
  ASSERT_TRUE(runAsync(png, d4));
  EXPECT_EQ(d4.finished, 1);
  EXPECT_EQ(png->responseString(), "PNG:a");
}

// Adds up the bytes an archive reports, keeps its last fraction and answers its login questions.
class ArchiveDelegate : public RecordingDelegate, public HttpProgressDelegate {
 public:
  ArchiveDelegate() { answersAuthentication = true; }
  bool respondsToSelector(std::string_view selector) const override {
    if (selector == HttpProgressDelegate::kSetProgress || selector == HttpProgressDelegate::kRequestDidReceiveBytes) {
      return true;
    }
    return RecordingDelegate::respondsToSelector(selector);
  }
  void authenticationNeededForRequest(HttpRequest* request) override {
    ++asked;
    request->setUsername("u");
    request->setPassword("p");
    request->retryUsingSuppliedCredentials();
  }
  void requestDidReceiveBytes(HttpRequest* request, int64_t bytes) override {
    reporters.insert(request);
    received += bytes;
  }
  void setProgress(float progress) override { lastProgress = progress; }

  int asked = 0;
  std::set<HttpRequest*> reporters;
  int64_t received = 0;
  float lastProgress = -1;
};

TEST_F(HttpWebPageRequestTest, ChildrensProgressAndLoginsReachTheTopRequestAndACompressedPageIsText) {
  const std::string page = "<html><body><img src=\"/private/a.png\"><img src=\"/img/a.png\"></body></html>";
  server.route("GET", "/secure.html", TestResponse::html(page).gzip());
  server.route("GET", "/private/a.png", [](const RecordedRequest& r) {
    if (r.headers.value("Authorization") != "Basic " + kit::Base64::encode("u:p")) {
      return TestResponse::withStatus(401, "login").header("WWW-Authenticate", "Basic realm=\"site\"");
    }
    return TestResponse::ok("PNG:private", "image/png");
  });
  Ref<HttpWebPageRequest> r = archive("/secure.html", UrlReplacementDataURL);
  ArchiveDelegate d;
  r->setDownloadProgressDelegate(&d);
  ASSERT_TRUE(runAsync(r, d));
  settle();
  ASSERT_EQ(d.finished, 1) << (r->error() ? r->error()->localizedDescription() : "") << d.failed;
  EXPECT_EQ(d.asked, 1);
  EXPECT_EQ(decodeDataURL(attributeAfter(r->responseString(), "<img", "src")), "PNG:private");
  EXPECT_GE(d.reporters.size(), 3u);
  EXPECT_FLOAT_EQ(d.lastProgress, 1.0f);

  // Fetch only: nothing is rewritten, and the body handed back is the page's text.
  Ref<HttpWebPageRequest> plain = archive("/secure.html", UrlReplacementNone);
  ArchiveDelegate d2;
  ASSERT_TRUE(runAsync(plain, d2));
  ASSERT_EQ(d2.finished, 1);
  EXPECT_EQ(plain->responseString(), page);
  EXPECT_FALSE(plain->responseHeaders()->objectForKey("Content-Encoding"));
}

TEST_F(HttpWebPageRequestTest, AStyleSheetIsReadInItsOwnEncoding) {
  const std::string text = ".a{background:url(/img/a.png)}";
  std::string utf16;
  for (char c : text) utf16 += std::string{c, '\0'};
  server.route("GET", "/wide.css", TestResponse::ok(utf16, "text/css; charset=utf-16le"));
  Ref<HttpWebPageRequest> r = archive("/wide.css", UrlReplacementDataURL);
  RecordingDelegate d;
  ASSERT_TRUE(runAsync(r, d));
  ASSERT_EQ(d.finished, 1) << (r->error() ? r->error()->localizedDescription() : "");
  EXPECT_FALSE(server.requestsFor("/img/a.png").empty());
  EXPECT_EQ(r->responseString(), ".a{background:url(\"data:image/png;base64," + kit::Base64::encode("PNG:a") + "\")}");
}

TEST_F(HttpWebPageRequestTest, ASheetOrPageThatCannotBeReadOrWrittenFailsTheArchive) {
  // Bytes that are no text in the sheet's encoding.
  server.route("GET", "/bad.css", TestResponse::ok("a{b:url(/img/a.png)} \xff\xfe", "text/css; charset=utf-8"));
  Ref<HttpWebPageRequest> bad = archive("/bad.css", UrlReplacementDataURL);
  RecordingDelegate d1;
  ASSERT_TRUE(runAsync(bad, d1));
  ASSERT_EQ(d1.failed, 1);
  EXPECT_EQ(bad->error()->code(), 100);
  EXPECT_EQ(bad->error()->localizedDescription(), "Unable to read HTML string from response");

  // The downloaded sheet is gone by the time its resources are in.
  const std::string sheetFile = tmp("gone.css");
  server.route("GET", "/gone.css", TestResponse::ok("a{b:url(/img/taker.png)}", "text/css"));
  server.route("GET", "/img/taker.png", [sheetFile](const RecordedRequest&) {
    kit::FileManager::removeItem(sheetFile);
    return TestResponse::ok("PNG", "image/png");
  });
  Ref<HttpWebPageRequest> gone = archive("/gone.css", UrlReplacementDataURL);
  gone->setDownloadDestinationPath(sheetFile);
  RecordingDelegate d2;
  ASSERT_TRUE(runAsync(gone, d2));
  ASSERT_EQ(d2.failed, 1);
  EXPECT_EQ(gone->error()->code(), 101);
  EXPECT_EQ(gone->error()->localizedDescription(), "Error: unable to read response CSS from disk");
  EXPECT_FALSE(kit::FileManager::fileExists(sheetFile));

  // The rewritten page cannot be written over its file.
  const std::string pageFile = tmp("blocked.html");
  server.route("GET", "/blocked.html", TestResponse::html("<img src=\"/img/blocker.png\">"));
  server.route("GET", "/img/blocker.png", [pageFile](const RecordedRequest&) {
    kit::FileManager::removeItem(pageFile);
    kit::FileManager::createDirectory(pageFile + "/in-the-way");
    return TestResponse::ok("PNG", "image/png");
  });
  Ref<HttpWebPageRequest> blocked = archive("/blocked.html", UrlReplacementDataURL);
  blocked->setDownloadDestinationPath(pageFile);
  RecordingDelegate d3;
  ASSERT_TRUE(runAsync(blocked, d3));
  ASSERT_EQ(d3.failed, 1);
  EXPECT_EQ(blocked->error()->code(), 101);
  EXPECT_EQ(blocked->error()->localizedDescription(), "Error: unable to write response HTML to disk");
}

}  // namespace
