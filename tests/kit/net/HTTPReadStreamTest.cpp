#include "kit/net/HTTPReadStream.h"

#include <gtest/gtest.h>
#include <openssl/ssl.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "LoopbackServer.h"
#include "TestCertificates.h"
#include "kit/foundation/RunLoop.h"
#include "kit/foundation/Timer.h"
#include "kit/net/HostResolver.h"
#include "kit/net/NetError.h"

using namespace kit;
using nettest::LoopbackServer;
using nettest::Peer;
using nettest::Request;

namespace {

const std::string kMode = "NetTestMode";
constexpr unsigned kEngineEvents = 26;  // bytes available, error, end

Ref<HTTPMessage> message(const std::string& method, const std::string& url,
                         const char* version = HTTPMessage::kVersion1_1) {
  auto m = HTTPMessage::requestWithMethod(method, URL::URLWithString(url), version);
  EXPECT_TRUE(m) << url;
  return m;
}

// Drives one stream on the test thread's loop in a private mode, reading at most `readSize`
// bytes per bytes-available event, as the request engine does.
struct Exchange {
  Ref<HTTPReadStream> stream;
  std::string body;
  std::vector<unsigned> events;
  bool ended = false;
  bool failed = false;
  size_t readSize;

  explicit Exchange(Ref<HTTPReadStream> s, size_t readSize = 64 * 1024) : stream(std::move(s)), readSize(readSize) {
    stream->setClient(kEngineEvents, [this](InputStream& in, InputStream::Event e) {
      events.push_back(e);
      if (e == InputStream::kEventHasBytesAvailable) {
        std::string buf(this->readSize, '\0');
        long n = in.read(reinterpret_cast<uint8_t*>(buf.data()), buf.size());
        if (n > 0) body.append(buf.data(), size_t(n));
      } else if (e == InputStream::kEventEndEncountered) {
        ended = true;
      } else if (e == InputStream::kEventErrorOccurred) {
        failed = true;
      }
    });
  }
  Exchange(const std::string& method, const std::string& url) : Exchange(HTTPReadStream::streamWithRequest(message(method, url))) {}

  bool run(double timeout = 10) {
    stream->scheduleInRunLoop(RunLoop::current(), kMode);
    if (!stream->open()) return false;
    return wait(timeout);
  }
  bool wait(double timeout = 10) {
    return RunLoop::current().runUntil([&] { return ended || failed; }, timeout, kMode);
  }
  int status() const { return stream->responseHeader() ? stream->responseHeader()->statusCode() : 0; }
  Ref<Error> error() const { return stream->streamError(); }
  long code() const { return error() ? error()->code() : 0; }
};

// Answers every request on a connection with `response` until the client goes.
LoopbackServer::Handler keepAnswering(std::string response) {
  return [response](Peer& peer) {
    Request r;
    while (peer.readRequest(&r))
      if (!peer.write(response)) return;
  };
}

const std::string kOK = "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello";

class ResolverHook {
 public:
  explicit ResolverHook(HostResolver::Hook hook) { HostResolver::setLookupHook(std::move(hook)); }
  ~ResolverHook() { HostResolver::setLookupHook(nullptr); }
};

HostResolver::Address loopback(int port) { return *HostResolver::literalAddress("127.0.0.1", port); }

}  // namespace

// ---- Framing over the wire

TEST(HTTPReadStream, ContentLengthResponse) {
  std::string seen;
  LoopbackServer server([&](Peer& peer) {
    Request r;
    ASSERT_TRUE(peer.readRequest(&r));
    seen = r.method + " " + r.target + " " + r.version + " host=" + r.header("Host") + " conn=" + r.header("Connection");
    peer.write("HTTP/1.1 200 OK\r\nContent-Length: 11\r\nX-Test: yes\r\n\r\nhello");
    peer.write(" world");
  });
  Exchange x("GET", server.url("/path?q=1#frag"));
  ASSERT_TRUE(x.run());
  EXPECT_TRUE(x.ended);
  EXPECT_EQ(x.body, "hello world");
  EXPECT_EQ(x.status(), 200);
  EXPECT_EQ(x.stream->responseHeader()->valueForHeaderField("x-test"), "yes");
  EXPECT_EQ(seen, "GET /path?q=1 HTTP/1.1 host=127.0.0.1:" + std::to_string(server.port()) + " conn=close");
  EXPECT_EQ(x.stream->bytesRead(), 11u);
  EXPECT_EQ(x.stream->streamStatus(), InputStream::Status::AtEnd);
  EXPECT_EQ(x.events.back(), InputStream::kEventEndEncountered);
  EXPECT_NE(x.stream->connectionID(), 0u);
}

TEST(HTTPReadStream, ChunkedResponseWithTrailers) {
  LoopbackServer server([](Peer& peer) {
    Request r;
    peer.readRequest(&r);
    peer.write("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\nWiki\r\n");
    peer.write("6;ext=1\r\npedia \r\nE\r\nin \r\n\r\nchunks.\r\n0\r\nX-Sum: 7\r\n\r\n");
  });
  Exchange x("GET", server.url());
  ASSERT_TRUE(x.run());
  EXPECT_EQ(x.body, "Wikipedia in \r\n\r\nchunks.");
  ASSERT_EQ(x.stream->responseTrailers().size(), 1u);
  EXPECT_EQ(x.stream->responseTrailers()[0].value, "7");
}

TEST(HTTPReadStream, CloseDelimitedResponse) {
  LoopbackServer server([](Peer& peer) {
    Request r;
    peer.readRequest(&r);
    peer.write("HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\nuntil the end");
    peer.close();
  });
  Exchange x("GET", server.url());
  ASSERT_TRUE(x.run());
  EXPECT_TRUE(x.ended);
  EXPECT_EQ(x.body, "until the end");
}

TEST(HTTPReadStream, InterimResponsesAreSkipped) {
  LoopbackServer server([](Peer& peer) {
    Request r;
    peer.readRequest(&r);
    peer.write("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 103 Early Hints\r\nLink: </a>\r\n\r\n");
    peer.write("HTTP/1.1 202 Accepted\r\nContent-Length: 2\r\n\r\nok");
  });
  Exchange x("GET", server.url());
  ASSERT_TRUE(x.run());
  EXPECT_EQ(x.status(), 202);
  EXPECT_EQ(x.body, "ok");
}

TEST(HTTPReadStream, NoBodyForHeadAnd204And304) {
  struct Case {
    const char* method;
    std::string answer;
  } cases[] = {{"HEAD", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n"},
               {"GET", "HTTP/1.1 204 No Content\r\nContent-Length: 5\r\n\r\n"},
               {"GET", "HTTP/1.1 304 Not Modified\r\nContent-Length: 5\r\n\r\n"}};
  for (auto& c : cases) {
    LoopbackServer server(keepAnswering(c.answer));
    auto s = HTTPReadStream::streamWithRequest(message(c.method, server.url()));
    s->setStreamID(100);
    s->setShouldAttemptPersistentConnection(true);
    Exchange x(s);
    ASSERT_TRUE(x.run()) << c.answer;
    EXPECT_TRUE(x.ended);
    EXPECT_EQ(x.body, "");
    // Nothing was left to read, so the connection can carry the next request.
    EXPECT_TRUE(s->connectionKeptForReuse()) << c.answer;
    s->close();
  }
}

TEST(HTTPReadStream, LargeBodyReadInSmallPieces) {
  std::string big(700 * 1024, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = char('a' + i % 23);
  LoopbackServer server([&](Peer& peer) {
    Request r;
    peer.readRequest(&r);
    peer.write("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(big.size()) + "\r\n\r\n" + big);
  });
  Exchange x(HTTPReadStream::streamWithRequest(message("GET", server.url())), 4096);
  ASSERT_TRUE(x.run(30));
  EXPECT_TRUE(x.ended);
  EXPECT_TRUE(x.body == big);
}

TEST(HTTPReadStream, BodyTakenInPlaceThroughPeekAndSkip) {
  // A chunked body in odd pieces, decoded in the stream's buffer and taken without copying, a
  // part at a time so that unread bytes have to move and the buffer has to grow.
  std::string big(900 * 1024 + 7, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = char(i * 2654435761u >> 13);
  std::string wire = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
  for (size_t at = 0, n = 1; at < big.size(); at += n, n = n * 7 % 70001 + 1) {
    n = std::min(n, big.size() - at);
    char size[32];
    std::snprintf(size, sizeof size, "%zx\r\n", n);
    wire += size + big.substr(at, n) + "\r\n";
  }
  wire += "0\r\n\r\n";
  LoopbackServer server(keepAnswering(wire));
  auto s = HTTPReadStream::streamWithRequest(message("GET", server.url()));
  s->setStreamID(4242);
  s->setShouldAttemptPersistentConnection(true);
  std::string body;
  bool ended = false, failed = false;
  int calls = 0;
  s->setClient(kEngineEvents, [&](InputStream&, InputStream::Event e) {
    if (e == InputStream::kEventEndEncountered) ended = true;
    if (e == InputStream::kEventErrorOccurred) failed = true;
    if (e != InputStream::kEventHasBytesAvailable) return;
    std::string_view waiting = s->peekBytes();
    ASSERT_FALSE(waiting.empty());
    // Every third call takes one byte, the others about two thirds of what waits.
    const size_t take = ++calls % 3 == 0 ? 1 : waiting.size() - waiting.size() / 3;
    body.append(waiting.substr(0, take));
    EXPECT_EQ(s->skipBytes(take), take);
  });
  s->scheduleInRunLoop(RunLoop::current(), kMode);
  ASSERT_TRUE(s->open());
  ASSERT_TRUE(RunLoop::current().runUntil([&] { return ended || failed; }, 30, kMode));
  EXPECT_TRUE(ended);
  EXPECT_TRUE(body == big) << body.size() << " of " << big.size();
  EXPECT_EQ(s->bytesRead(), big.size());
  EXPECT_TRUE(s->peekBytes().empty());
  EXPECT_EQ(s->skipBytes(10), 0u);
  EXPECT_TRUE(s->connectionKeptForReuse());
  s->close();
}

TEST(HTTPReadStream, MalformedAndCutOffResponsesFail) {
  LoopbackServer garbage([](Peer& peer) {
    Request r;
    peer.readRequest(&r);
    peer.write("SPDY/3 200 OK\r\n\r\n");
  });
  Exchange g("GET", garbage.url());
  ASSERT_TRUE(g.run());
  EXPECT_TRUE(g.failed);
  EXPECT_EQ(g.code(), NetError::kProtocolError);
  EXPECT_EQ(g.stream->streamStatus(), InputStream::Status::Error);

  LoopbackServer cut([](Peer& peer) {
    Request r;
    peer.readRequest(&r);
    peer.write("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nonly ten..");
    peer.close();
  });
  Exchange c("GET", cut.url());
  ASSERT_TRUE(c.run());
  EXPECT_TRUE(c.failed);
  EXPECT_EQ(c.code(), NetError::kConnectionLost);
  EXPECT_EQ(c.body, "only ten..");
}

// ---- Request bodies

namespace {

// Hands out its bytes at most `step` at a time.
class ShortReadStream : public InputStream {
 public:
  ShortReadStream(std::string bytes, size_t step) : bytes_(std::move(bytes)), step_(step) {}
  bool open() override {
    status_ = Status::Open;
    return true;
  }
  void close() override { status_ = Status::Closed; }
  long read(uint8_t* buffer, size_t max) override {
    size_t n = std::min({max, step_, bytes_.size() - offset_});
    std::memcpy(buffer, bytes_.data() + offset_, n);
    offset_ += n;
    if (offset_ == bytes_.size()) status_ = Status::AtEnd;
    return long(n);
  }
  bool hasBytesAvailable() const override { return offset_ < bytes_.size(); }
  Status streamStatus() const override { return status_; }
  Ref<Error> streamError() const override { return nullptr; }

 private:
  std::string bytes_;
  size_t step_;
  size_t offset_ = 0;
  Status status_ = Status::NotOpen;
};

std::string sampleBody(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = char(i * 7 % 251);
  return s;
}

}  // namespace

TEST(HTTPReadStream, PostBodyStreamWithShortReads) {
  const std::string body = sampleBody(100000);
  for (int variant = 0; variant < 3; ++variant) {
    Request got;
    LoopbackServer server([&](Peer& peer) {
      peer.readRequest(&got);
      peer.write(kOK);
    });
    auto m = message("POST", server.url("/upload"), variant == 2 ? HTTPMessage::kVersion1_0 : HTTPMessage::kVersion1_1);
    if (variant == 0) m->setHeaderField("Content-Length", std::to_string(body.size()));
    auto s = HTTPReadStream::streamWithRequest(m, make<ShortReadStream>(body, 7));
    Exchange x(s);
    ASSERT_TRUE(x.run(60)) << variant;  // thousands of loop turns: slow under a loaded sanitizer build
    EXPECT_EQ(x.status(), 200);
    EXPECT_TRUE(got.body == body) << variant;
    EXPECT_EQ(got.chunked, variant == 1);  // without a length, HTTP/1.1 sends chunks
    if (variant == 2) {
      EXPECT_EQ(got.header("Content-Length"), std::to_string(body.size()));
    }
    EXPECT_EQ(s->requestBytesWritten(), body.size());
  }
}

TEST(HTTPReadStream, MessageBodyGetsALength) {
  Request got;
  LoopbackServer server([&](Peer& peer) {
    peer.readRequest(&got);
    peer.write(kOK);
  });
  auto m = message("PUT", server.url());
  m->setBody(Data::dataWithString("payload"));
  Exchange x(HTTPReadStream::streamWithRequest(m));
  ASSERT_TRUE(x.run());
  EXPECT_EQ(got.body, "payload");
  EXPECT_EQ(got.header("Content-Length"), "7");

  Request empty;
  LoopbackServer server2([&](Peer& peer) {
    peer.readRequest(&empty);
    peer.write(kOK);
  });
  Exchange e("POST", server2.url());
  ASSERT_TRUE(e.run());
  EXPECT_EQ(empty.header("Content-Length"), "0");
}

TEST(HTTPReadStream, BodyShorterThanItsLengthFails) {
  LoopbackServer server([](Peer& peer) { peer.waitForClose(); });
  auto m = message("POST", server.url());
  m->setHeaderField("Content-Length", "50");
  Exchange x(HTTPReadStream::streamWithRequest(m, make<ShortReadStream>("too short", 4)));
  ASSERT_TRUE(x.run());
  EXPECT_TRUE(x.failed);
  EXPECT_EQ(x.code(), NetError::kBodyStreamFailure);
}

// ---- Connection sharing

TEST(HTTPReadStream, KeptAliveConnectionIsReusedBySameStreamID) {
  LoopbackServer server(keepAnswering(kOK));
  auto first = HTTPReadStream::streamWithRequest(message("GET", server.url("/1")));
  first->setStreamID(7);
  first->setShouldAttemptPersistentConnection(true);
  Exchange a(first);
  ASSERT_TRUE(a.run());
  EXPECT_TRUE(first->connectionKeptForReuse());
  EXPECT_FALSE(first->isReusedConnection());

  auto second = HTTPReadStream::streamWithRequest(message("GET", server.url("/2")));
  second->setStreamID(7);
  second->setShouldAttemptPersistentConnection(true);
  Exchange b(second);
  second->scheduleInRunLoop(RunLoop::current(), kMode);
  ASSERT_TRUE(second->open());
  // The engine closes the previous stream only after the next one opened.
  first->close();
  ASSERT_TRUE(b.wait());
  EXPECT_EQ(b.body, "hello");
  EXPECT_TRUE(second->isReusedConnection());
  EXPECT_EQ(second->connectionID(), first->connectionID());
  EXPECT_EQ(server.accepted(), 1);

  // Another id does not share it.
  auto other = HTTPReadStream::streamWithRequest(message("GET", server.url("/3")));
  other->setStreamID(8);
  other->setShouldAttemptPersistentConnection(true);
  Exchange c(other);
  ASSERT_TRUE(c.run());
  EXPECT_FALSE(other->isReusedConnection());
  EXPECT_EQ(server.accepted(), 2);
  second->close();
  other->close();
}

TEST(HTTPReadStream, NoReuseWhenTheServerOrTheRequestSaysSo) {
  const std::string answers[] = {
      "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nConnection: close\r\n\r\nhello",
      "HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nhello",
      "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nContent-Length: 5\r\n\r\n5\r\nhello\r\n0\r\n\r\n",
  };
  for (const auto& answer : answers) {
    LoopbackServer server(keepAnswering(answer));
    for (int i = 0; i < 2; ++i) {
      auto s = HTTPReadStream::streamWithRequest(message("GET", server.url()));
      s->setStreamID(9);
      s->setShouldAttemptPersistentConnection(true);
      Exchange x(s);
      ASSERT_TRUE(x.run());
      EXPECT_EQ(x.body, "hello");
      EXPECT_FALSE(s->connectionKeptForReuse()) << answer;
      EXPECT_FALSE(s->isReusedConnection());
    }
    EXPECT_EQ(server.accepted(), 2) << answer;
  }
  // Persistent connections not asked for: the request says close and nothing is kept.
  std::string connection;
  LoopbackServer server([&](Peer& peer) {
    Request r;
    peer.readRequest(&r);
    connection = r.header("Connection");
    peer.write(kOK);
  });
  auto s = HTTPReadStream::streamWithRequest(message("GET", server.url()));
  s->setStreamID(9);
  Exchange x(s);
  ASSERT_TRUE(x.run());
  EXPECT_EQ(connection, "close");
  EXPECT_FALSE(s->connectionKeptForReuse());
}

TEST(HTTPReadStream, ClosingTheOwnerClosesTheKeptConnection) {
  std::atomic<bool> sawClose{false};
  LoopbackServer server([&](Peer& peer) {
    Request r;
    peer.readRequest(&r);
    peer.write(kOK);
    sawClose = peer.waitForClose();
  });
  auto s = HTTPReadStream::streamWithRequest(message("GET", server.url()));
  s->setStreamID(11);
  s->setShouldAttemptPersistentConnection(true);
  Exchange x(s);
  ASSERT_TRUE(x.run());
  ASSERT_TRUE(s->connectionKeptForReuse());
  s->close();
  ASSERT_TRUE(RunLoop::current().runUntil([&] { return sawClose.load(); }, 10));
}

TEST(HTTPReadStream, DeadReusedConnectionIsReportedAsSuch) {
  LoopbackServer server([](Peer& peer) {
    Request r;
    peer.readRequest(&r);
    peer.write(kOK);
    peer.readRequest(&r);  // the second request is read, then the connection dropped
    peer.close();
  });
  auto first = HTTPReadStream::streamWithRequest(message("GET", server.url()));
  first->setStreamID(12);
  first->setShouldAttemptPersistentConnection(true);
  Exchange a(first);
  ASSERT_TRUE(a.run());
  auto second = HTTPReadStream::streamWithRequest(message("GET", server.url()));
  second->setStreamID(12);
  second->setShouldAttemptPersistentConnection(true);
  Exchange b(second);
  ASSERT_TRUE(b.run());
  EXPECT_TRUE(second->isReusedConnection());
  EXPECT_TRUE(b.failed);
  EXPECT_TRUE(NetError::isDeadReusedConnection(b.error())) << b.error()->description();
  first->close();
  second->close();
}

TEST(HTTPReadStream, ConnectionClosedWhileIdleIsNotReused) {
  std::atomic<bool> closed{false};
  LoopbackServer server([&](Peer& peer) {
    Request r;
    if (!peer.readRequest(&r)) return;
    peer.write(kOK);
    if (closed.exchange(true)) return;
    peer.close();  // says nothing, keeps nothing
  });
  auto first = HTTPReadStream::streamWithRequest(message("GET", server.url()));
  first->setStreamID(13);
  first->setShouldAttemptPersistentConnection(true);
  Exchange a(first);
  ASSERT_TRUE(a.run());
  ASSERT_TRUE(RunLoop::current().runUntil([&] { return closed.load(); }, 10));
  auto second = HTTPReadStream::streamWithRequest(message("GET", server.url()));
  second->setStreamID(13);
  second->setShouldAttemptPersistentConnection(true);
  Exchange b(second);
  ASSERT_TRUE(b.run());
  EXPECT_TRUE(b.ended);
  EXPECT_FALSE(second->isReusedConnection());
  EXPECT_NE(second->connectionID(), first->connectionID());
  first->close();
  second->close();
}

// ---- TLS

TEST(HTTPReadStream, TLSToTheTestCASucceedsAndIsReused) {
  SSL_CTX* ctx = nettest::TestCertificates::trusted().serverContext({"localhost", "127.0.0.1"});
  LoopbackServer server([ctx](Peer& peer) {
    if (!peer.startTLS(ctx)) return;
    Request r;
    while (peer.readRequest(&r)) peer.write(kOK);
  });
  for (const char* host : {"localhost", "127.0.0.1"}) {
    Ref<HTTPReadStream> previous;  // owns the kept connection until the next stream takes it
    for (int i = 0; i < 2; ++i) {
      auto s = HTTPReadStream::streamWithRequest(message("GET", server.url("/s", "https", host)));
      s->setStreamID(20);
      s->setShouldAttemptPersistentConnection(true);
      Exchange x(s);
      ASSERT_TRUE(x.run());
      ASSERT_TRUE(x.ended) << host << " " << (x.error() ? x.error()->description() : "");
      EXPECT_EQ(x.body, "hello");
      EXPECT_EQ(s->isReusedConnection(), i == 1) << host;
      EXPECT_TRUE(s->connectionKeptForReuse()) << host;
      previous = s;
    }
  }
  EXPECT_EQ(server.accepted(), 2);
  HTTPReadStream::closeIdleConnections();
}

namespace {

Exchange* tlsFailure(SSL_CTX* ctx, const char* host, std::unique_ptr<LoopbackServer>& server) {
  server = std::make_unique<LoopbackServer>([ctx](Peer& peer) { peer.startTLS(ctx); });
  auto* x = new Exchange("GET", server->url("/", "https", host));
  x->run();
  return x;
}

}  // namespace

TEST(HTTPReadStream, TLSFailuresCarryTheTLSText) {
  nettest::TestCertificates::trusted();
  nettest::TestCertificates stranger("Untrusted Test CA");
  std::unique_ptr<LoopbackServer> server;

  std::unique_ptr<Exchange> untrusted(tlsFailure(stranger.serverContext({"localhost"}), "localhost", server));
  EXPECT_TRUE(untrusted->failed);
  EXPECT_TRUE(NetError::isTLSFailure(untrusted->error()));
  EXPECT_NE(NetError::sslErrorText(untrusted->error()).find("unable to get local issuer certificate"), std::string::npos)
      << untrusted->error()->description();

  std::unique_ptr<Exchange> wrongName(
      tlsFailure(nettest::TestCertificates::trusted().serverContext({"other.test"}), "localhost", server));
  EXPECT_TRUE(NetError::isTLSFailure(wrongName->error()));
  EXPECT_NE(NetError::sslErrorText(wrongName->error()).find("hostname mismatch"), std::string::npos)
      << wrongName->error()->description();

  std::unique_ptr<Exchange> wrongIP(
      tlsFailure(nettest::TestCertificates::trusted().serverContext({"localhost"}), "127.0.0.1", server));
  EXPECT_TRUE(NetError::isTLSFailure(wrongIP->error()));
  EXPECT_NE(NetError::sslErrorText(wrongIP->error()).find("IP address mismatch"), std::string::npos)
      << wrongIP->error()->description();
  EXPECT_NE(wrongIP->error()->localizedDescription().find("TLS failure: "), std::string::npos);
  server.reset();
}

TEST(HTTPReadStream, TrustedCertificatesMustParse) {
  Ref<Error> error;
  EXPECT_FALSE(HTTPReadStream::addTrustedCertificate("not a certificate", &error));
  EXPECT_TRUE(error);
  EXPECT_FALSE(HTTPReadStream::addTrustedCertificate(
      "-----BEGIN CERTIFICATE-----\nAAAA\n-----END CERTIFICATE-----\n", &error));
}

// ---- Proxies

TEST(HTTPReadStream, HTTPProxyGetsTheAbsoluteForm) {
  Request got;
  LoopbackServer proxy([&](Peer& peer) {
    peer.readRequest(&got);
    peer.write(kOK);
  });
  // The origin's name is never looked up: only the proxy's is.
  auto m = message("GET", "http://origin.test:8080/path?q=1");
  m->setHeaderField("Proxy-Authorization", "Basic cHg6cHc=");
  auto s = HTTPReadStream::streamWithRequest(m);
  s->setHTTPProxy("127.0.0.1", proxy.port());
  s->setHTTPSProxy("127.0.0.1", 1);  // for https only
  Exchange x(s);
  ASSERT_TRUE(x.run());
  EXPECT_EQ(x.body, "hello");
  EXPECT_EQ(got.target, "http://origin.test:8080/path?q=1");
  EXPECT_EQ(got.header("Host"), "origin.test:8080");
  EXPECT_EQ(got.header("Proxy-Authorization"), "Basic cHg6cHc=");
}

TEST(HTTPReadStream, ProxyCredentialsNeverGoToTheServerDirectly) {
  Request got;
  LoopbackServer server([&](Peer& peer) {
    peer.readRequest(&got);
    peer.write(kOK);
  });
  auto m = message("GET", server.url());
  m->setHeaderField("Proxy-Authorization", "Basic c2VjcmV0");
  Exchange x(HTTPReadStream::streamWithRequest(m));
  ASSERT_TRUE(x.run());
  EXPECT_FALSE(got.has("Proxy-Authorization"));
}

TEST(HTTPReadStream, ConnectTunnelCarriesTLS) {
  SSL_CTX* ctx = nettest::TestCertificates::trusted().serverContext({"origin.test"});
  std::string connectHead;
  Request inner;
  LoopbackServer proxy([&](Peer& peer) {
    if (!peer.readHead(&connectHead)) return;
    peer.write("HTTP/1.1 200 Connection established\r\n\r\n");
    if (!peer.startTLS(ctx)) return;
    peer.readRequest(&inner);
    peer.write(kOK);
  });
  auto m = message("GET", "https://origin.test/secure");
  m->setHeaderField("Proxy-Authorization", "Basic cHg6cHc=");
  m->setHeaderField("User-Agent", "TestAgent/1");
  auto s = HTTPReadStream::streamWithRequest(m);
  s->setHTTPSProxy("127.0.0.1", proxy.port());
  Exchange x(s);
  ASSERT_TRUE(x.run());
  ASSERT_TRUE(x.ended) << (x.error() ? x.error()->description() : "");
  EXPECT_EQ(x.body, "hello");
  EXPECT_EQ(connectHead.substr(0, connectHead.find("\r\n")), "CONNECT origin.test:443 HTTP/1.1");
  EXPECT_NE(connectHead.find("Proxy-Authorization: Basic cHg6cHc=\r\n"), std::string::npos);
  EXPECT_NE(connectHead.find("User-Agent: TestAgent/1\r\n"), std::string::npos);
  EXPECT_EQ(inner.target, "/secure");
  EXPECT_FALSE(inner.has("Proxy-Authorization"));
  EXPECT_EQ(inner.header("User-Agent"), "TestAgent/1");
}

TEST(HTTPReadStream, RefusedTunnelIsTheResponse) {
  LoopbackServer proxy([](Peer& peer) {
    std::string head;
    peer.readHead(&head);
    peer.write("HTTP/1.1 407 Proxy Authentication Required\r\nProxy-Authenticate: Basic realm=\"p\"\r\n"
               "Content-Length: 6\r\n\r\ndenied");
  });
  auto s = HTTPReadStream::streamWithRequest(message("GET", "https://origin.test/"));
  s->setHTTPSProxy("127.0.0.1", proxy.port());
  Exchange x(s);
  ASSERT_TRUE(x.run());
  EXPECT_TRUE(x.ended);
  EXPECT_EQ(x.status(), 407);
  EXPECT_EQ(x.stream->responseHeader()->valueForHeaderField("Proxy-Authenticate"), "Basic realm=\"p\"");
  EXPECT_EQ(x.body, "denied");
}

namespace {

// A SOCKS5 proxy that then plays the server itself on the same connection.
LoopbackServer::Handler socksServer(const std::string& user, const std::string& password, std::string* target,
                                    SSL_CTX* tls = nullptr) {
  return [=](Peer& peer) {
    std::string b;
    if (!peer.readExactly(2, &b) || b[0] != 5) return;
    std::string methods;
    peer.readExactly(size_t(b[1]), &methods);
    const bool wantAuth = !user.empty();
    if (wantAuth && methods.find(char(2)) == std::string::npos) {
      peer.write(std::string{char(5), char(0xff)});
      return;
    }
    peer.write(std::string{char(5), char(wantAuth ? 2 : 0)});
    if (wantAuth) {
      std::string v, u, p, n;
      peer.readExactly(2, &v);
      peer.readExactly(size_t((unsigned char)v[1]), &u);
      peer.readExactly(1, &n);
      peer.readExactly(size_t((unsigned char)n[0]), &p);
      const bool ok = u == user && p == password;
      peer.write(std::string{char(1), char(ok ? 0 : 1)});
      if (!ok) return;
    }
    std::string head, name, port;
    peer.readExactly(5, &head);  // VER CMD RSV ATYP LEN
    if (head[3] != 3) return;
    peer.readExactly(size_t((unsigned char)head[4]), &name);
    peer.readExactly(2, &port);
    *target = name + ":" + std::to_string(((unsigned char)port[0] << 8) | (unsigned char)port[1]);
    peer.write(std::string{char(5), char(0), char(0), char(1), char(127), char(0), char(0), char(1), char(0), char(80)});
    if (tls && !peer.startTLS(tls)) return;
    Request r;
    peer.readRequest(&r);
    peer.write(kOK);
  };
}

}  // namespace

TEST(HTTPReadStream, SOCKS5WithoutAndWithPassword) {
  std::string target;
  LoopbackServer open(socksServer("", "", &target));
  auto a = HTTPReadStream::streamWithRequest(message("GET", "http://origin.test:81/"));
  a->setSOCKSProxy("127.0.0.1", open.port());
  a->setHTTPProxy("127.0.0.1", 1);  // SOCKS wins
  Exchange x(a);
  ASSERT_TRUE(x.run());
  EXPECT_EQ(x.body, "hello");
  EXPECT_EQ(target, "origin.test:81");

  std::string target2;
  SSL_CTX* ctx = nettest::TestCertificates::trusted().serverContext({"origin.test"});
  LoopbackServer guarded(socksServer("alice", "s3cret", &target2, ctx));
  auto b = HTTPReadStream::streamWithRequest(message("GET", "https://origin.test/"));
  b->setSOCKSProxy("127.0.0.1", guarded.port(), "alice", "s3cret");
  Exchange y(b);
  ASSERT_TRUE(y.run());
  ASSERT_TRUE(y.ended) << (y.error() ? y.error()->description() : "");
  EXPECT_EQ(y.body, "hello");
  EXPECT_EQ(target2, "origin.test:443");

  std::string unused;
  LoopbackServer strict(socksServer("alice", "s3cret", &unused));
  auto c = HTTPReadStream::streamWithRequest(message("GET", "http://origin.test/"));
  c->setSOCKSProxy("127.0.0.1", strict.port(), "alice", "wrong");
  Exchange z(c);
  ASSERT_TRUE(z.run());
  EXPECT_TRUE(z.failed);
  EXPECT_EQ(z.code(), NetError::kProxyFailure);

  auto d = HTTPReadStream::streamWithRequest(message("GET", "http://origin.test/"));
  d->setSOCKSProxy("127.0.0.1", strict.port());  // no password offered
  Exchange w(d);
  ASSERT_TRUE(w.run());
  EXPECT_EQ(w.code(), NetError::kProxyFailure);
}

// ---- Names, addresses and the loop

TEST(HTTPReadStream, ResolvingLocalhostDoesNotBlockTheLoop) {
  std::mutex m;
  std::condition_variable cv;
  bool released = false;
  bool releasedInTime = false;
  ResolverHook hook([&](const std::string& host, int) -> std::optional<std::vector<HostResolver::Address>> {
    std::unique_lock<std::mutex> g(m);
    if (host == "localhost") releasedInTime = cv.wait_for(g, std::chrono::seconds(5), [&] { return released; });
    return std::nullopt;  // then the system's answer
  });
  LoopbackServer server(keepAnswering(kOK));
  Exchange x("GET", server.url("/", "http", "localhost"));
  // Only a loop that keeps running while the name is looked up lets this timer fire.
  auto timer = Timer::timer(0.02, false, [&](Timer&) {
    std::lock_guard<std::mutex> g(m);
    released = true;
    cv.notify_all();
  });
  RunLoop::current().addTimer(timer, kMode);
  ASSERT_TRUE(x.run());
  EXPECT_TRUE(releasedInTime);
  EXPECT_EQ(x.body, "hello");
}

TEST(HTTPReadStream, EveryAddressIsTriedInTurn) {
  LoopbackServer server(keepAnswering(kOK));
  nettest::ClosedPort refused;
  ResolverHook hook([&](const std::string&, int) -> std::optional<std::vector<HostResolver::Address>> {
    return std::vector<HostResolver::Address>{*HostResolver::literalAddress("::1", refused.port()),
                                              loopback(refused.port()), loopback(server.port())};
  });
  Exchange x("GET", "http://several.test/");
  ASSERT_TRUE(x.run());
  EXPECT_EQ(x.body, "hello");
}

TEST(HTTPReadStream, NameAndConnectionFailures) {
  {
    ResolverHook hook([](const std::string&, int) { return std::optional<std::vector<HostResolver::Address>>(std::vector<HostResolver::Address>{}); });
    Exchange x("GET", "http://nowhere.test/");
    ASSERT_TRUE(x.run());
    EXPECT_EQ(x.code(), NetError::kDNSFailure);
  }
  nettest::ClosedPort closed;
  Exchange y("GET", "http://127.0.0.1:" + std::to_string(closed.port()) + "/");
  ASSERT_TRUE(y.run());
  EXPECT_EQ(y.code(), NetError::kConnectionRefused);

  auto bad = HTTPReadStream::streamWithRequest(message("GET", "ftp://127.0.0.1/"));
  EXPECT_FALSE(bad->open());
  EXPECT_EQ(bad->streamError()->code(), NetError::kBadRequest);
  EXPECT_FALSE(bad->open());
}

TEST(HTTPReadStream, StalledStreamClosesAtOnceFromItsLoop) {
  std::atomic<bool> sawClose{false};
  LoopbackServer server([&](Peer& peer) {
    Request r;
    peer.readRequest(&r);
    sawClose = peer.waitForClose();  // never answers
  });
  Exchange x("GET", server.url());
  x.stream->scheduleInRunLoop(RunLoop::current(), kMode);
  ASSERT_TRUE(x.stream->open());
  ASSERT_TRUE(RunLoop::current().runUntil([&] { return server.accepted() == 1; }, 10, kMode));
  auto timer = Timer::timer(0.05, false, [&](Timer&) { x.stream->close(); });
  RunLoop::current().addTimer(timer, kMode);
  ASSERT_TRUE(RunLoop::current().runUntil([&] { return sawClose.load(); }, 10, kMode));
  EXPECT_TRUE(x.events.empty());
  EXPECT_EQ(x.stream->streamStatus(), InputStream::Status::Closed);
  EXPECT_EQ(x.stream->read(nullptr, 0), -1);
}

TEST(HTTPReadStream, NothingMovesWhileUnscheduled) {
  LoopbackServer server(keepAnswering(kOK));
  Exchange x("GET", server.url());
  ASSERT_TRUE(x.stream->open());
  RunLoop::current().runUntil([] { return false; }, 0.1, kMode);
  EXPECT_EQ(server.accepted(), 0);
  EXPECT_TRUE(x.events.empty());
  x.stream->scheduleInRunLoop(RunLoop::current(), kMode);
  ASSERT_TRUE(x.wait());
  EXPECT_EQ(x.body, "hello");
}

TEST(HTTPReadStream, ClientMayCloseInsideItsCallback) {
  LoopbackServer server(keepAnswering("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + std::string(100000, 'x')));
  auto s = HTTPReadStream::streamWithRequest(message("GET", server.url()));
  int calls = 0;
  s->setClient(kEngineEvents, [&](InputStream& in, InputStream::Event) {
    ++calls;
    in.close();
  });
  s->scheduleInRunLoop(RunLoop::current(), kMode);
  ASSERT_TRUE(s->open());
  RunLoop::current().runUntil([&] { return calls > 0; }, 10, kMode);
  RunLoop::current().runUntil([] { return false; }, 0.05, kMode);
  EXPECT_EQ(calls, 1);
}
