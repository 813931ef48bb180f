// Proxy choice: the system's settings, the environment, and proxy scripts from a file or over
// HTTP (DIRECT, PROXY, a list whose first proxy is dead, a script that cannot be read).

#include <cstdlib>
#include <fstream>

#include "http/HttpRequestTestSupport.h"
#include "kit/foundation/OperationQueue.h"
#include "kit/net/ProxySettings.h"
#include "support/TestHTTPServer.h"
#include "support/TestProxyServer.h"

using namespace tolva;
using namespace tolvatest;
using kit::ProxySettings;
using kit::Ref;

namespace {

class HttpRequestProxyTest : public HttpRequestTest {
 protected:
  void SetUp() override {
    HttpRequestTest::SetUp();
    ProxySettings::setSystemSettings(ProxySettings::Settings{});
    server.route("GET", "/page", TestResponse::ok("page"));
  }
  void TearDown() override {
    ProxySettings::setSystemSettings(std::nullopt);
    HttpRequestTest::TearDown();
  }
  std::string script(const std::string& answer) {
    return "function FindProxyForURL(url, host) { return \"" + answer + "\"; }";
  }
  std::string writeScript(const std::string& text) {
    const std::string path = tmp("proxy.pac");
    std::ofstream(path) << text;
    return path;
  }
  std::string viaProxy() const { return "PROXY 127.0.0.1:" + std::to_string(proxy.port()); }
  static int deadPort() {
    TestHTTPServer gone;
    const int port = gone.port();
    gone.stop();
    return port;
  }
  // Fetches /page and answers whether the proxy carried it.
  bool fetchedThroughProxy(Ref<HttpRequest> r, bool synchronous = false) {
    proxy.clearRecords();
    if (synchronous) {
      r->startSynchronous();
    } else {
      RecordingDelegate d;
      EXPECT_TRUE(runAsync(r, d));
    }
    EXPECT_FALSE(r->error()) << r->error()->localizedDescription();
    EXPECT_EQ(r->responseString(), "page");
    return proxy.recordCount() > 0;
  }

  TestHTTPServer server;
  TestProxyServer proxy;
};

TEST_F(HttpRequestProxyTest, SystemSettingsAndTheEnvironmentChooseTheProxy) {
  ProxySettings::Settings s;
  s.httpProxy = proxy.origin();
  ProxySettings::setSystemSettings(s);
  Ref<HttpRequest> r = HttpRequest::requestWithURL(U(server.url("/page")));
  EXPECT_TRUE(fetchedThroughProxy(r));
  EXPECT_EQ(r->proxyHost(), "127.0.0.1");
  EXPECT_EQ(r->proxyPort(), proxy.port());
  EXPECT_EQ(proxy.records().at(0).target, server.url("/page"));

  s.noProxy = "127.0.0.1";
  ProxySettings::setSystemSettings(s);
  EXPECT_FALSE(fetchedThroughProxy(HttpRequest::requestWithURL(U(server.url("/page")))));

  // Without the program's settings the environment's apply.
  ProxySettings::setSystemSettings(std::nullopt);
  setenv("http_proxy", proxy.origin().c_str(), 1);
  EXPECT_TRUE(fetchedThroughProxy(HttpRequest::requestWithURL(U(server.url("/page"))), true));
  unsetenv("http_proxy");
  EXPECT_FALSE(fetchedThroughProxy(HttpRequest::requestWithURL(U(server.url("/page")))));
}

TEST_F(HttpRequestProxyTest, ScriptFromAFileAnswersDirectOrAProxy) {
  Ref<HttpRequest> r = HttpRequest::requestWithURL(U(server.url("/page")));
  r->setPACurl(kit::URL::fileURLWithPath(writeScript(script(viaProxy()))));
  EXPECT_TRUE(fetchedThroughProxy(r));

  r = HttpRequest::requestWithURL(U(server.url("/page")));
  r->setPACurl(kit::URL::fileURLWithPath(writeScript(script("DIRECT"))));
  EXPECT_FALSE(fetchedThroughProxy(r));

  // A script that cannot be read, or that fails, leaves the request without a proxy.
  r = HttpRequest::requestWithURL(U(server.url("/page")));
  r->setPACurl(kit::URL::fileURLWithPath(tmp("missing.pac")));
  EXPECT_FALSE(fetchedThroughProxy(r));
  r = HttpRequest::requestWithURL(U(server.url("/page")));
  r->setPACurl(kit::URL::fileURLWithPath(writeScript("this is not a script (")));
  EXPECT_FALSE(fetchedThroughProxy(r, true));
}

TEST_F(HttpRequestProxyTest, ScriptOverHTTPIsFetchedOnceBeforeTheRequest) {
  server.route("GET", "/proxy.pac", TestResponse::ok(script(viaProxy()), "application/x-ns-proxy-autoconfig"));
  ProxySettings::Settings s;
  s.autoConfigurationURL = server.url("/proxy.pac");
  ProxySettings::setSystemSettings(s);
  Ref<HttpRequest> r = HttpRequest::requestWithURL(U(server.url("/page")));
  EXPECT_TRUE(fetchedThroughProxy(r));
  EXPECT_EQ(server.requestsFor("/proxy.pac").size(), 1u);
  EXPECT_EQ(r->PACurl()->absoluteString(), server.url("/proxy.pac"));
  EXPECT_TRUE(fetchedThroughProxy(HttpRequest::requestWithURL(U(server.url("/page"))), true));
  // The slot lent to the script's request is given back.
  EXPECT_EQ(HttpRequest::sharedQueue()->maxConcurrentOperationCount(), 4);

  server.route("GET", "/proxy.pac", TestResponse::withStatus(404));
  EXPECT_FALSE(fetchedThroughProxy(HttpRequest::requestWithURL(U(server.url("/page")))));
}

TEST_F(HttpRequestProxyTest, ADeadFirstProxyGivesWayToTheNext) {
  Ref<HttpRequest> r = HttpRequest::requestWithURL(U(server.url("/page")));
  r->setPACurl(kit::URL::fileURLWithPath(
      writeScript(script("PROXY 127.0.0.1:" + std::to_string(deadPort()) + "; " + viaProxy()))));
  EXPECT_TRUE(fetchedThroughProxy(r));
  EXPECT_EQ(r->proxyPort(), proxy.port());

  // Dead, then DIRECT.
  r = HttpRequest::requestWithURL(U(server.url("/page")));
  r->setPACurl(kit::URL::fileURLWithPath(writeScript(script("PROXY 127.0.0.1:" + std::to_string(deadPort()) + "; DIRECT"))));
  EXPECT_FALSE(fetchedThroughProxy(r, true));
  EXPECT_TRUE(r->proxyHost().empty());

  // Every proxy dead: each is tried once, then the request fails.
  const int dead = deadPort();
  r = HttpRequest::requestWithURL(U(server.url("/page")));
  r->setPACurl(kit::URL::fileURLWithPath(writeScript(
      script("PROXY 127.0.0.1:" + std::to_string(dead) + "; PROXY 127.0.0.1:" + std::to_string(dead)))));
  RecordingDelegate d;
  ASSERT_TRUE(runAsync(r, d));
  EXPECT_EQ(d.failed, 1);
  EXPECT_EQ(r->error()->code(), kConnectionFailureErrorType);
}

}  // namespace
