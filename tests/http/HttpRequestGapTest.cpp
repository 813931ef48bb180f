// Paths of the request engine that other suites pass by: a proxy in the
// way, and the exact offsets a stalled download resumes from.

#include <string>

#include "http/HttpErrorType.h"
#include "http/HttpRequestTestSupport.h"
#include "support/TestHTTPServer.h"
#include "support/TestProxyServer.h"

using namespace tolva;
using namespace tolvatest;
using kit::Ref;

TEST_F(HttpRequestTest, ARequestThroughAProxyAsksForTheWholeURLAndGetsTheServersAnswer) {
  TestHTTPServer server;
  server.route("GET", "/via", TestResponse::ok("through the proxy"));
  TestProxyServer proxy;
  Ref<HttpRequest> r = HttpRequest::requestWithURL(U(server.url("/via")));
  r->setProxyHost("127.0.0.1");
  r->setProxyPort(proxy.port());
  RecordingDelegate d;
  ASSERT_TRUE(runAsync(r, d));
  ASSERT_EQ(d.finished, 1) << (r->error() ? r->error()->localizedDescription() : "");
  EXPECT_EQ(r->responseStatusCode(), 200);
  EXPECT_EQ(r->responseString(), "through the proxy");
  auto records = proxy.records();
  ASSERT_FALSE(records.empty());
  EXPECT_EQ(records.back().method, "GET");
  EXPECT_EQ(records.back().target, server.url("/via"));  // absolute form: the proxy is asked for the whole URL
  EXPECT_EQ(server.requestsFor("/via").size(), 1u);

  proxy.stop();
  server.stop();
}

// Each attempt stalls after 40000 bytes; each retry asks for the rest from
// where the partial file ends, so the third attempt completes the file.
TEST_F(HttpRequestTest, EachRetryOfAStalledDownloadResumesWhereTheFileEnds) {
  TestHTTPServer server;
  std::string body;
  for (int i = 0; i < 100000; ++i) body += static_cast<char>('a' + i % 23);
  server.route("GET", "/slow", [&](const RecordedRequest& request) {
    std::string range = request.headers.value("Range");
    size_t from = range.rfind("bytes=", 0) == 0 ? std::stoul(range.substr(6)) : 0;
    TestResponse response = from ? TestResponse::withStatus(206, body.substr(from))
                                       .header("Content-Range", "bytes " + std::to_string(from) + "-" +
                                                                    std::to_string(body.size() - 1) + "/" +
                                                                    std::to_string(body.size()))
                                 : TestResponse::ok(body);
    if (body.size() - from > 40000) response.stallAfterBody(40000, TestResponse::untilStop);
    return response.header("Accept-Ranges", "bytes");
  });
  Ref<HttpRequest> r = HttpRequest::requestWithURL(U(server.url("/slow")));
  r->setTimeOutSeconds(0.4);
  r->setNumberOfTimesToRetryOnTimeout(2);
  r->setDownloadDestinationPath(tmp("slow"));
  r->setTemporaryFileDownloadPath(tmp("slow.part"));
  RecordingDelegate d;
  ASSERT_TRUE(runAsync(r, d, 15));
  auto seen = server.requestsFor("/slow");
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_FALSE(seen[0].headers.has("Range"));
  EXPECT_EQ(seen[1].headers.value("Range"), "bytes=40000-");
  EXPECT_EQ(seen[2].headers.value("Range"), "bytes=80000-");
  ASSERT_EQ(d.finished, 1);
  EXPECT_TRUE(read(tmp("slow")) == body);
  EXPECT_FALSE(kit::FileManager::fileExists(tmp("slow.part")));
  server.stop();
}
