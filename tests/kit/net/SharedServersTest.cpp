// The read stream against the suite-wide loopback servers (HTTP/HTTPS server, forward proxy,
// SOCKS5 server), which speak as independent implementations would.

#include <gtest/gtest.h>

#include "kit/foundation/RunLoop.h"
#include "kit/net/HTTPReadStream.h"
#include "kit/net/NetError.h"
#include "kit/security/Base64.h"
#include "support/TestCertificateAuthority.h"
#include "support/TestHTTPServer.h"
#include "support/TestProxyServer.h"
#include "support/TestSocks5Server.h"

using namespace kit;
using namespace tolvatest;

namespace {

const std::string kMode = "SharedServersTestMode";

void trustSharedCA() {
  static bool once = HTTPReadStream::addTrustedCertificate(TestCertificateAuthority::shared().certificatePEM());
  ASSERT_TRUE(once);
}

struct Fetch {
  Ref<HTTPReadStream> stream;
  std::string body;
  bool ended = false, failed = false;

  explicit Fetch(const std::string& url, const std::string& method = "GET") {
    auto m = HTTPMessage::requestWithMethod(method, URL::URLWithString(url));
    EXPECT_TRUE(m) << url;
    stream = HTTPReadStream::streamWithRequest(m);
  }
  HTTPMessage* request() { return stream->request(); }
  bool run() {
    stream->setClient(26, [this](InputStream& in, InputStream::Event e) {
      if (e == InputStream::kEventHasBytesAvailable) {
        uint8_t buf[16384];
        long n = in.read(buf, sizeof buf);
        if (n > 0) body.append(reinterpret_cast<char*>(buf), size_t(n));
      }
      ended = ended || e == InputStream::kEventEndEncountered;
      failed = failed || e == InputStream::kEventErrorOccurred;
    });
    stream->scheduleInRunLoop(RunLoop::current(), kMode);
    if (!stream->open()) return false;
    return RunLoop::current().runUntil([&] { return ended || failed; }, 15, kMode);
  }
  int status() { return stream->responseHeader() ? stream->responseHeader()->statusCode() : 0; }
  std::string why() { return stream->streamError() ? stream->streamError()->description() : ""; }
};

std::string basic(const std::string& user, const std::string& password) {
  return "Basic " + Base64::encode(user + ":" + password);
}

}  // namespace

TEST(SharedServers, FramingsOverTLS) {
  trustSharedCA();
  TestHTTPServer server(TestHTTPServerOptions::https());
  server.route("GET", "/chunked", TestResponse::ok("chunked body").chunked({3, 4}).trailer("X-T", "1"));
  server.route("GET", "/close", TestResponse::ok("close body").closeDelimited());
  server.route("GET", "/old", TestResponse::ok("old body").http10());
  server.route("GET", "/slow", TestResponse::ok(std::string(3000, 's')).trickleBy(500, std::chrono::milliseconds(2)));
  const std::pair<const char*, std::string> expected[] = {
      {"/chunked", "chunked body"}, {"/close", "close body"}, {"/old", "old body"}, {"/slow", std::string(3000, 's')}};
  for (auto& [path, body] : expected) {
    Fetch f(server.url("localhost", path));
    ASSERT_TRUE(f.run()) << path;
    ASSERT_TRUE(f.ended) << path << " " << f.why();
    EXPECT_EQ(f.status(), 200);
    EXPECT_EQ(f.body, body) << path;
  }
  Fetch c(server.url("localhost", "/chunked"));
  ASSERT_TRUE(c.run());
  EXPECT_EQ(c.body, "chunked body");
  ASSERT_EQ(c.stream->responseTrailers().size(), 1u);
  EXPECT_EQ(server.lastRequest()->serverName, "localhost");
}

TEST(SharedServers, CertificateProblems) {
  trustSharedCA();
  struct Case {
    TestCertificate certificate;
    const char* text;
  } cases[] = {{TestCertificateAuthority::expiredCertificate(), "certificate has expired"},
               {TestCertificateAuthority::wrongHostCertificate(), "hostname mismatch"},
               {TestCertificateAuthority::untrustedCertificate(), "unable to get local issuer certificate"}};
  for (auto& c : cases) {
    TestHTTPServer server(TestHTTPServerOptions::https(c.certificate));
    server.route("GET", "/", TestResponse::ok("never"));
    Fetch f(server.url("localhost", "/"));
    ASSERT_TRUE(f.run());
    EXPECT_TRUE(f.failed);
    EXPECT_TRUE(NetError::isTLSFailure(f.stream->streamError()));
    EXPECT_NE(NetError::sslErrorText(f.stream->streamError()).find(c.text), std::string::npos) << f.why();
    EXPECT_EQ(server.requestCount(), 0u);
  }
}

TEST(SharedServers, KeepAliveAndAnnouncedClose) {
  TestHTTPServer server;
  server.route("GET", "/", TestResponse::ok("k"));
  Ref<HTTPReadStream> previous;
  for (int i = 0; i < 3; ++i) {
    Fetch f(server.url("/"));
    f.stream->setStreamID(501);
    f.stream->setShouldAttemptPersistentConnection(true);
    ASSERT_TRUE(f.run());
    EXPECT_EQ(f.body, "k");
    previous = f.stream;
  }
  EXPECT_EQ(server.connectionCount(), 1u);
  previous = nullptr;

  server.setMaxRequestsPerConnection(1, true);
  for (int i = 0; i < 2; ++i) {
    Fetch f(server.url("/"));
    f.stream->setStreamID(502);
    f.stream->setShouldAttemptPersistentConnection(true);
    ASSERT_TRUE(f.run());
    EXPECT_FALSE(f.stream->connectionKeptForReuse());
    previous = f.stream;
  }
  EXPECT_EQ(server.connectionCount(), 3u);
}

TEST(SharedServers, ResetMidBodyIsALostConnection) {
  TestHTTPServer server;
  server.route("GET", "/", TestResponse::ok(std::string(50000, 'r')).abortAfter(1000));
  Fetch f(server.url("/"));
  ASSERT_TRUE(f.run());
  EXPECT_TRUE(f.failed);
  EXPECT_EQ(f.stream->streamError()->code(), NetError::kConnectionLost);
}

TEST(SharedServers, ForwardProxyWithCredentials) {
  TestHTTPServer origin;
  origin.route("GET", "/via", TestResponse::ok("proxied"));
  TestProxyServer proxy;
  proxy.requireBasicAuth("px", "pw");

  Fetch refused(origin.url("/via"));
  refused.stream->setHTTPProxy("127.0.0.1", proxy.port());
  ASSERT_TRUE(refused.run());
  EXPECT_EQ(refused.status(), 407);

  Fetch f(origin.url("/via"));
  f.request()->setHeaderField("Proxy-Authorization", basic("px", "pw"));
  f.stream->setHTTPProxy("127.0.0.1", proxy.port());
  ASSERT_TRUE(f.run());
  EXPECT_EQ(f.status(), 200);
  EXPECT_EQ(f.body, "proxied");
  ASSERT_EQ(proxy.recordCount(), 2u);
  EXPECT_EQ(proxy.records()[1].target, origin.url("/via"));
  EXPECT_FALSE(proxy.records()[1].tunnel);
}

TEST(SharedServers, ConnectTunnelWithCredentials) {
  trustSharedCA();
  TestHTTPServer origin(TestHTTPServerOptions::https());
  origin.route("GET", "/secret", TestResponse::ok("tunnelled"));
  TestProxyServer proxy;
  proxy.requireBasicAuth("px", "pw");

  Fetch refused(origin.url("localhost", "/secret"));
  refused.stream->setHTTPSProxy("127.0.0.1", proxy.port());
  ASSERT_TRUE(refused.run());
  EXPECT_TRUE(refused.ended);
  EXPECT_EQ(refused.status(), 407);
  EXPECT_TRUE(refused.stream->responseHeader()->hasHeaderField("Proxy-Authenticate"));

  Fetch f(origin.url("localhost", "/secret"));
  f.request()->setHeaderField("Proxy-Authorization", basic("px", "pw"));
  f.stream->setHTTPSProxy("127.0.0.1", proxy.port());
  ASSERT_TRUE(f.run());
  ASSERT_TRUE(f.ended) << f.why();
  EXPECT_EQ(f.body, "tunnelled");
  ASSERT_EQ(origin.requestCount(), 1u);
  EXPECT_FALSE(origin.lastRequest()->headers.has("Proxy-Authorization"));
  EXPECT_TRUE(proxy.records().back().tunnel);
}

TEST(SharedServers, Socks5WithPasswordToTLS) {
  trustSharedCA();
  TestHTTPServer origin(TestHTTPServerOptions::https());
  origin.route("GET", "/s", TestResponse::ok("socks"));
  TestSocks5Server socks;
  socks.requireUsernamePassword("u", "p");
  Fetch f(origin.url("localhost", "/s"));
  f.stream->setSOCKSProxy("127.0.0.1", socks.port(), "u", "p");
  ASSERT_TRUE(f.run());
  ASSERT_TRUE(f.ended) << f.why();
  EXPECT_EQ(f.body, "socks");
  ASSERT_EQ(socks.recordCount(), 1u);
  EXPECT_EQ(socks.records()[0].host, "localhost");
  EXPECT_EQ(socks.records()[0].addressType, 3);
}
