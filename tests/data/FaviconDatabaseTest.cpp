// The favicon store: which URLs make an icon file, the stock icons, and
// fetches against the loopback server (resizing, one per site, the failure
// cache, files that are not images).

#include <chrono>
#include <future>

#include "data/DataTest.h"
#include "data/VeskFaviconDatabase.h"
#include "kit/foundation/Bundle.h"
#include "kit/foundation/FileManager.h"
#include "kit/foundation/Paths.h"
#include "support/TempHome.h"
#include "support/TestHTTPServer.h"
#include "support/TestResponse.h"

namespace datatest {
namespace {

using tolva::VeskFaviconDatabase;
using tolvatest::TestHTTPServer;
using tolvatest::TestResponse;

std::string pngOf(double width, double height) {
  const size_t n = static_cast<size_t>(width * height * 4);
  std::vector<uint8_t> rgba(n, 0);
  for (size_t i = 0; i < n; i += 4) rgba[i] = rgba[i + 3] = 255;
  kit::Ref<kit::Data> png = kit::Image::imageWithPixels({width, height}, std::move(rgba))->pngData();
  return std::string(png->view());
}

// Whether two images show the same pixels.
bool samePicture(const kit::Image* a, const kit::Image* b) {
  return a && b && a->pixelWidth() == b->pixelWidth() && a->pixelHeight() == b->pixelHeight() &&
         a->pixels() == b->pixels();
}

kit::Ref<kit::Image> bundlePicture(const std::string& name) {
  return kit::Image::imageWithContentsOfFile(kit::Bundle::mainBundle()->pathForResource(name, "png"));
}

class FaviconDatabaseTest : public DataTest {
 protected:
  static VeskFaviconDatabase* icons() { return VeskFaviconDatabase::getSharedInstance(); }
  static void settle() { VeskFaviconDatabase::waitForFetchesForTesting(); }
  std::string page(const std::string& path = "/page") const { return server.url(path); }

  TestHTTPServer server;
};

TEST_F(FaviconDatabaseTest, OnlyPlainHostNamesMakeAFileName) {
  auto key = [](const std::string& url) { return VeskFaviconDatabase::siteKey(url).value_or("<none>"); };
  EXPECT_EQ(key("http://Example.COM/a/b?c"), "example.com");
  EXPECT_EQ(key("http://example.com:80/"), "example.com");
  EXPECT_EQ(key("https://example.com:443/"), "example.com");
  EXPECT_EQ(key("http://example.com:8080/"), "example.com:8080");
  EXPECT_EQ(key("https://httpbin.org/get"), "httpbin.org");
  EXPECT_EQ(key("http://b\xC3\xBC" "cher.example/"), "xn--bcher-kva.example");
  EXPECT_EQ(key("http://a..b/"), "<none>");
  EXPECT_EQ(key("http://%2e%2e%2fetc/"), "<none>");
  EXPECT_EQ(key("http://a%2Fb.test/"), "<none>");
  EXPECT_EQ(key("http://.hidden/"), "<none>");
  EXPECT_EQ(key("http://[::1]:8080/"), "<none>");
  EXPECT_EQ(key("about:blank"), "<none>");
  EXPECT_EQ(key("file:///etc/passwd"), "<none>");
  EXPECT_EQ(key("data:text/plain,hi"), "<none>");
  EXPECT_EQ(key(""), "<none>");
  EXPECT_EQ(VeskFaviconDatabase::faviconPath("http://example.com:8080/"),
            kit::Paths::cachesDirectory() + "/favicon-example.com:8080.png");
  EXPECT_EQ(VeskFaviconDatabase::faviconPath("about:blank"), "");
  EXPECT_EQ(VeskFaviconDatabase::extractBase("http://Example.com:81/x").value_or(""), "Example.com");
  EXPECT_FALSE(VeskFaviconDatabase::extractBase("about:blank"));
}

TEST_F(FaviconDatabaseTest, ScriptsAndPagesWithoutASiteGetStockIconsAndNoFetch) {
  kit::Ref<kit::Image> js = bundlePicture("favicon-js");
  kit::Ref<kit::Image> plain = bundlePicture("favicon-default");
  ASSERT_TRUE(js && plain);
  EXPECT_TRUE(samePicture(icons()->getFavicon("JavaScript:alert(1)").get(), js.get()));
  EXPECT_TRUE(samePicture(icons()->getFavicon("javascript:void(0)").get(), js.get()));
  EXPECT_TRUE(samePicture(icons()->getFavicon("").get(), js.get()));
  EXPECT_TRUE(samePicture(icons()->getFavicon("about:blank").get(), plain.get()));
  EXPECT_TRUE(samePicture(icons()->getFavicon("file:///tmp/x.html").get(), plain.get()));
  EXPECT_TRUE(samePicture(icons()->getCancelFavicon().get(), bundlePicture("favicon-cancel").get()));
  EXPECT_TRUE(samePicture(icons()->getHistoryFavicon().get(), bundlePicture("favicon-history").get()));
  EXPECT_TRUE(samePicture(icons()->getFolderFavicon().get(), bundlePicture("favicon-folder").get()));
  settle();
  EXPECT_EQ(VeskFaviconDatabase::fetchCountForTesting(), 0);
  EXPECT_EQ(server.requestCount(), 0u);

  // The stock icons are remembered per bundle: another bundle shows its own.
  tolvatest::TempHome other;
  ASSERT_TRUE(kit::FileManager::createFile(other.path() + "/favicon-default.png", pngOf(3, 3)));
  const std::string resources = kit::Bundle::mainBundle()->bundlePath();
  kit::Bundle::setMainBundlePath(other.path());
  kit::Ref<kit::Image> replaced = icons()->getFavicon("about:blank");
  kit::Bundle::setMainBundlePath(resources);
  ASSERT_TRUE(replaced);
  EXPECT_EQ(replaced->pixelWidth(), 3u);
  EXPECT_TRUE(samePicture(icons()->getFavicon("about:blank").get(), plain.get()));
}

TEST_F(FaviconDatabaseTest, AFetchedIconIsStoredAtSixteenPointsAndNeverFetchedAgain) {
  server.route("GET", "/favicon.ico", TestResponse::ok(pngOf(32, 32), "image/png"));
  EXPECT_FALSE(icons()->checkFavicon(page()));
  kit::Ref<kit::Image> first = icons()->getFavicon(page());
  EXPECT_TRUE(samePicture(first.get(), bundlePicture("favicon-default").get()));
  settle();
  ASSERT_TRUE(icons()->checkFavicon(page("/elsewhere")));
  kit::Ref<kit::Image> stored = kit::Image::imageWithContentsOfFile(VeskFaviconDatabase::faviconPath(page()));
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->size(), kit::Size(16, 16));
  kit::Ref<kit::Image> shown = icons()->getFavicon(page("/other"));
  EXPECT_TRUE(samePicture(shown.get(), stored.get()));
  icons()->makeFaviconAvailable(page());
  settle();
  EXPECT_EQ(server.requestsFor("/favicon.ico").size(), 1u);
  EXPECT_EQ(VeskFaviconDatabase::fetchCountForTesting(), 1);
}

TEST_F(FaviconDatabaseTest, ASixteenWideIconOfAnotherHeightIsKeptAsItIs) {
  server.route("GET", "/favicon.ico", TestResponse::ok(pngOf(16, 24), "image/png"));
  icons()->makeFaviconAvailable(page());
  settle();
  kit::Ref<kit::Image> stored = kit::Image::imageWithContentsOfFile(VeskFaviconDatabase::faviconPath(page()));
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->size(), kit::Size(16, 24));
}

TEST_F(FaviconDatabaseTest, AnExistingIconFileIsNeverReplaced) {
  server.route("GET", "/favicon.ico", TestResponse::ok(pngOf(32, 32), "image/png"));
  const std::string path = VeskFaviconDatabase::faviconPath(page());
  kit::FileManager::createDirectory(kit::Paths::cachesDirectory());
  ASSERT_TRUE(kit::FileManager::createFile(path, pngOf(16, 16)));
  VeskFaviconDatabase::downloadFaviconInBackground(*VeskFaviconDatabase::siteKey(page()));
  EXPECT_EQ(server.requestCount(), 0u);
  EXPECT_EQ(std::string(kit::FileManager::readFile(path)->view()), pngOf(16, 16));
}

TEST_F(FaviconDatabaseTest, AFailedSiteIsAskedAgainOnlyAfterAnHour) {
  server.route("GET", "/favicon.ico", TestResponse::withStatus(404, "none"));
  icons()->getFavicon(page());
  settle();
  icons()->getFavicon(page());
  icons()->makeFaviconAvailable(page());
  settle();
  EXPECT_EQ(server.requestsFor("/favicon.ico").size(), 1u);
  EXPECT_FALSE(icons()->checkFavicon(page()));

  server.route("GET", "/favicon.ico", TestResponse::ok(pngOf(16, 16), "image/png"));
  kit::Clock::advance(3599);
  icons()->getFavicon(page());
  settle();
  EXPECT_EQ(server.requestsFor("/favicon.ico").size(), 1u);
  kit::Clock::advance(2);
  icons()->getFavicon(page());
  settle();
  EXPECT_EQ(server.requestsFor("/favicon.ico").size(), 2u);
  EXPECT_TRUE(icons()->checkFavicon(page()));
}

TEST_F(FaviconDatabaseTest, DataThatIsNoPictureOrTooLargeStoresNothing) {
  server.route("GET", "/favicon.ico", TestResponse::ok("<html>not an icon</html>", "image/x-icon"));
  icons()->makeFaviconAvailable(page());
  settle();
  EXPECT_FALSE(icons()->checkFavicon(page()));

  TestHTTPServer big;
  std::string huge = pngOf(16, 16) + std::string(VeskFaviconDatabase::kMaxIconBytes, 'x');
  big.route("GET", "/favicon.ico", TestResponse::ok(huge, "image/png"));
  icons()->makeFaviconAvailable(big.url("/"));
  settle();
  EXPECT_FALSE(icons()->checkFavicon(big.url("/")));
  EXPECT_EQ(big.requestsFor("/favicon.ico").size(), 1u);
}

TEST_F(FaviconDatabaseTest, ASiteIsFetchedOnceAtATime) {
  std::promise<void> release;
  std::shared_future<void> go = release.get_future().share();
  server.route("GET", "/favicon.ico", [go](const tolvatest::RecordedRequest&) {
    go.wait();
    return TestResponse::ok(pngOf(16, 16), "image/png");
  });
  for (int i = 0; i < 5; ++i) {
    icons()->getFavicon(page("/" + std::to_string(i)));
    icons()->makeFaviconAvailable(page());
  }
  EXPECT_EQ(VeskFaviconDatabase::fetchCountForTesting(), 1);
  release.set_value();
  settle();
  EXPECT_EQ(server.requestsFor("/favicon.ico").size(), 1u);
  EXPECT_TRUE(icons()->checkFavicon(page()));
}

// At the program's end a fetch under way is cancelled rather than left to run
// while the exit takes down what it uses, and no new one starts.
TEST_F(FaviconDatabaseTest, StoppingCancelsAFetchUnderWayAndStartsNoMore) {
  std::promise<void> release;
  std::shared_future<void> go = release.get_future().share();
  server.route("GET", "/favicon.ico", [go](const tolvatest::RecordedRequest&) {
    go.wait_for(std::chrono::seconds(60));
    return TestResponse::ok(pngOf(16, 16), "image/png");
  });
  icons()->makeFaviconAvailable(page());
  ASSERT_TRUE(loop().runUntil([&] { return server.requestCount() > 0; }, 30));
  VeskFaviconDatabase::stopFetches(30);
  icons()->makeFaviconAvailable(server.url("localhost", "/other"));
  release.set_value();  // too late: the answer finds nobody
  settle();
  EXPECT_FALSE(icons()->checkFavicon(page()));
  EXPECT_EQ(VeskFaviconDatabase::fetchCountForTesting(), 1);
}

TEST_F(FaviconDatabaseTest, AddingABookmarkFetchesItsSiteIcon) {
  server.route("GET", "/favicon.ico", TestResponse::ok(pngOf(16, 16), "image/png"));
  startEmpty();
  db()->addItem("Loopback", page(), nullptr);
  settle();
  EXPECT_TRUE(icons()->checkFavicon(page()));
}

}  // namespace
}  // namespace datatest
