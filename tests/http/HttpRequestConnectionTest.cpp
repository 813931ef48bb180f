// Redirects, persistent connections, the dead-connection retry, cookies, headers and TLS.

#include <algorithm>
#include <atomic>

#include "http/HttpErrorType.h"
#include "http/HttpRequestTestSupport.h"
#include "kit/net/HTTPReadStream.h"
#include "kit/net/NetError.h"
#include "kit/net/TLSIdentity.h"
#include "support/TestCertificateAuthority.h"
#include "support/TestCodec.h"
#include "support/TestHTTPServer.h"

using namespace tolva;
using namespace tolvatest;
using kit::Ref;

namespace {

Ref<HttpRequest> post(const std::string& url, const std::string& body) {
  Ref<HttpRequest> r = HttpRequest::requestWithURL(kit::URL::URLWithString(url));
  r->setRequestMethod("POST");
  r->appendPostData(kit::Data::dataWithString(body));
  r->addRequestHeader("X-Custom", "kept?");
  r->addRequestHeader("Accept", "text/plain");
  return r;
}

}  // namespace

TEST_F(HttpRequestTest, RedirectsTurnIntoGetExceptA307) {
  TestHTTPServer server;
  server.route("*", "/target", TestResponse::ok("arrived"));
  for (int status : {301, 302, 303, 307}) {
    server.clearRequests();
    const std::string from = "/from" + std::to_string(status);
    server.redirect(from, "/target", status);
    Ref<HttpRequest> r = post(server.url(from), "payload");
    RecordingDelegate d;
    ASSERT_TRUE(runAsync(r, d));
    ASSERT_EQ(d.finished, 1) << status;
    EXPECT_EQ(d.count("redirected"), 1u);
    EXPECT_EQ(r->responseString(), "arrived");
    EXPECT_EQ(r->url()->absoluteString(), server.url("/target"));
    EXPECT_EQ(r->originalURL()->absoluteString(), server.url(from));
    EXPECT_EQ(r->redirectCount(), 1);
    auto arrived = server.requestsFor("/target").at(0);
    if (status == 307) {
      EXPECT_EQ(arrived.method, "POST");
      EXPECT_EQ(arrived.body, "payload");
      EXPECT_EQ(arrived.headers.value("X-Custom"), "kept?");
    } else {
      EXPECT_EQ(arrived.method, "GET") << status;
      EXPECT_TRUE(arrived.body.empty());
      EXPECT_FALSE(arrived.headers.has("X-Custom"));
      EXPECT_FALSE(arrived.headers.has("Content-Length"));
      EXPECT_EQ(arrived.headers.value("Accept"), "text/plain");
      EXPECT_TRUE(arrived.headers.has("User-Agent"));
    }
  }
}

TEST_F(HttpRequestTest, FiveRedirectsSucceedAndTheSixthFails) {
  TestHTTPServer server;
  server.redirectChain({"/a0", "/a1", "/a2", "/a3", "/a4", "/a5"}, TestResponse::ok("end"));
  server.redirectChain({"/b0", "/b1", "/b2", "/b3", "/b4", "/b5", "/b6"}, TestResponse::ok("end"), 301);
  Ref<HttpRequest> five = HttpRequest::requestWithURL(U(server.url("/a0")));
  RecordingDelegate d5;
  ASSERT_TRUE(runAsync(five, d5));
  EXPECT_EQ(d5.finished, 1);
  EXPECT_EQ(five->responseString(), "end");

  Ref<HttpRequest> six = HttpRequest::requestWithURL(U(server.url("/b0")));
  RecordingDelegate d6;
  ASSERT_TRUE(runAsync(six, d6));
  ASSERT_EQ(d6.failed, 1);
  EXPECT_EQ(six->error()->code(), kTooMuchRedirectionErrorType);
  EXPECT_EQ(six->error()->localizedDescription(), "The request failed because it redirected too many times");
  EXPECT_TRUE(server.requestsFor("/b6").empty());
}

TEST_F(HttpRequestTest, RedirectsToAnotherOriginCarryNoCredentialsOrCookiesOfTheOld) {
  TestHTTPServer server;
  server.route("GET", "/elsewhere",
               TestResponse::redirect(302, server.url("localhost", "/landing")).setCookie("session=secret"));
  server.route("GET", "/here", TestResponse::redirect(307, "/landing").setCookie("mine=1"));
  server.route("GET", "/landing", TestResponse::ok("landed"));

  Ref<HttpRequest> away = HttpRequest::requestWithURL(U(server.url("/elsewhere")));
  away->addRequestHeader("Authorization", "Basic c2VjcmV0");
  RecordingDelegate d;
  ASSERT_TRUE(runAsync(away, d));
  ASSERT_EQ(d.finished, 1) << (away->error() ? away->error()->description() : "");
  auto landed = server.requestsFor("/landing").back();
  EXPECT_FALSE(landed.headers.has("Authorization"));
  EXPECT_FALSE(landed.headers.has("Cookie"));

  // Same origin, method kept: credentials stay, and the cookie just set goes along.
  Ref<HttpRequest> near = HttpRequest::requestWithURL(U(server.url("/here")));
  near->addRequestHeader("Authorization", "Basic c2VjcmV0");
  RecordingDelegate d2;
  ASSERT_TRUE(runAsync(near, d2));
  landed = server.requestsFor("/landing").back();
  EXPECT_EQ(landed.headers.value("Authorization"), "Basic c2VjcmV0");
  EXPECT_EQ(landed.headers.value("Cookie"), "session=secret; mine=1");
}

TEST_F(HttpRequestTest, OnlyHttpLocationsAreFollowed) {
  TestHTTPServer server;
  server.redirect("/ftp", "ftp://127.0.0.1/file", 302);
  Ref<HttpRequest> r = HttpRequest::requestWithURL(U(server.url("/ftp")));
  RecordingDelegate d;
  ASSERT_TRUE(runAsync(r, d));
  EXPECT_EQ(d.finished, 1);
  EXPECT_EQ(r->responseStatusCode(), 302);
  EXPECT_EQ(d.count("redirected"), 0u);
  EXPECT_EQ(server.requestCount(), 1u);
}

TEST_F(HttpRequestTest, DelegateThatAsksContinuesARedirectItself) {
  TestHTTPServer server;
  server.redirect("/ask", "/target", 302);
  server.route("GET", "/target", TestResponse::ok("t"));
  Ref<HttpRequest> r = HttpRequest::requestWithURL(U(server.url("/ask")));
  RecordingDelegate d;
  d.followsRedirectsItself = true;
  r->setDelegate(&d);
  r->startAsynchronous();
  ASSERT_TRUE(kit::RunLoop::main().runUntil([&] { return d.redirectTarget != nullptr; }, 10));
  EXPECT_EQ(server.requestCount(), 1u);
  r->redirectToURL(d.redirectTarget);
  ASSERT_TRUE(kit::RunLoop::main().runUntil([&] { return d.done(); }, 10));
  EXPECT_EQ(r->responseString(), "t");
}

TEST_F(HttpRequestTest, PersistentConnectionsAreReusedByHostPortAndScheme) {
  TestHTTPServer server;
  server.route("GET", "/k", TestResponse::ok("k"));
  server.route("GET", "/bye", TestResponse::ok("bye").close());
  auto fetch = [&](const std::string& url) {
    Ref<HttpRequest> r = HttpRequest::requestWithURL(U(url));
    RecordingDelegate d;
    EXPECT_TRUE(runAsync(r, d));
    EXPECT_EQ(d.finished, 1);
    return r;
  };
  Ref<HttpRequest> a = fetch(server.url("/k"));
  Ref<HttpRequest> b = fetch(server.url("/k"));
  EXPECT_TRUE(a->connectionCanBeReused());
  auto recorded = server.requests();
  ASSERT_EQ(recorded.size(), 2u);
  EXPECT_EQ(recorded[0].connectionId, recorded[1].connectionId);
  EXPECT_EQ(recorded[1].indexOnConnection, 1u);
  EXPECT_EQ(a->connectionID()->longLongValue(), b->connectionID()->longLongValue());
  EXPECT_EQ(a->requestID()->longLongValue() + 1, b->requestID()->longLongValue());

  // Another host name for the same server is another pooled connection.
  Ref<HttpRequest> c = fetch(server.url("localhost", "/k"));
  EXPECT_NE(c->connectionID()->longLongValue(), a->connectionID()->longLongValue());

  // After "Connection: close" the next request needs a new connection.
  Ref<HttpRequest> d = fetch(server.url("/bye"));
  EXPECT_FALSE(d->connectionCanBeReused());
  fetch(server.url("/k"));
  recorded = server.requests();
  EXPECT_EQ(recorded[3].connectionId, recorded[0].connectionId);
  EXPECT_NE(recorded[4].connectionId, recorded[3].connectionId);
  EXPECT_EQ(recorded[4].indexOnConnection, 0u);
}

TEST_F(HttpRequestTest, KeepAliveHeaderNeedsAMaxAboveFive) {
  TestHTTPServer server;
  server.route("GET", "/long", TestResponse::ok("x").header("Keep-Alive", "timeout=15, max=100"));
  server.route("GET", "/few", TestResponse::ok("x").header("Keep-Alive", "timeout=15, max=5"));
  server.route("GET", "/old", TestResponse::ok("x").http10());
  Ref<HttpRequest> a = HttpRequest::requestWithURL(U(server.url("/long")));
  Ref<HttpRequest> b = HttpRequest::requestWithURL(U(server.url("/few")));
  Ref<HttpRequest> c = HttpRequest::requestWithURL(U(server.url("/old")));
  RecordingDelegate da, db, dc;
  ASSERT_TRUE(runAsync(a, da));
  ASSERT_TRUE(runAsync(b, db));
  ASSERT_TRUE(runAsync(c, dc));
  EXPECT_TRUE(a->connectionCanBeReused());
  EXPECT_EQ(a->persistentConnectionTimeoutSeconds(), 15.0);
  EXPECT_FALSE(b->connectionCanBeReused());
  EXPECT_FALSE(c->connectionCanBeReused());
}

TEST_F(HttpRequestTest, ExpiredPoolRecordsAreDroppedAndUrlsWithoutHostNeverPool) {
  TestHTTPServer server;
  server.route("GET", "/k", TestResponse::ok("k"));
  Ref<HttpRequest> r = HttpRequest::requestWithURL(U(server.url("/k")));
  r->setPersistentConnectionTimeoutSeconds(0);
  RecordingDelegate d;
  ASSERT_TRUE(runAsync(r, d));
  HttpRequest::expirePersistentConnections();
  for (const auto& record : HttpRequest::persistentConnections()) {
    EXPECT_NE(record->get<kit::Number>("id")->longLongValue(), r->connectionID()->longLongValue());
  }

  Ref<HttpRequest> noHost = HttpRequest::requestWithURL(U("http:/nohost"));
  RecordingDelegate dn;
  noHost->setDelegate(&dn);
  noHost->startSynchronous();
  EXPECT_FALSE(noHost->shouldAttemptPersistentConnection());
  EXPECT_FALSE(noHost->connectionID());
}

TEST_F(HttpRequestTest, DeadPooledConnectionIsRetriedOnceOnANewOne) {
  TestHTTPServer server;
  std::atomic<int> drops{0};
  server.route("GET", "/live", [&](const RecordedRequest& req) {
    if (req.indexOnConnection > 0 && drops.fetch_add(1) == 0) return TestResponse::drop();
    return TestResponse::ok("alive");
  });
  Ref<HttpRequest> first = HttpRequest::requestWithURL(U(server.url("/live")));
  RecordingDelegate d1;
  ASSERT_TRUE(runAsync(first, d1));
  Ref<HttpRequest> second = HttpRequest::requestWithURL(U(server.url("/live")));
  RecordingDelegate d2;
  ASSERT_TRUE(runAsync(second, d2));
  ASSERT_EQ(d2.finished, 1) << (second->error() ? second->error()->description() : "");
  EXPECT_EQ(second->responseString(), "alive");
  EXPECT_EQ(second->retryCount(), 1);
  EXPECT_EQ(drops.load(), 1);
  EXPECT_EQ(server.connectionCount(), 2u);
  EXPECT_EQ(d2.count("started"), 2u);
}

TEST_F(HttpRequestTest, CookiesMakeTheRoundTrip) {
  TestHTTPServer server;
  server.route("GET", "/set", TestResponse::ok("set").setCookie("a=1; Path=/").setCookie("b=2"));
  server.route("GET", "/echo", TestResponse::ok("echo"));
  Ref<HttpRequest> set = HttpRequest::requestWithURL(U(server.url("/set")));
  RecordingDelegate d1;
  ASSERT_TRUE(runAsync(set, d1));
  EXPECT_EQ(set->responseCookies()->count(), 2u);
  EXPECT_EQ(HttpRequest::sessionCookies()->count(), 2u);
  Ref<HttpRequest> echo = HttpRequest::requestWithURL(U(server.url("/echo")));
  RecordingDelegate d2;
  ASSERT_TRUE(runAsync(echo, d2));
  EXPECT_EQ(server.lastRequest()->headers.value("Cookie"), "a=1; b=2");

  // Without cookie persistence only the request's own cookies go, in their order.
  Ref<HttpRequest> own = HttpRequest::requestWithURL(U(server.url("/echo")));
  own->setUseCookiePersistence(false);
  for (auto [name, value] : {std::pair{"x", "9"}, std::pair{"y", "8"}}) {
    kit::HTTPCookie::Properties p;
    p.name = name;
    p.value = value;
    p.domain = "127.0.0.1";
    own->requestCookies()->addObject(kit::HTTPCookie::cookieWithProperties(p));
  }
  RecordingDelegate d3;
  ASSERT_TRUE(runAsync(own, d3));
  EXPECT_EQ(server.lastRequest()->headers.value("Cookie"), "x=9; y=8");

  HttpRequest::setSessionCookies(nullptr);
  EXPECT_TRUE(kit::HTTPCookieStorage::sharedHTTPCookieStorage().cookies().empty());
}

TEST_F(HttpRequestTest, AServerCannotStoreHugeCookiesOrTooMany) {
  TestHTTPServer server;
  TestResponse flood = TestResponse::ok("set").setCookie("huge=" + std::string(60 * 1024, 'x'));
  for (int i = 0; i < 60; ++i) flood.setCookie("c" + std::to_string(i) + "=1");
  server.route("GET", "/set", flood);
  server.route("GET", "/echo", TestResponse::ok("echo"));
  RecordingDelegate d1, d2;
  ASSERT_TRUE(runAsync(HttpRequest::requestWithURL(U(server.url("/set"))), d1));
  ASSERT_TRUE(runAsync(HttpRequest::requestWithURL(U(server.url("/echo"))), d2));
  // One domain keeps its newest 50; the huge one was never kept.
  std::string expected;
  for (int i = 10; i < 60; ++i) expected += (expected.empty() ? "" : "; ") + ("c" + std::to_string(i) + "=1");
  EXPECT_EQ(server.lastRequest()->headers.value("Cookie"), expected);
}

TEST_F(HttpRequestTest, RequestHeadersAndBody) {
  TestHTTPServer server;
  server.route("*", "/h", TestResponse::ok("h"));
  ASSERT_TRUE(kit::FileManager::writeFile(tmp("h.part"), std::string(1000, 'x')));
  Ref<HttpRequest> r = HttpRequest::requestWithURL(U(server.url("/h")));
  r->appendPostData(kit::Data::dataWithString("body!"));
  r->setDownloadDestinationPath(tmp("h"));
  r->setTemporaryFileDownloadPath(tmp("h.part"));
  RecordingDelegate d;
  ASSERT_TRUE(runAsync(r, d));
  auto req = *server.lastRequest();
  EXPECT_EQ(req.method, "POST");
  EXPECT_EQ(req.body, "body!");
  EXPECT_EQ(req.headers.value("Content-Length"), "5");
  EXPECT_EQ(req.headers.value("Range"), "bytes=1000-");
  EXPECT_EQ(req.headers.value("Accept-Encoding"), "gzip");
  EXPECT_EQ(req.headers.value("User-Agent"), HttpRequest::defaultUserAgentString());
  EXPECT_EQ(HttpRequest::defaultUserAgentString().rfind("Tolva 1.0 rv:1 (", 0), 0u);
}

TEST_F(HttpRequestTest, CompressedBodyFromDisk) {
  TestHTTPServer server;
  server.route("POST", "/up", TestResponse::ok("up"));
  ASSERT_TRUE(kit::FileManager::writeFile(tmp("src.txt"), std::string(300000, 'q')));
  Ref<HttpRequest> r = HttpRequest::requestWithURL(U(server.url("/up")));
  r->setRequestMethod("POST");
  r->setShouldStreamPostDataFromDisk(true);
  r->setShouldCompressRequestBody(true);
  r->appendPostDataFromFile(tmp("src.txt"));
  RecordingDelegate d;
  ASSERT_TRUE(runAsync(r, d));
  ASSERT_EQ(d.finished, 1);
  auto req = *server.lastRequest();
  EXPECT_EQ(req.headers.value("Content-Encoding"), "gzip");
  EXPECT_EQ(tolvatest::TestCodec::gunzip(req.body).value_or("?"), std::string(300000, 'q'));
  // The request's own temporary body files are gone; the caller's source is not.
  EXPECT_TRUE(r->postBodyFilePath().empty());
  EXPECT_TRUE(kit::FileManager::fileExists(tmp("src.txt")));

  // Redirected as a GET, it carries no body and no label of one.
  server.redirect("/moved", "/arrived", 303);
  server.route("GET", "/arrived", TestResponse::ok("here"));
  for (bool compress : {false, true}) {
    Ref<HttpRequest> moved = HttpRequest::requestWithURL(U(server.url("/moved")));
    moved->setRequestMethod("POST");
    moved->setShouldStreamPostDataFromDisk(true);
    moved->setShouldCompressRequestBody(compress);
    // The caller's own file, which the request never removes.
    moved->setPostBodyFilePath(tmp("src.txt"));
    RecordingDelegate d2;
    ASSERT_TRUE(runAsync(moved, d2));
    ASSERT_EQ(d2.finished, 1);
    auto arrived = *server.lastRequest();
    EXPECT_EQ(arrived.method, "GET");
    EXPECT_TRUE(arrived.body.empty()) << compress;
    EXPECT_FALSE(arrived.headers.has("Content-Encoding"));
    EXPECT_FALSE(arrived.headers.has("Transfer-Encoding"));
    EXPECT_TRUE(kit::FileManager::fileExists(tmp("src.txt")));
  }

  // Redirected with a 307, it sends the same body again: from the caller's file compressed, and
  // from a file the request made itself, which goes once the redirect has been followed.
  server.redirect("/kept", "/again", 307);
  server.route("POST", "/again", TestResponse::ok("again"));
  for (bool ownFile : {false, true}) {
    for (bool compress : {false, true}) {
      Ref<HttpRequest> kept = HttpRequest::requestWithURL(U(server.url("/kept")));
      kept->setRequestMethod("POST");
      kept->setShouldStreamPostDataFromDisk(true);
      kept->setShouldCompressRequestBody(compress);
      kept->setTimeOutSeconds(5);
      if (ownFile) kept->appendPostData(kit::Data::dataWithString(std::string(300000, 'q')));
      else kept->setPostBodyFilePath(tmp("src.txt"));
      RecordingDelegate d3;
      ASSERT_TRUE(runAsync(kept, d3));
      ASSERT_EQ(d3.finished, 1) << ownFile << compress;
      auto again = *server.lastRequest();
      EXPECT_EQ(again.path, "/again");
      std::string body = again.body;
      if (compress) {
        EXPECT_EQ(again.headers.value("Content-Encoding"), "gzip");
        body = tolvatest::TestCodec::gunzip(body).value_or("?");
      }
      EXPECT_TRUE(body == std::string(300000, 'q')) << ownFile << compress << " " << body.size();
      EXPECT_EQ(kept->postBodyFilePath().empty(), ownFile);
      EXPECT_TRUE(kit::FileManager::fileExists(tmp("src.txt")));
    }
  }
}

TEST_F(HttpRequestTest, AClientIdentityIsSentWithTheRequestsExtraCertificatesAfterIt) {
  ASSERT_TRUE(kit::HTTPReadStream::addTrustedCertificate(TestCertificateAuthority::shared().certificatePEM()));
  TestHTTPServerOptions options = TestHTTPServerOptions::https();
  options.requestClientCertificate = true;
  TestHTTPServer server(options);
  server.route("GET", "/s", TestResponse::ok("secure"));
  TestCertificateRequest mine, intermediate;
  mine.commonName = "Tolva Client";
  intermediate.commonName = "Tolva Intermediate";
  const TestCertificate own = TestCertificateAuthority::shared().issue(mine);
  Ref<kit::TLSIdentity> identity = kit::TLSIdentity::identityWithPEM(own.certificatePEM, own.privateKeyPEM);
  ASSERT_TRUE(identity);

  auto fetch = [&](Ref<kit::Array> extra) {
    Ref<HttpRequest> r = HttpRequest::requestWithURL(U(server.url("/s")));
    r->setClientCertificateIdentity(identity);
    r->setClientCertificates(extra);
    RecordingDelegate d;
    EXPECT_TRUE(runAsync(r, d));
    EXPECT_EQ(d.finished, 1) << (r->error() ? r->error()->description() : "");
    return server.lastRequest().value_or(RecordedRequest{}).clientCertificateNames;
  };
  const std::string pem = TestCertificateAuthority::shared().issue(intermediate).certificatePEM;
  EXPECT_EQ(fetch(kit::Array::arrayWithObjects({kit::Data::dataWithString(pem)})),
            (std::vector<std::string>{"Tolva Client", "Tolva Intermediate"}));
  // Another chain is another connection, not the kept-alive one that sent the first.
  const std::vector<std::string> alone = fetch(nullptr);
  ASSERT_FALSE(alone.empty());
  EXPECT_EQ(alone.front(), "Tolva Client");
  EXPECT_EQ(std::count(alone.begin(), alone.end(), "Tolva Intermediate"), 0);
  // An extra certificate that holds none fails the request instead of being left out unsaid.
  Ref<HttpRequest> broken = HttpRequest::requestWithURL(U(server.url("/s")));
  broken->setClientCertificateIdentity(identity);
  broken->setClientCertificates(kit::Array::arrayWithObjects(
      {kit::Data::dataWithString("-----BEGIN CERTIFICATE-----\nbm90IGEgY2VydGlmaWNhdGU=\n-----END CERTIFICATE-----\n")}));
  RecordingDelegate db;
  EXPECT_TRUE(runAsync(broken, db));
  EXPECT_EQ(db.failed, 1);
  kit::HTTPReadStream::removeTrustedCertificates();
}

TEST_F(HttpRequestTest, HttpsToTheTestCASucceedsAndBadCertificatesFailWithTheSSLText) {
  ASSERT_TRUE(kit::HTTPReadStream::addTrustedCertificate(TestCertificateAuthority::shared().certificatePEM()));
  TestHTTPServer good(TestHTTPServerOptions::https());
  good.route("GET", "/s", TestResponse::ok("secure"));
  Ref<HttpRequest> ok = HttpRequest::requestWithURL(U(good.url("/s")));
  EXPECT_TRUE(ok->validatesSecureCertificate());
  RecordingDelegate d;
  ASSERT_TRUE(runAsync(ok, d));
  ASSERT_EQ(d.finished, 1) << (ok->error() ? ok->error()->description() : "");
  EXPECT_EQ(ok->responseString(), "secure");

  for (const TestCertificate* cert :
       {&TestCertificateAuthority::untrustedCertificate(), &TestCertificateAuthority::wrongHostCertificate()}) {
    TestHTTPServer bad(TestHTTPServerOptions::https(*cert));
    bad.route("GET", "/s", TestResponse::ok("unchecked"));
    Ref<HttpRequest> r = HttpRequest::requestWithURL(U(bad.url("/s")));
    RecordingDelegate db;
    ASSERT_TRUE(runAsync(r, db));
    ASSERT_EQ(db.failed, 1);
    EXPECT_EQ(r->error()->code(), kConnectionFailureErrorType);
    EXPECT_EQ(r->error()->localizedDescription(),
              "A connection failure occurred: SSL problem (possibly a bad/expired/self-signed certificate)");
    ASSERT_TRUE(r->error()->underlyingError());
    EXPECT_TRUE(kit::NetError::isTLSFailure(r->error()->underlyingError()));
    // The failed connection's pool record is gone, and the request holds none either.
    EXPECT_FALSE(r->connectionInfo());

    // The per-request switch skips the checks for that request alone...
    Ref<HttpRequest> unchecked = HttpRequest::requestWithURL(U(bad.url("/s")));
    unchecked->setValidatesSecureCertificate(false);
    RecordingDelegate du;
    ASSERT_TRUE(runAsync(unchecked, du));
    ASSERT_EQ(du.finished, 1) << (unchecked->error() ? unchecked->error()->description() : "");
    EXPECT_EQ(unchecked->responseString(), "unchecked");
    // ...and its kept-alive connection is not lent to a request that checks.
    Ref<HttpRequest> after = HttpRequest::requestWithURL(U(bad.url("/s")));
    RecordingDelegate da;
    ASSERT_TRUE(runAsync(after, da));
    EXPECT_EQ(da.failed, 1);
  }
  kit::HTTPReadStream::removeTrustedCertificates();
}
