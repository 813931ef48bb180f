// Self-tests of the loopback servers in tests/support, driven by the tiny
// client over real sockets (and OpenSSL with the generated CA for TLS).

#include <gtest/gtest.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "support/PseudoRandomBody.h"
#include "support/TempHome.h"
#include "support/TestCertificateAuthority.h"
#include "support/TestClient.h"
#include "support/TestCodec.h"
#include "support/TestHTTPServer.h"
#include "support/TestProxyServer.h"
#include "support/TestSocks5Server.h"

using namespace tolvatest;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

std::string exchange(uint16_t port, const std::string& request) {
  TestClient client(port);
  EXPECT_TRUE(client.connected()) << client.error();
  client.send(request);
  return client.readAll();
}

std::string get(const std::string& path, const std::string& extra = "") {
  return "GET " + path + " HTTP/1.1\r\nHost: x\r\n" + extra + "\r\n";
}

long long millisSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

TestServerLimits quickLimits() {
  TestServerLimits limits;
  limits.ioTimeout = 2000ms;
  limits.idleTimeout = 2000ms;
  limits.connectionLifetime = 5000ms;
  return limits;
}

}  // namespace

// ---- pieces ----

TEST(TestServerPieces, HeadersParseAndLookUp) {
  TestHeaders h;
  ASSERT_TRUE(TestHeaders::parse("Host: a\r\nconnection: keep-alive, Close\r\nSet-Cookie: x=1\r\nSet-Cookie: y=2", h));
  EXPECT_EQ(h.value("HOST"), "a");
  EXPECT_TRUE(h.hasToken("Connection", "close"));
  EXPECT_FALSE(h.hasToken("Connection", "upgrade"));
  EXPECT_EQ(h.all("set-cookie"), (std::vector<std::string>{"x=1", "y=2"}));
  EXPECT_FALSE(TestHeaders::parse("A: b\r\n folded", h));
  EXPECT_FALSE(TestHeaders::parse("Bad Name: b", h));
  EXPECT_FALSE(TestHeaders::parse("A: b\rc", h));
}

TEST(TestServerPieces, CodecsRoundTripAndRejectDamage) {
  std::string text(100000, 'a');
  for (size_t i = 0; i < text.size(); i += 7) text[i] = char('a' + i % 26);
  for (ContentCoding c : {ContentCoding::Gzip, ContentCoding::Deflate}) {
    std::string coded = TestCodec::encode(c, text);
    EXPECT_LT(coded.size(), text.size());
    EXPECT_EQ(TestCodec::decode(c, coded), text);
    EXPECT_FALSE(TestCodec::decode(c, coded.substr(0, coded.size() / 2)).has_value());
    EXPECT_FALSE(TestCodec::decode(c, coded + "x").has_value());
  }
  EXPECT_FALSE(TestCodec::gunzip(TestCodec::deflate(text)).has_value());
  for (std::string s : {"", "a", "ab", "abc", "user:pa:ss"}) EXPECT_EQ(TestCodec::base64Decode(TestCodec::base64(s)), s);
  EXPECT_FALSE(TestCodec::base64Decode("abc").has_value());
  EXPECT_EQ(TestCodec::sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

TEST(TestServerPieces, PseudoRandomBodyIsDeterministicAtAnyOffset) {
  PseudoRandomBody body(1000, 42);
  std::string all = body.bytes(0, 1000);
  for (uint64_t offset : {0, 1, 7, 8, 9, 500, 993}) EXPECT_EQ(body.bytes(offset, 1000 - offset), all.substr(offset));
  EXPECT_EQ(body.sha256Hex(), TestCodec::sha256Hex(all));
  EXPECT_NE(PseudoRandomBody(1000, 43).bytes(0, 1000), all);
  EXPECT_THROW(body.bytes(999, 2), std::out_of_range);
}

// ---- HTTP server ----

TEST(TestHTTPServer, AnswersRoutesAndRecordsRequests) {
  TestHTTPServer server;
  server.route("GET", "/hello", TestResponse::ok("hi there").setCookie("a=1; Path=/").setCookie("b=2"));
  ParsedResponse r = TestClient::get(server.port(), "/hello?x=1", {}, {{"X-Test", "yes"}});
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.body, "hi there");
  EXPECT_EQ(r.headers.value("Content-Length"), "8");
  EXPECT_EQ(r.headers.all("Set-Cookie"), (std::vector<std::string>{"a=1; Path=/", "b=2"}));
  EXPECT_EQ(server.url("/a"), "http://127.0.0.1:" + std::to_string(server.port()) + "/a");

  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "GET");
  EXPECT_EQ(requests[0].target, "/hello?x=1");
  EXPECT_EQ(requests[0].path, "/hello");
  EXPECT_EQ(requests[0].query, "x=1");
  EXPECT_EQ(requests[0].version, "HTTP/1.1");
  EXPECT_EQ(requests[0].headers.value("x-test"), "yes");
  EXPECT_EQ(requests[0].connectionId, 1u);
  EXPECT_FALSE(requests[0].tls);
}

TEST(TestHTTPServer, PicksTheMostSpecificRoute) {
  TestHTTPServer server;
  server.routePrefix("GET", "/a", TestResponse::ok("prefix a"));
  server.routePrefix("GET", "/a/b", TestResponse::ok("prefix a/b"));
  server.route("GET", "/a/b", TestResponse::ok("exact"));
  server.route("*", "/any", TestResponse::ok("any method"));
  server.route("POST", "/post", TestResponse::ok("posted"));
  EXPECT_EQ(TestClient::get(server.port(), "/a/b").body, "exact");
  EXPECT_EQ(TestClient::get(server.port(), "/a/b/c").body, "prefix a/b");
  EXPECT_EQ(TestClient::get(server.port(), "/a/x").body, "prefix a");
  EXPECT_EQ(TestClient::get(server.port(), "/any").body, "any method");
  EXPECT_EQ(TestClient::get(server.port(), "/post").status, 404);
  EXPECT_EQ(TestClient::get(server.port(), "/nothing").status, 404);

  server.route("GET", "/a/b", TestResponse::ok("replaced"));
  EXPECT_EQ(TestClient::get(server.port(), "/a/b").body, "replaced");
  server.setFallback([](const RecordedRequest& r) { return TestResponse::withStatus(410, "gone " + r.path); });
  EXPECT_EQ(TestClient::get(server.port(), "/zz").body, "gone /zz");

  // A GET route answers HEAD with the length but no body.
  TestClient client(server.port());
  client.send("HEAD /a/b HTTP/1.1\r\nHost: x\r\n\r\n");
  ParsedResponse head = client.readResponse(true);
  ASSERT_TRUE(head.ok) << head.error;
  EXPECT_EQ(head.headers.value("Content-Length"), "8");
  client.send(get("/a/b"));
  EXPECT_EQ(client.readResponse().body, "replaced");  // nothing stray was sent after the HEAD answer
}

TEST(TestHTTPServer, HandlersSeeTheRequestAndTheirFailuresBecome500) {
  TestHTTPServer server;
  server.route("POST", "/echo", [](const RecordedRequest& r) {
    return TestResponse::ok(r.method + ":" + r.body + ":" + std::to_string(r.indexOnConnection));
  });
  server.route("GET", "/throw", [](const RecordedRequest&) -> TestResponse { throw std::runtime_error("boom"); });
  TestClient client(server.port());
  client.sendRequest("POST", "/echo", {}, "payload");
  EXPECT_EQ(client.readResponse().body, "POST:payload:0");
  client.sendRequest("GET", "/throw");
  ParsedResponse r = client.readResponse();
  EXPECT_EQ(r.status, 500);
  EXPECT_NE(r.body.find("boom"), std::string::npos);
}

TEST(TestHTTPServer, ChunkedFramingUsesTheGivenSizesAndTrailers) {
  TestHTTPServer server;
  server.route("GET", "/c", TestResponse::ok("abcdefghij").chunked({3, 5}).trailer("X-Sum", "10"));
  std::string raw = exchange(server.port(), get("/c", "Connection: close\r\n"));
  EXPECT_NE(raw.find("Transfer-Encoding: chunked\r\n"), std::string::npos);
  EXPECT_EQ(raw.find("Content-Length"), std::string::npos);
  EXPECT_NE(raw.find("\r\n\r\n3\r\nabc\r\n5\r\ndefgh\r\n2\r\nij\r\n0\r\nX-Sum: 10\r\n\r\n"), std::string::npos) << raw;

  TestClient client(server.port());
  client.send(get("/c"));
  ParsedResponse r = client.readResponse();
  EXPECT_TRUE(r.chunked);
  EXPECT_EQ(r.body, "abcdefghij");
  EXPECT_EQ(r.trailers.value("X-Sum"), "10");
}

TEST(TestHTTPServer, CloseDelimitedAndHTTP10ResponsesEndWithTheConnection) {
  TestHTTPServer server;
  server.route("GET", "/close", TestResponse::ok("until close").closeDelimited());
  server.route("GET", "/old", TestResponse::ok("old style").http10());
  TestClient client(server.port());
  client.send(get("/close"));
  ParsedResponse r = client.readResponse();
  EXPECT_TRUE(r.closeDelimited);
  EXPECT_EQ(r.body, "until close");
  EXPECT_EQ(r.headers.value("Connection"), "close");

  std::string raw = exchange(server.port(), get("/old"));
  EXPECT_EQ(raw.rfind("HTTP/1.0 200 OK\r\n", 0), 0u) << raw;
  EXPECT_NE(raw.find("Content-Length: 9\r\n"), std::string::npos);
  EXPECT_EQ(raw.substr(raw.size() - 9), "old style");
}

TEST(TestHTTPServer, EncodesBodiesWithGzipAndDeflate) {
  TestHTTPServer server;
  std::string text(5000, 'x');
  server.route("GET", "/gz", TestResponse::ok(text).gzip());
  server.route("GET", "/zl", TestResponse::ok(text).deflate().chunked({100}));
  auto source = std::make_shared<PseudoRandomBody>(300000, 5);
  server.route("GET", "/big.gz", TestResponse::generated(source).gzip());
  ParsedResponse gz = TestClient::get(server.port(), "/gz");
  EXPECT_EQ(gz.headers.value("Content-Encoding"), "gzip");
  EXPECT_LT(gz.body.size(), text.size());
  EXPECT_EQ(gz.decodedBody(), text);
  ParsedResponse zl = TestClient::get(server.port(), "/zl");
  EXPECT_EQ(zl.headers.value("Content-Encoding"), "deflate");
  EXPECT_EQ(zl.decodedBody(), text);
  // A generated, coded body still gets a correct Content-Length.
  ParsedResponse big = TestClient::get(server.port(), "/big.gz");
  ASSERT_TRUE(big.ok) << big.error;
  EXPECT_EQ(big.headers.value("Content-Length"), std::to_string(big.body.size()));
  EXPECT_EQ(TestCodec::sha256Hex(big.decodedBody()), source->sha256Hex());
}

TEST(TestHTTPServer, RedirectsAndChains) {
  TestHTTPServer server;
  server.redirect("/old", "/new", 301);
  server.redirectChain({"/r1", "/r2", "/r3"}, TestResponse::ok("arrived"), 307);
  server.redirectChain({"/x1", "/x2"}, TestResponse::ok("x"), 302, true);
  ParsedResponse r = TestClient::get(server.port(), "/old");
  EXPECT_EQ(r.status, 301);
  EXPECT_EQ(r.headers.value("Location"), "/new");
  std::string path = "/r1";
  int hops = 0;
  for (; hops < 5; ++hops) {
    r = TestClient::get(server.port(), path);
    if (r.status != 307) break;
    path = r.headers.value("Location");
  }
  EXPECT_EQ(hops, 2);
  EXPECT_EQ(r.body, "arrived");
  EXPECT_EQ(TestClient::get(server.port(), "/x1").headers.value("Location"), server.url("/x2"));
}

TEST(TestHTTPServer, ServesByteRanges) {
  TestHTTPServer server;
  const std::string body = "0123456789";
  server.rangeRoute("/f", body, {.etag = "\"v1\"", .lastModified = "Tue, 01 Jan 2030 00:00:00 GMT"});
  RangeOptions ignoring;
  ignoring.honorRange = false;
  server.rangeRoute("/ignore", body, ignoring);
  auto fetch = [&](const std::string& path, TestHeaders h) { return TestClient::get(server.port(), path, {}, h); };

  ParsedResponse r = fetch("/f", {{"Range", "bytes=2-4"}});
  EXPECT_EQ(r.status, 206);
  EXPECT_EQ(r.body, "234");
  EXPECT_EQ(r.headers.value("Content-Range"), "bytes 2-4/10");
  EXPECT_EQ(r.headers.value("ETag"), "\"v1\"");
  EXPECT_EQ(fetch("/f", {{"Range", "bytes=7-"}}).body, "789");
  EXPECT_EQ(fetch("/f", {{"Range", "bytes=-3"}}).body, "789");
  EXPECT_EQ(fetch("/f", {{"Range", "bytes=8-100"}}).headers.value("Content-Range"), "bytes 8-9/10");
  r = fetch("/f", {{"Range", "bytes=10-"}});
  EXPECT_EQ(r.status, 416);
  EXPECT_EQ(r.headers.value("Content-Range"), "bytes */10");
  EXPECT_EQ(fetch("/f", {{"Range", "bytes=0-1,4-5"}}).status, 200);
  EXPECT_EQ(fetch("/f", {{"Range", "bytes=5-2"}}).body, body);  // invalid: ignored
  EXPECT_EQ(fetch("/f", {{"Range", "bytes=3-"}, {"If-Range", "\"v1\""}}).status, 206);
  EXPECT_EQ(fetch("/f", {{"Range", "bytes=3-"}, {"If-Range", "\"v0\""}}).status, 200);
  r = fetch("/ignore", {{"Range", "bytes=2-4"}});
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.body, body);
  EXPECT_EQ(fetch("/f", {}).headers.value("Accept-Ranges"), "bytes");
}

TEST(TestHTTPServer, KeepsConnectionsAliveAndParsesPipelinedRequests) {
  TestHTTPServer server;
  server.route("POST", "/p", [](const RecordedRequest& r) { return TestResponse::ok("got " + r.body); });
  TestClient client(server.port());
  // Three requests in one write: a chunked body, a sized body, none.
  client.send("POST /p HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n2;ext=1\r\nde\r\n0\r\n\r\n"
              "POST /p HTTP/1.1\r\nHost: x\r\nContent-Length: 4\r\n\r\nwxyz"
              "GET /nothing HTTP/1.1\r\nHost: x\r\n\r\n");
  EXPECT_EQ(client.readResponse().body, "got abcde");
  EXPECT_EQ(client.readResponse().body, "got wxyz");
  EXPECT_EQ(client.readResponse().status, 404);
  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_TRUE(requests[0].chunked);
  EXPECT_EQ(requests[1].body, "wxyz");
  for (unsigned i = 0; i < 3; ++i) {
    EXPECT_EQ(requests[i].connectionId, requests[0].connectionId);
    EXPECT_EQ(requests[i].indexOnConnection, i);
  }
  TestClient other(server.port());
  other.send(get("/x"));
  other.readResponse();
  EXPECT_EQ(server.lastRequest()->connectionId, requests[0].connectionId + 1);
  EXPECT_EQ(server.connectionCount(), 2u);
}

TEST(TestHTTPServer, ClosesConnectionsWhenAskedOrAfterLimits) {
  TestHTTPServer server;
  server.route("GET", "/", TestResponse::ok("x"));
  server.route("GET", "/bye", TestResponse::ok("x").close());
  {
    TestClient client(server.port());
    client.send(get("/bye"));
    EXPECT_EQ(client.readResponse().headers.value("Connection"), "close");
    EXPECT_TRUE(client.waitForClose());
  }
  {
    TestClient client(server.port());
    client.send(get("/", "Connection: close\r\n"));
    EXPECT_EQ(client.readResponse().headers.value("Connection"), "close");
    EXPECT_TRUE(client.waitForClose());
  }
  // After n requests the socket dies without notice: the stale-connection case.
  server.setMaxRequestsPerConnection(2);
  {
    TestClient client(server.port());
    client.send(get("/"));
    EXPECT_FALSE(client.readResponse().headers.has("Connection"));
    client.send(get("/"));
    EXPECT_FALSE(client.readResponse().headers.has("Connection"));
    EXPECT_TRUE(client.waitForClose());
  }
  server.setMaxRequestsPerConnection(1, true);
  EXPECT_EQ(TestClient::get(server.port(), "/", {}, {{"Connection", "keep-alive"}}).headers.value("Connection"),
            "close");
  server.setMaxRequestsPerConnection(0);
  server.setAlwaysClose(true);
  EXPECT_EQ(TestClient::get(server.port(), "/", {}, {{"Connection", "keep-alive"}}).headers.value("Connection"),
            "close");
  server.setAlwaysClose(false);
  server.setIdleTimeout(100ms);
  {
    TestClient client(server.port());
    client.send(get("/"));
    client.readResponse();
    auto start = Clock::now();
    EXPECT_TRUE(client.waitForClose());
    EXPECT_LT(millisSince(start), 2000);
  }
}

TEST(TestHTTPServer, DropsResetsAndCutsBodiesOnRequest) {
  TestHTTPServer server;
  server.route("GET", "/drop", TestResponse::drop());
  server.route("GET", "/reset", TestResponse::resetNow());
  server.route("GET", "/cut", TestResponse::ok("0123456789").abortAfter(4));
  server.route("GET", "/raw", TestResponse::rawBytes("HTTP/1.1 200 OK\r\nContent-Length: 99\r\n\r\nshort"));
  ParsedResponse r = TestClient::get(server.port(), "/drop");
  EXPECT_FALSE(r.ok);
  {
    TestClient client(server.port());
    client.send(get("/reset"));
    EXPECT_TRUE(client.waitForClose());
  }
  r = TestClient::get(server.port(), "/cut");
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.body, "0123");
  EXPECT_EQ(r.error, "closed after 4 of 10 bytes");
  r = TestClient::get(server.port(), "/raw");
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.body, "short");
}

TEST(TestHTTPServer, RejectsBadRequests) {
  TestServerLimits limits;
  limits.maxHeadBytes = 1024;
  limits.maxBodyBytes = 100;
  TestHTTPServer server({.limits = limits});
  auto statusOf = [&](const std::string& request) {
    TestClient client(server.port());
    client.send(request);
    return client.readResponse().status;
  };
  EXPECT_EQ(statusOf("garbage\r\n\r\n"), 400);
  EXPECT_EQ(statusOf("GET / HTTP/2.0\r\n\r\n"), 505);
  EXPECT_EQ(statusOf("GET / HTTP/1.1\r\nX: " + std::string(2000, 'a') + "\r\n\r\n"), 431);
  EXPECT_EQ(statusOf("POST / HTTP/1.1\r\nContent-Length: 1x\r\n\r\n"), 400);
  EXPECT_EQ(statusOf("POST / HTTP/1.1\r\nContent-Length: 2\r\nContent-Length: 3\r\n\r\nab"), 400);
  EXPECT_EQ(statusOf("POST / HTTP/1.1\r\nContent-Length: 101\r\n\r\n"), 413);
  EXPECT_EQ(statusOf("POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n"), 400);
  EXPECT_EQ(statusOf("POST / HTTP/1.1\r\nTransfer-Encoding: gzip\r\n\r\n"), 501);
  EXPECT_EQ(server.requestCount(), 0u);
}

TEST(TestHTTPServer, AnswersExpectContinueAndHashesLargeUploads) {
  TestServerLimits limits;
  limits.maxRecordedBodyBytes = 1000;
  TestHTTPServer server({.limits = limits});
  server.setHashRequestBodies(true);
  server.route("PUT", "/up", TestResponse::withStatus(201));
  PseudoRandomBody upload(200000, 9);
  TestClient client(server.port());
  client.send("PUT /up HTTP/1.1\r\nHost: x\r\nExpect: 100-continue\r\nContent-Length: 200000\r\n\r\n");
  ParsedResponse interim = client.readResponse(false, true);
  EXPECT_EQ(interim.status, 100);
  client.send(upload.bytes(0, 200000));
  EXPECT_EQ(client.readResponse().status, 201);
  auto request = server.lastRequest();
  ASSERT_TRUE(request);
  EXPECT_EQ(request->bodySize, 200000u);
  EXPECT_TRUE(request->bodyTruncated);
  EXPECT_EQ(request->body, upload.bytes(0, 1000));
  EXPECT_EQ(request->bodySHA256, upload.sha256Hex());
}

TEST(TestHTTPServer, StreamsLargeGeneratedBodies) {
  TestHTTPServer server;
  auto body = std::make_shared<PseudoRandomBody>(uint64_t(24) << 20, 77);
  server.route("GET", "/big", TestResponse::generated(body));
  server.route("GET", "/big-chunked", TestResponse::generated(body).chunked({100000}));
  for (const char* path : {"/big", "/big-chunked"}) {
    ParsedResponse r = TestClient::get(server.port(), path);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.body.size(), body->size());
    EXPECT_EQ(TestCodec::sha256Hex(r.body), body->sha256Hex()) << path;
  }
}

TEST(TestHTTPServer, StallsAndTrickles) {
  TestHTTPServer server;
  server.route("GET", "/late", TestResponse::ok("late").stallBeforeHead(300ms));
  server.route("GET", "/slow", TestResponse::ok("abcdef").trickleBy(2, 100ms));
  server.route("GET", "/pause", TestResponse::ok("0123456789").stallAfterBody(4, 300ms));

  auto start = Clock::now();
  EXPECT_EQ(TestClient::get(server.port(), "/late").body, "late");
  EXPECT_GE(millisSince(start), 290);

  TestClient client(server.port());
  client.send(get("/slow"));
  ParsedResponse head = client.readResponse(true);  // the head comes at once
  ASSERT_TRUE(head.ok);
  start = Clock::now();
  std::vector<std::string> pieces;
  std::string all;
  while (all.size() < 6) {
    std::string piece = client.readSome();
    if (piece.empty()) break;
    pieces.push_back(piece);
    all += piece;
  }
  EXPECT_EQ(all, "abcdef");
  EXPECT_GE(pieces.size(), 2u);
  EXPECT_GE(millisSince(start), 180);

  TestClient paused(server.port());
  paused.send(get("/pause"));
  ASSERT_TRUE(paused.readResponse(true).ok);
  EXPECT_EQ(paused.readExactly(4), "0123");
  start = Clock::now();
  EXPECT_EQ(paused.readExactly(6), "456789");
  EXPECT_GE(millisSince(start), 250);
}

TEST(TestHTTPServer, StopInterruptsStallsAndTricklesAtOnce) {
  auto server = std::make_unique<TestHTTPServer>();
  server->route("GET", "/forever", TestResponse::ok("never").stallAfterHead(TestResponse::untilStop));
  server->route("GET", "/hang", TestResponse::ok("never").stallBeforeHead(TestResponse::untilStop));
  server->route("GET", "/drip", TestResponse::ok(std::string(1000, 'd')).trickleBy(1, 5000ms));
  std::vector<std::unique_ptr<TestClient>> clients;
  for (const char* path : {"/forever", "/hang", "/drip"}) {
    clients.push_back(std::make_unique<TestClient>(server->port()));
    clients.back()->send(get(path));
  }
  clients.push_back(std::make_unique<TestClient>(server->port()));  // idle, sends nothing
  ASSERT_TRUE(server->waitForRequests(3));
  EXPECT_TRUE(clients[0]->readResponse(true).ok);
  // The idle client's connection is accepted on the server's own time.
  for (int i = 0; i < 400 && server->openConnectionCount() < 4u; ++i) std::this_thread::sleep_for(5ms);
  EXPECT_EQ(server->openConnectionCount(), 4u);
  auto start = Clock::now();
  server->stop();
  EXPECT_LT(millisSince(start), 1000);
  EXPECT_EQ(server->openConnectionCount(), 0u);
  start = Clock::now();
  for (auto& c : clients) c->readAll();  // every one sees the end of its stream
  EXPECT_LT(millisSince(start), 1000);
  server->stop();  // again: nothing left to do
  start = Clock::now();
  server.reset();
  EXPECT_LT(millisSince(start), 1000);
}

TEST(TestHTTPServer, BoundsConnectionsInCountAndTime) {
  TestServerLimits limits = quickLimits();
  limits.maxConcurrentConnections = 1;
  limits.connectionLifetime = 300ms;
  TestHTTPServer server({.limits = limits});
  server.route("GET", "/stall", TestResponse::ok("x").stallAfterHead(TestResponse::untilStop));
  TestClient first(server.port());
  first.send(get("/stall"));
  ASSERT_TRUE(server.waitForRequests(1));
  TestClient second(server.port());
  EXPECT_TRUE(second.waitForClose());  // over the limit: closed at once
  // The stall ends with the connection's lifetime.
  auto start = Clock::now();
  EXPECT_TRUE(first.readResponse(true).ok);
  EXPECT_TRUE(first.waitForClose());
  EXPECT_LT(millisSince(start), 2000);
  EXPECT_EQ(server.connectionCount(), 1u);
}

TEST(TestHTTPServer, RecordsAreSafeToReadWhileServing) {
  TestHTTPServer server;
  server.route("GET", "/", TestResponse::ok("x"));
  std::atomic<bool> done{false};
  std::thread reader([&] {
    while (!done) {
      for (const RecordedRequest& r : server.requests()) EXPECT_EQ(r.path, "/");
    }
  });
  std::vector<std::thread> clients;
  for (int i = 0; i < 4; ++i)
    clients.emplace_back([&] {
      for (int j = 0; j < 5; ++j) TestClient::get(server.port(), "/");
    });
  for (auto& t : clients) t.join();
  EXPECT_TRUE(server.waitForRequests(20));
  done = true;
  reader.join();
  EXPECT_EQ(server.requestCount(), 20u);
  server.clearRequests();
  EXPECT_EQ(server.requestCount(), 0u);
}

// ---- TLS ----

TEST(TestHTTPServerTLS, ServesHTTPSToAClientTrustingTheTestCA) {
  TestHTTPServer server(TestHTTPServerOptions::https());
  server.route("GET", "/s", TestResponse::ok("secret"));
  EXPECT_EQ(server.origin().rfind("https://127.0.0.1:", 0), 0u);
  for (std::string name : {"localhost", "127.0.0.1"}) {
    TestClientOptions options;
    options.tls = true;
    options.serverName = name;
    ParsedResponse r = TestClient::get(server.port(), "/s", options);
    ASSERT_TRUE(r.ok) << name << ": " << r.error;
    EXPECT_EQ(r.body, "secret");
  }
  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_TRUE(requests[0].tls);
  EXPECT_EQ(requests[0].serverName, "localhost");
  EXPECT_EQ(requests[1].serverName, "");  // no SNI for an address
}

TEST(TestHTTPServerTLS, BadCertificatesFailVerification) {
  struct Case {
    const TestCertificate& certificate;
    const char* expected;
  } cases[] = {
      {TestCertificateAuthority::wrongHostCertificate(), "hostname mismatch"},
      {TestCertificateAuthority::untrustedCertificate(), "unable to get local issuer certificate"},
      {TestCertificateAuthority::expiredCertificate(), "certificate has expired"},
  };
  for (const Case& c : cases) {
    TestHTTPServer server(TestHTTPServerOptions::https(c.certificate));
    TestClient client(server.port(), {.tls = true});
    EXPECT_FALSE(client.connected());
    EXPECT_NE(client.error().find(c.expected), std::string::npos) << client.error();
    // Trusting the other CA (or skipping the name check) makes them pass.
    if (&c.certificate == &TestCertificateAuthority::untrustedCertificate()) {
      TestClient trusting(server.port(),
                          {.tls = true, .trustedPEM = TestCertificateAuthority::untrusted().certificatePEM()});
      EXPECT_TRUE(trusting.connected()) << trusting.error();
    }
    if (&c.certificate == &TestCertificateAuthority::wrongHostCertificate()) {
      TestClient named(server.port(), {.tls = true, .serverName = "wrong.host.invalid"});
      EXPECT_TRUE(named.connected()) << named.error();
    }
  }
}

TEST(TestHTTPServerTLS, TheCACertificateIsASelfSignedCA) {
  const std::string& pem = TestCertificateAuthority::shared().certificatePEM();
  EXPECT_EQ(pem.rfind("-----BEGIN CERTIFICATE-----", 0), 0u);
  EXPECT_NE(pem, TestCertificateAuthority::untrusted().certificatePEM());
  BIO* bio = BIO_new_mem_buf(pem.data(), int(pem.size()));
  X509* ca = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr);
  BIO_free(bio);
  ASSERT_NE(ca, nullptr);
  EXPECT_EQ(X509_check_ca(ca), 1);
  EXPECT_EQ(X509_NAME_cmp(X509_get_subject_name(ca), X509_get_issuer_name(ca)), 0);
  X509_free(ca);
  TempHome home;
  std::string path = home.path() + "/ca.pem";
  ASSERT_TRUE(TestCertificateAuthority::shared().writeCertificate(path));
  EXPECT_FALSE(TestCertificateAuthority::shared().writeCertificate(home.path() + "/missing/ca.pem"));
}

// ---- HTTP proxy ----

TEST(TestProxyServer, ForwardsAbsoluteFormRequestsToLoopback) {
  TestHTTPServer origin;
  origin.route("GET", "/page", TestResponse::ok("through").chunked({2}));
  origin.route("POST", "/form", [](const RecordedRequest& r) { return TestResponse::ok("posted " + r.body); });
  TestProxyServer proxy;
  TestClient client(proxy.port());
  client.send("GET " + origin.url("/page?q=1") + " HTTP/1.1\r\nHost: 127.0.0.1\r\nProxy-Connection: keep-alive\r\n\r\n");
  ParsedResponse r = client.readResponse();
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.body, "through");
  EXPECT_TRUE(r.chunked);
  client.send("POST " + origin.url("/form") + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 3\r\n\r\nabc");
  EXPECT_EQ(client.readResponse().body, "posted abc");

  auto seen = origin.requests();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].target, "/page?q=1");
  EXPECT_FALSE(seen[0].headers.has("Proxy-Connection"));
  auto records = proxy.records();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].host, "127.0.0.1");
  EXPECT_EQ(records[0].port, origin.port());
  EXPECT_EQ(records[0].status, 200);
  EXPECT_EQ(records[1].connectionId, records[0].connectionId);  // kept alive
}

TEST(TestProxyServer, RefusesOtherAddressesAndAsksForCredentials) {
  TestHTTPServer origin;
  origin.route("GET", "/", TestResponse::ok("ok"));
  TestProxyServer proxy;
  TestClient client(proxy.port());
  client.send("GET http://192.0.2.1/ HTTP/1.1\r\nHost: 192.0.2.1\r\n\r\n");
  EXPECT_EQ(client.readResponse().status, 403);
  client.send("CONNECT example.invalid:443 HTTP/1.1\r\nHost: example.invalid:443\r\n\r\n");
  EXPECT_EQ(client.readResponse().status, 403);
  client.send("GET /relative HTTP/1.1\r\nHost: x\r\n\r\n");
  EXPECT_EQ(client.readResponse().status, 400);
  auto records = proxy.records();
  ASSERT_EQ(records.size(), 3u);
  EXPECT_TRUE(records[0].refused);
  EXPECT_TRUE(records[1].refused && records[1].tunnel);

  proxy.requireBasicAuth("ann", "s3cret");
  TestClient authed(proxy.port());
  const std::string request = "GET " + origin.url("/") + " HTTP/1.1\r\nHost: x\r\n";
  authed.send(request + "\r\n");
  ParsedResponse r = authed.readResponse();
  EXPECT_EQ(r.status, 407);
  EXPECT_EQ(r.headers.value("Proxy-Authenticate"), "Basic realm=\"tolva-test-proxy\"");
  authed.send(request + "Proxy-Authorization: Basic " + TestCodec::base64("ann:wrong") + "\r\n\r\n");
  EXPECT_EQ(authed.readResponse().status, 407);
  authed.send(request + "Proxy-Authorization: Basic " + TestCodec::base64("ann:s3cret") + "\r\n\r\n");
  r = authed.readResponse();
  EXPECT_EQ(r.status, 200);
  EXPECT_FALSE(origin.lastRequest()->headers.has("Proxy-Authorization"));
  EXPECT_FALSE(proxy.records().back().headers.value("Proxy-Authorization").empty());
  EXPECT_EQ(origin.requestCount(), 1u);
}

TEST(TestProxyServer, TunnelsTLSThroughCONNECT) {
  TestHTTPServer origin(TestHTTPServerOptions::https());
  origin.route("GET", "/t", TestResponse::ok("tunnelled"));
  TestProxyServer proxy;
  TestClient client(proxy.port(), {.tls = false});
  client.send("CONNECT localhost:" + std::to_string(origin.port()) + " HTTP/1.1\r\nHost: localhost\r\n\r\n");
  ParsedResponse r = client.readResponse(true);
  ASSERT_EQ(r.status, 200);
  ASSERT_TRUE(client.startTLS()) << client.error();
  client.send(get("/t"));
  EXPECT_EQ(client.readResponse().body, "tunnelled");
  EXPECT_TRUE(origin.lastRequest()->tls);
  EXPECT_TRUE(proxy.records().at(0).tunnel);

  // Nothing listens there any more: 502.
  uint16_t deadPort;
  {
    TestHTTPServer gone;
    deadPort = gone.port();
  }
  TestClient second(proxy.port());
  second.send("CONNECT 127.0.0.1:" + std::to_string(deadPort) + " HTTP/1.1\r\n\r\n");
  EXPECT_EQ(second.readResponse(true).status, 502);
}

// ---- SOCKS5 ----

namespace {

std::string socksConnect(uint8_t type, const std::string& address, uint16_t port, uint8_t command = 1) {
  std::string out = {5, char(command), 0, char(type)};
  if (type == 3) out += char(address.size());
  out += address;
  out += char(port >> 8);
  out += char(port & 0xFF);
  return out;
}

}  // namespace

TEST(TestSocks5Server, ConnectsToLoopbackWithoutAuthentication) {
  TestHTTPServer origin;
  origin.route("GET", "/", TestResponse::ok("via socks"));
  TestSocks5Server socks;
  TestClient client(socks.port());
  client.send(std::string("\x05\x01\x00", 3));
  EXPECT_EQ(client.readExactly(2), std::string("\x05\x00", 2));
  client.send(socksConnect(1, std::string("\x7f\x00\x00\x01", 4), origin.port()));
  std::string reply = client.readExactly(10);
  ASSERT_EQ(reply.size(), 10u);
  EXPECT_EQ(reply[1], 0);
  client.send(get("/"));
  EXPECT_EQ(client.readResponse().body, "via socks");
  ASSERT_EQ(socks.recordCount(), 1u);
  EXPECT_EQ(socks.records()[0].host, "127.0.0.1");
  EXPECT_EQ(socks.records()[0].port, origin.port());

  TestClient named(socks.port());
  named.send(std::string("\x05\x01\x00", 3) + socksConnect(3, "localhost", origin.port()));
  EXPECT_EQ(named.readExactly(12).substr(2, 2), std::string("\x05\x00", 2));
}

TEST(TestSocks5Server, RefusesOtherTargetsAndCommands) {
  TestSocks5Server socks;
  auto replyFor = [&](const std::string& request) {
    TestClient client(socks.port());
    client.send(std::string("\x05\x01\x00", 3) + request);
    std::string answer = client.readExactly(12);
    EXPECT_TRUE(client.waitForClose());
    return answer.size() == 12 ? int(uint8_t(answer[3])) : -1;
  };
  EXPECT_EQ(replyFor(socksConnect(1, std::string("\xc0\x00\x02\x01", 4), 80)), 2);
  EXPECT_EQ(replyFor(socksConnect(3, "example.invalid", 80)), 2);
  EXPECT_EQ(replyFor(socksConnect(4, std::string(15, '\0') + "\x01", 80)), 8);
  EXPECT_EQ(replyFor(socksConnect(1, std::string("\x7f\x00\x00\x01", 4), 80, 2)), 7);
  EXPECT_EQ(socks.recordCount(), 4u);
}

TEST(TestSocks5Server, ChecksUsernameAndPassword) {
  TestHTTPServer origin;
  origin.route("GET", "/", TestResponse::ok("authenticated"));
  TestSocks5Server socks;
  socks.requireUsernamePassword("bob", "pw");
  auto login = [](const std::string& user, const std::string& password) {
    return std::string("\x01", 1) + char(user.size()) + user + char(password.size()) + password;
  };
  {
    TestClient client(socks.port());
    client.send(std::string("\x05\x01\x00", 3));  // only "no authentication" offered
    EXPECT_EQ(client.readExactly(2), std::string("\x05\xff", 2));
    EXPECT_TRUE(client.waitForClose());
  }
  {
    TestClient client(socks.port());
    client.send(std::string("\x05\x02\x00\x02", 4) + login("bob", "bad"));
    EXPECT_EQ(client.readExactly(4), std::string("\x05\x02\x01\x01", 4));
    EXPECT_TRUE(client.waitForClose());
  }
  TestClient client(socks.port());
  client.send(std::string("\x05\x02\x00\x02", 4) + login("bob", "pw") +
              socksConnect(1, std::string("\x7f\x00\x00\x01", 4), origin.port()));
  EXPECT_EQ(client.readExactly(4), std::string("\x05\x02\x01\x00", 4));
  EXPECT_EQ(client.readExactly(10)[1], 0);
  client.send(get("/"));
  EXPECT_EQ(client.readResponse().body, "authenticated");
  auto records = socks.records();
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[2].username, "bob");
  EXPECT_TRUE(records[2].authenticated);
  EXPECT_FALSE(records[1].authenticated);
}

// ---- less common paths ----

TEST(TestHTTPServer, TakesAbsoluteFormAndHTTP10Requests) {
  TestHTTPServer server;
  server.route("GET", "/abs", TestResponse::ok("abs"));
  server.route("OPTIONS", "*", TestResponse::withStatus(204));
  TestClient client(server.port());
  client.send("GET " + server.url("/abs?k=v") + " HTTP/1.1\r\nHost: x\r\n\r\n");
  EXPECT_EQ(client.readResponse().body, "abs");
  client.send("OPTIONS * HTTP/1.1\r\nHost: x\r\n\r\n");
  EXPECT_EQ(client.readResponse().status, 204);
  auto requests = server.requests();
  EXPECT_EQ(requests[0].path, "/abs");
  EXPECT_EQ(requests[0].query, "k=v");
  EXPECT_EQ(requests[1].path, "*");

  TestClient old(server.port());
  old.send("GET /abs HTTP/1.0\r\n\r\n");
  ParsedResponse r = old.readResponse();
  EXPECT_EQ(r.body, "abs");
  EXPECT_EQ(r.headers.value("Connection"), "close");
  EXPECT_TRUE(old.waitForClose());
}

TEST(TestProxyServer, RelaysEveryResponseFraming) {
  TestHTTPServer origin;
  origin.route("GET", "/len", TestResponse::ok("sized"));
  origin.route("GET", "/eof", TestResponse::ok("to the end").closeDelimited());
  origin.route("POST", "/up", [](const RecordedRequest& r) {
    return TestResponse::ok(std::to_string(r.bodySize) + (r.chunked ? " chunked" : ""));
  });
  TestProxyServer proxy;
  TestClient client(proxy.port());
  client.send("HEAD " + origin.url("/len") + " HTTP/1.1\r\nHost: x\r\n\r\n");
  ParsedResponse head = client.readResponse(true);
  EXPECT_EQ(head.headers.value("Content-Length"), "5");
  client.send("POST " + origin.url("/up") + " HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n"
              "4\r\nabcd\r\n0\r\n\r\n");
  EXPECT_EQ(client.readResponse().body, "4 chunked");
  client.send("POST " + origin.url("/up") + " HTTP/1.1\r\nHost: x\r\nExpect: 100-continue\r\nContent-Length: 3\r\n\r\n");
  EXPECT_EQ(client.readResponse(false, true).status, 100);
  client.send("xyz");
  EXPECT_EQ(client.readResponse().body, "3");
  client.send("GET " + origin.url("/eof") + " HTTP/1.1\r\nHost: x\r\n\r\n");
  ParsedResponse eof = client.readResponse();
  EXPECT_EQ(eof.body, "to the end");
  EXPECT_EQ(eof.headers.value("Connection"), "close");
  EXPECT_TRUE(client.waitForClose());
  EXPECT_EQ(proxy.connectionCount(), 1u);
}

TEST(TestProxyServer, CONNECTCanBeRetriedWithCredentialsOnTheSameConnection) {
  TestHTTPServer origin;
  origin.route("GET", "/", TestResponse::ok("inside"));
  TestProxyServer proxy;
  proxy.requireBasicAuth("u", "p");
  TestClient client(proxy.port());
  const std::string connect = "CONNECT 127.0.0.1:" + std::to_string(origin.port()) + " HTTP/1.1\r\n";
  client.send(connect + "\r\n");
  EXPECT_EQ(client.readResponse().status, 407);
  client.send(connect + "Proxy-Authorization: Basic " + TestCodec::base64("u:p") + "\r\n\r\n");
  EXPECT_EQ(client.readResponse(true).status, 200);
  client.send(get("/"));
  EXPECT_EQ(client.readResponse().body, "inside");
  auto records = proxy.records();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_FALSE(records[0].authorized);
  EXPECT_EQ(records[1].status, 200);
}

TEST(TestSocks5Server, PassesAHalfCloseThrough) {
  TestHTTPServer origin;
  origin.route("GET", "/", TestResponse::ok("after half close"));
  TestSocks5Server socks;
  TestClient client(socks.port());
  client.send(std::string("\x05\x01\x00", 3) + socksConnect(1, std::string("\x7f\x00\x00\x01", 4), origin.port()));
  ASSERT_EQ(client.readExactly(12).size(), 12u);
  client.send("GET / HTTP/1.0\r\n\r\n");
  ::shutdown(client.socket().fd(), SHUT_WR);  // the request is complete: no more from this side
  std::string answer = client.readAll();
  EXPECT_NE(answer.find("after half close"), std::string::npos) << answer;
}

TEST(TestProxyServer, StopEndsOpenTunnelsAtOnce) {
  TestHTTPServer origin;
  origin.route("GET", "/hang", TestResponse::ok("x").stallBeforeHead(TestResponse::untilStop));
  TestProxyServer proxy;
  TestSocks5Server socks;
  TestClient viaProxy(proxy.port());
  viaProxy.send("CONNECT 127.0.0.1:" + std::to_string(origin.port()) + " HTTP/1.1\r\n\r\n");
  ASSERT_EQ(viaProxy.readResponse(true).status, 200);
  TestClient viaSocks(socks.port());
  viaSocks.send(std::string("\x05\x01\x00", 3) + socksConnect(1, std::string("\x7f\x00\x00\x01", 4), origin.port()));
  ASSERT_EQ(viaSocks.readExactly(12).size(), 12u);
  TestClient forwarded(proxy.port());
  forwarded.send("GET " + origin.url("/hang") + " HTTP/1.1\r\nHost: x\r\n\r\n");
  ASSERT_TRUE(origin.waitForRequests(1));
  auto start = Clock::now();
  proxy.stop();
  socks.stop();
  EXPECT_LT(millisSince(start), 1000);
  EXPECT_TRUE(viaProxy.waitForClose());
  EXPECT_TRUE(viaSocks.waitForClose());
  EXPECT_TRUE(forwarded.waitForClose());
  EXPECT_LT(millisSince(start), 2000);
}
