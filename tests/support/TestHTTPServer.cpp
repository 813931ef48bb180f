#include "support/TestHTTPServer.h"

#include <openssl/evp.h>
#include <openssl/ssl.h>

#include <algorithm>
#include <cstdio>

#include "support/TestDeflater.h"
#include "support/TestTLSContext.h"
#include "support/WireReader.h"

namespace tolvatest {

using Clock = TestSocket::Clock;
using std::chrono::milliseconds;

struct TestHTTPServer::Route {
  std::string method;
  std::string path;
  bool prefix = false;
  Handler handler;
};

struct TestHTTPServer::Settings {
  milliseconds idleTimeout{15000};
  unsigned maxRequests = 0;
  bool announceMaxRequests = false;
  bool alwaysClose = false;
  bool autoContinue = true;
  bool hashBodies = false;
};

namespace {

constexpr size_t kPieceSize = 64 * 1024;

class StringSource : public TestBodySource {
 public:
  explicit StringSource(std::string text) : text_(std::move(text)) {}
  uint64_t size() const override { return text_.size(); }
  void read(uint64_t offset, char* out, size_t length) const override { text_.copy(out, length, size_t(offset)); }

 private:
  std::string text_;
};

class SliceSource : public TestBodySource {
 public:
  SliceSource(std::shared_ptr<const TestBodySource> base, uint64_t offset, uint64_t length)
      : base_(std::move(base)), offset_(offset), length_(length) {}
  uint64_t size() const override { return length_; }
  void read(uint64_t offset, char* out, size_t length) const override { base_->read(offset_ + offset, out, length); }

 private:
  std::shared_ptr<const TestBodySource> base_;
  uint64_t offset_;
  uint64_t length_;
};

bool parseDecimal(std::string_view text, uint64_t& out) {
  if (text.empty() || text.size() > 19) return false;
  out = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    out = out * 10 + uint64_t(c - '0');
  }
  return true;
}

std::string hex(const unsigned char* data, unsigned length) {
  std::string out;
  char two[3];
  for (unsigned i = 0; i < length; ++i) {
    std::snprintf(two, sizeof two, "%02x", data[i]);
    out += two;
  }
  return out;
}

// Splits a request target into path and query.
void splitTarget(const std::string& target, std::string& path, std::string& query) {
  std::string rest = target;
  size_t scheme = rest.find("://");
  if (!rest.empty() && rest[0] != '/' && scheme != std::string::npos) {
    size_t slash = rest.find('/', scheme + 3);
    size_t mark = rest.find('?', scheme + 3);
    size_t start = std::min(slash, mark);
    rest = start == std::string::npos ? "/" : (rest[start] == '?' ? "/" + rest.substr(start) : rest.substr(start));
  } else if (!rest.empty() && rest[0] != '/') {
    path = rest == "*" ? "*" : std::string();  // "*" or an authority (CONNECT)
    return;
  }
  size_t mark = rest.find('?');
  path = rest.substr(0, mark);
  query = mark == std::string::npos ? std::string() : rest.substr(mark + 1);
}

// Sends a response's bytes within the connection's bounds, applying its
// trickle, stall and abort.
class Sender {
 public:
  Sender(TestSocket& socket, Clock::time_point connectionDeadline, const TestServerLimits& limits,
         const TestResponse& response)
      : socket_(socket), connectionDeadline_(connectionDeadline), limits_(limits), response_(response) {}

  bool ended() const { return ended_; }

  bool stall() {
    const auto& stall = *response_.stall;
    if (stall.duration < milliseconds::zero()) {
      socket_.pauseUntil(connectionDeadline_);
      return end();  // stop() or the end of the connection's life
    }
    auto until = std::min(Clock::now() + stall.duration, connectionDeadline_);
    if (!socket_.pauseUntil(until) || Clock::now() >= connectionDeadline_) return end();
    return true;
  }

  bool head(std::string_view bytes) {
    if (stallAt(TestResponse::Stall::At::BeforeHead) && !stall()) return false;
    if (!wire(bytes, response_.trickle && response_.trickle->includeHead)) return false;
    if (stallAt(TestResponse::Stall::At::AfterHead) && !stall()) return false;
    return true;
  }

  // Payload bytes (as coded), counted for stalls and aborts.
  bool payload(std::string_view bytes) {
    while (!bytes.empty()) {
      uint64_t take = bytes.size();
      if (stallAt(TestResponse::Stall::At::AfterBodyBytes) && !stalled_ &&
          sentPayload_ + take > response_.stall->afterBodyBytes)
        take = response_.stall->afterBodyBytes - sentPayload_;
      if (response_.abortAfterBodyBytes && sentPayload_ + take > *response_.abortAfterBodyBytes)
        take = *response_.abortAfterBodyBytes - sentPayload_;
      if (take > 0 && !wire(bytes.substr(0, size_t(take)), bool(response_.trickle))) return false;
      sentPayload_ += take;
      bytes.remove_prefix(size_t(take));
      if (response_.abortAfterBodyBytes && sentPayload_ >= *response_.abortAfterBodyBytes && !bytes.empty())
        return end();
      if (stallAt(TestResponse::Stall::At::AfterBodyBytes) && !stalled_ &&
          sentPayload_ >= response_.stall->afterBodyBytes) {
        stalled_ = true;
        if (!stall()) return false;
      }
    }
    return true;
  }

  // Framing bytes around the payload (chunk sizes, CRLFs).
  bool framing(std::string_view bytes) {
    if (response_.abortAfterBodyBytes && sentPayload_ >= *response_.abortAfterBodyBytes) return end();
    return wire(bytes, bool(response_.trickle));
  }

  bool wire(std::string_view bytes, bool trickle) {
    if (!trickle) return write(bytes);
    const auto& t = *response_.trickle;
    while (!bytes.empty()) {
      if (nextPiece_ != Clock::time_point() && !socket_.pauseUntil(std::min(nextPiece_, connectionDeadline_)))
        return end();
      if (Clock::now() >= connectionDeadline_) return end();
      size_t take = std::min(t.bytes, bytes.size());
      if (!write(bytes.substr(0, take))) return false;
      bytes.remove_prefix(take);
      nextPiece_ = Clock::now() + t.interval;
    }
    return true;
  }

  bool abortedByLimit() const {
    return response_.abortAfterBodyBytes && sentPayload_ >= *response_.abortAfterBodyBytes;
  }

 private:
  bool stallAt(TestResponse::Stall::At at) const { return response_.stall && response_.stall->at == at; }
  bool end() {
    ended_ = true;
    return false;
  }
  bool write(std::string_view bytes) {
    auto deadline = std::min(Clock::now() + limits_.ioTimeout, connectionDeadline_);
    if (socket_.writeAll(bytes, deadline) != IOStatus::Ok) return end();
    return true;
  }

  TestSocket& socket_;
  Clock::time_point connectionDeadline_;
  const TestServerLimits& limits_;
  const TestResponse& response_;
  uint64_t sentPayload_ = 0;
  bool stalled_ = false;
  bool ended_ = false;
  Clock::time_point nextPiece_{};
};

// Calls fn with the coded body in pieces; false if fn refused one.
bool forEachPiece(const TestResponse& response, const std::string& codedText,
                  const std::function<bool(std::string_view)>& fn) {
  if (!response.source) {
    for (size_t offset = 0; offset < codedText.size(); offset += kPieceSize)
      if (!fn(std::string_view(codedText).substr(offset, kPieceSize))) return false;
    return true;
  }
  std::unique_ptr<TestDeflater> deflater;
  if (response.coding != ContentCoding::Identity) deflater = std::make_unique<TestDeflater>(response.coding);
  std::string buffer(kPieceSize, '\0');
  const uint64_t size = response.source->size();
  for (uint64_t offset = 0; offset < size;) {
    size_t n = size_t(std::min<uint64_t>(kPieceSize, size - offset));
    response.source->read(offset, buffer.data(), n);
    offset += n;
    if (!deflater) {
      if (!fn(std::string_view(buffer.data(), n))) return false;
      continue;
    }
    std::string out = deflater->feed(std::string_view(buffer.data(), n));
    if (!out.empty() && !fn(out)) return false;
  }
  if (deflater) {
    std::string out = deflater->finish();
    if (!out.empty() && !fn(out)) return false;
  }
  return true;
}

}  // namespace

TestHTTPServerOptions TestHTTPServerOptions::https(std::optional<TestCertificate> certificate) {
  TestHTTPServerOptions options;
  options.tls = true;
  options.certificate = std::move(certificate);
  return options;
}

TestHTTPServer::TestHTTPServer(TestHTTPServerOptions options) : settings_(std::make_unique<Settings>()) {
  settings_->idleTimeout = options.limits.idleTimeout;
  if (options.tls)
    tls_ = TestTLSContext::server(options.certificate.value_or(
        TestCertificateAuthority::shared().localhostCertificate()));
  // Asks for a client certificate and takes whatever comes, so tests can see what was sent.
  if (tls_ && options.requestClientCertificate)
    SSL_CTX_set_verify(tls_.get(), SSL_VERIFY_PEER, [](int, X509_STORE_CTX*) { return 1; });
  listener_ = std::make_unique<LoopbackListener>(options.limits, [this](AcceptedConnection& c) { serve(c); });
  listener_->start();
}

TestHTTPServer::~TestHTTPServer() { stop(); }

void TestHTTPServer::stop() { listener_->stop(); }

uint16_t TestHTTPServer::port() const { return listener_->port(); }

std::string TestHTTPServer::origin() const {
  return std::string(isTLS() ? "https" : "http") + "://127.0.0.1:" + std::to_string(port());
}

std::string TestHTTPServer::url(const std::string& path) const { return url("127.0.0.1", path); }

std::string TestHTTPServer::url(const std::string& host, const std::string& path) const {
  std::string p = path.empty() || path[0] != '/' ? "/" + path : path;
  return std::string(isTLS() ? "https" : "http") + "://" + host + ":" + std::to_string(port()) + p;
}

// ---- routes ----

void TestHTTPServer::addRoute(const std::string& method, const std::string& path, bool prefix, Handler handler) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (Route& r : routes_) {
    if (r.method == method && r.path == path && r.prefix == prefix) {
      r.handler = std::move(handler);
      return;
    }
  }
  routes_.push_back(Route{method, path, prefix, std::move(handler)});
}

void TestHTTPServer::route(const std::string& method, const std::string& path, TestResponse response) {
  addRoute(method, path, false, [response = std::move(response)](const RecordedRequest&) { return response; });
}

void TestHTTPServer::route(const std::string& method, const std::string& path, Handler handler) {
  addRoute(method, path, false, std::move(handler));
}

void TestHTTPServer::routePrefix(const std::string& method, const std::string& prefix, TestResponse response) {
  addRoute(method, prefix, true, [response = std::move(response)](const RecordedRequest&) { return response; });
}

void TestHTTPServer::routePrefix(const std::string& method, const std::string& prefix, Handler handler) {
  addRoute(method, prefix, true, std::move(handler));
}

void TestHTTPServer::setFallback(Handler handler) {
  std::lock_guard<std::mutex> lock(mutex_);
  fallback_ = std::move(handler);
}

void TestHTTPServer::removeRoutes() {
  std::lock_guard<std::mutex> lock(mutex_);
  routes_.clear();
  fallback_ = nullptr;
}

void TestHTTPServer::redirect(const std::string& from, const std::string& to, int status) {
  route("*", from, TestResponse::redirect(status, to));
}

void TestHTTPServer::redirectChain(const std::vector<std::string>& paths, TestResponse final, int status,
                                   bool absolute) {
  if (paths.empty()) return;
  for (size_t i = 0; i + 1 < paths.size(); ++i)
    redirect(paths[i], absolute ? url(paths[i + 1]) : paths[i + 1], status);
  route("*", paths.back(), std::move(final));
}

void TestHTTPServer::rangeRoute(const std::string& path, std::string body, RangeOptions options) {
  rangeRoute(path, std::make_shared<StringSource>(std::move(body)), std::move(options));
}

void TestHTTPServer::rangeRoute(const std::string& path, std::shared_ptr<const TestBodySource> body,
                                RangeOptions options) {
  route("GET", path, [body, options](const RecordedRequest& request) {
    const uint64_t size = body->size();
    TestResponse full = TestResponse::generated(body, options.contentType);
    if (options.advertiseRanges) full.header("Accept-Ranges", "bytes");
    if (!options.etag.empty()) full.header("ETag", options.etag);
    if (!options.lastModified.empty()) full.header("Last-Modified", options.lastModified);
    auto range = request.headers.get("Range");
    if (!options.honorRange || !range) return full;
    if (auto ifRange = request.headers.get("If-Range")) {
      const bool strongEtag = !options.etag.empty() && options.etag.rfind("W/", 0) != 0;
      const bool matches = (strongEtag && *ifRange == options.etag) ||
                           (!options.lastModified.empty() && *ifRange == options.lastModified);
      if (!matches) return full;
    }
    std::string_view spec = *range;
    if (spec.size() < 6 || !TestHeaders::equalsIgnoringCase(spec.substr(0, 6), "bytes=")) return full;
    spec.remove_prefix(6);
    if (spec.find(',') != std::string_view::npos) return full;  // several ranges: the whole body
    while (!spec.empty() && spec.front() == ' ') spec.remove_prefix(1);
    while (!spec.empty() && spec.back() == ' ') spec.remove_suffix(1);
    size_t dash = spec.find('-');
    if (dash == std::string_view::npos) return full;
    std::string_view first = spec.substr(0, dash), last = spec.substr(dash + 1);
    uint64_t start = 0, end = 0;
    auto unsatisfiable = [&] {
      TestResponse r = TestResponse::withStatus(416);
      r.header("Content-Range", "bytes */" + std::to_string(size));
      return r;
    };
    if (first.empty()) {
      uint64_t suffix = 0;
      if (!parseDecimal(last, suffix)) return full;
      if (suffix == 0 || size == 0) return unsatisfiable();
      start = size - std::min(suffix, size);
      end = size - 1;
    } else {
      if (!parseDecimal(first, start)) return full;
      if (last.empty()) {
        end = size == 0 ? 0 : size - 1;
      } else {
        if (!parseDecimal(last, end) || end < start) return full;
        if (size > 0) end = std::min(end, size - 1);
      }
      if (start >= size) return unsatisfiable();
    }
    TestResponse partial = full;
    partial.status = 206;
    partial.source = std::make_shared<SliceSource>(body, start, end - start + 1);
    partial.header("Content-Range",
                   "bytes " + std::to_string(start) + "-" + std::to_string(end) + "/" + std::to_string(size));
    return partial;
  });
}

TestResponse TestHTTPServer::respond(const RecordedRequest& request) {
  Handler handler;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const Route* best = nullptr;
    long bestScore = -1;
    for (const Route& r : routes_) {
      int methodScore;
      if (r.method == request.method) methodScore = 3;
      else if (r.method == "*") methodScore = 2;
      else if (r.method == "GET" && request.method == "HEAD") methodScore = 1;
      else continue;
      long pathScore;
      if (!r.prefix && r.path == request.path) pathScore = 1L << 40;
      else if (r.prefix && request.path.compare(0, r.path.size(), r.path) == 0) pathScore = long(r.path.size()) << 8;
      else continue;
      long score = pathScore + methodScore;
      if (score >= bestScore) {
        best = &r;
        bestScore = score;
      }
    }
    if (best) handler = best->handler;
    else handler = fallback_;
  }
  if (!handler) return TestResponse::withStatus(404, "Not Found");
  try {
    return handler(request);
  } catch (const std::exception& e) {
    return TestResponse::withStatus(500, std::string("handler threw: ") + e.what());
  } catch (...) {
    return TestResponse::withStatus(500, "handler threw");
  }
}

// ---- settings and records ----

TestHTTPServer::Settings TestHTTPServer::settings() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return *settings_;
}

void TestHTTPServer::setIdleTimeout(milliseconds timeout) {
  std::lock_guard<std::mutex> lock(mutex_);
  settings_->idleTimeout = timeout;
}

void TestHTTPServer::setMaxRequestsPerConnection(unsigned n, bool announce) {
  std::lock_guard<std::mutex> lock(mutex_);
  settings_->maxRequests = n;
  settings_->announceMaxRequests = announce;
}

void TestHTTPServer::setAlwaysClose(bool close) {
  std::lock_guard<std::mutex> lock(mutex_);
  settings_->alwaysClose = close;
}

void TestHTTPServer::setAutoContinue(bool on) {
  std::lock_guard<std::mutex> lock(mutex_);
  settings_->autoContinue = on;
}

void TestHTTPServer::setHashRequestBodies(bool on) {
  std::lock_guard<std::mutex> lock(mutex_);
  settings_->hashBodies = on;
}

std::vector<RecordedRequest> TestHTTPServer::requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

size_t TestHTTPServer::requestCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_.size();
}

std::optional<RecordedRequest> TestHTTPServer::lastRequest() const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (requests_.empty()) return std::nullopt;
  return requests_.back();
}

std::vector<RecordedRequest> TestHTTPServer::requestsFor(const std::string& path) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<RecordedRequest> out;
  for (const RecordedRequest& r : requests_)
    if (r.path == path) out.push_back(r);
  return out;
}

bool TestHTTPServer::waitForRequests(size_t n, milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return recorded_.wait_for(lock, timeout, [&] { return requests_.size() >= n; });
}

void TestHTTPServer::clearRequests() {
  std::lock_guard<std::mutex> lock(mutex_);
  requests_.clear();
}

uint64_t TestHTTPServer::connectionCount() const { return listener_->acceptedCount(); }

size_t TestHTTPServer::openConnectionCount() const { return listener_->openCount(); }

// ---- one connection ----

struct TestHTTPServer::Connection {
  TestHTTPServer& server;
  AcceptedConnection& accepted;
  WireReader reader;

  Connection(TestHTTPServer& s, AcceptedConnection& a) : server(s), accepted(a), reader(a.socket) {}

  const TestServerLimits& limits() const { return accepted.limits; }
  Clock::time_point ioDeadline() const { return std::min(Clock::now() + limits().ioTimeout, accepted.deadline); }

  // Answers a request the server cannot take, then closes.
  void refuse(int status) {
    std::string text = TestResponse::reasonPhrase(status);
    std::string bytes = "HTTP/1.1 " + std::to_string(status) + " " + text +
                        "\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(text.size()) +
                        "\r\nConnection: close\r\n\r\n" + text;
    if (accepted.socket.writeAll(bytes, ioDeadline()) == IOStatus::Ok) accepted.socket.closeGracefully();
  }

  void run() {
    if (server.tls_ && !accepted.socket.acceptTLS(server.tls_.get(), ioDeadline())) return;
    for (unsigned index = 0;; ++index) {
      const Settings settings = server.settings();
      auto wait = index == 0 ? limits().ioTimeout : settings.idleTimeout;
      ReadResult r = reader.waitForData(std::min(Clock::now() + wait, accepted.deadline));
      if (r != ReadResult::Ok) break;
      std::string headText;
      r = reader.readHead(headText, limits().maxHeadBytes, ioDeadline());
      if (r == ReadResult::TooLarge) return refuse(431);
      if (r != ReadResult::Ok) break;
      MessageHead head;
      if (!MessageHead::parse(headText, false, head)) return refuse(400);
      if (head.third != "HTTP/1.1" && head.third != "HTTP/1.0") return refuse(505);

      RecordedRequest request;
      request.method = head.first;
      request.target = head.second;
      request.version = head.third;
      request.headers = head.headers;
      splitTarget(request.target, request.path, request.query);
      request.connectionId = accepted.id;
      request.indexOnConnection = index;
      request.tls = accepted.socket.isTLS();
      request.serverName = accepted.socket.tlsServerName();
      request.clientCertificateNames = accepted.socket.tlsPeerCertificateNames();

      bool mustClose = false;
      if (!readBody(request, settings, mustClose)) return;
      {
        std::lock_guard<std::mutex> lock(server.mutex_);
        server.requests_.push_back(request);
      }
      server.recorded_.notify_all();

      TestResponse response = server.respond(request);
      const bool requestCloses = request.headers.hasToken("Connection", "close") || request.version == "HTTP/1.0";
      const bool lastByCount = settings.maxRequests != 0 && index + 1 >= settings.maxRequests;
      if (!send(request, response, settings, requestCloses || mustClose, lastByCount)) return;
    }
    if (!accepted.socket.stopped()) accepted.socket.closeGracefully();
  }

  // Reads and records the body; false when the connection is done with.
  bool readBody(RecordedRequest& request, const Settings& settings, bool& mustClose) {
    const TestHeaders& headers = request.headers;
    const bool hasTransferEncoding = headers.has("Transfer-Encoding");
    uint64_t length = 0;
    if (hasTransferEncoding) {
      if (!headers.hasToken("Transfer-Encoding", "chunked")) {
        refuse(501);
        return false;
      }
      request.chunked = true;
      mustClose = headers.has("Content-Length");  // a smuggling shape: answer, then close
    } else if (headers.has("Content-Length")) {
      std::vector<std::string> values = headers.all("Content-Length");
      for (const std::string& v : values) {
        uint64_t n = 0;
        if (!parseDecimal(v, n) || (v != values.front())) {
          refuse(400);
          return false;
        }
        length = n;
      }
      if (length > limits().maxBodyBytes) {
        refuse(413);
        return false;
      }
    }
    const bool hasBody = request.chunked || length > 0;
    if (!hasBody) return true;
    if (settings.autoContinue && headers.hasToken("Expect", "100-continue") &&
        accepted.socket.writeAll("HTTP/1.1 100 Continue\r\n\r\n", ioDeadline()) != IOStatus::Ok)
      return false;

    std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> hash(nullptr, EVP_MD_CTX_free);
    if (settings.hashBodies) {
      hash.reset(EVP_MD_CTX_new());
      EVP_DigestInit_ex(hash.get(), EVP_sha256(), nullptr);
    }
    const size_t recordLimit = limits().maxRecordedBodyBytes;
    auto sink = [&](std::string_view data, std::string_view) {
      request.bodySize += data.size();
      if (hash) EVP_DigestUpdate(hash.get(), data.data(), data.size());
      size_t room = recordLimit - std::min(recordLimit, request.body.size());
      request.body.append(data.substr(0, room));
      if (data.size() > room) request.bodyTruncated = true;
      return true;
    };
    // The whole body may take longer than one read: bound it by the connection.
    ReadResult r = request.chunked
                       ? reader.readChunked(sink, request.trailers, limits().maxBodyBytes, accepted.deadline)
                       : reader.readLength(length, sink, accepted.deadline);
    if (r == ReadResult::Malformed) {
      refuse(400);
      return false;
    }
    if (r == ReadResult::TooLarge) {
      refuse(413);
      return false;
    }
    if (r != ReadResult::Ok) return false;
    if (hash) {
      unsigned char digest[EVP_MAX_MD_SIZE];
      unsigned int n = 0;
      EVP_DigestFinal_ex(hash.get(), digest, &n);
      request.bodySHA256 = hex(digest, n);
    }
    return true;
  }

  // Sends the response; false when the connection is to end (it is then closed).
  bool send(const RecordedRequest& request, const TestResponse& response, const Settings& settings,
            bool requestCloses, bool lastByCount) {
    TestSocket& socket = accepted.socket;
    Sender sender(socket, accepted.deadline, limits(), response);
    if (response.resetConnection) {
      socket.reset();
      return false;
    }
    if (response.dropConnection) {
      if (response.stall && !sender.stall()) return false;
      socket.closeGracefully();
      return false;
    }
    if (response.raw) {
      if (response.stall && response.stall->at == TestResponse::Stall::At::BeforeHead && !sender.stall()) return false;
      if (!sender.wire(*response.raw, bool(response.trickle))) return false;
      if (response.rawKeepAlive && !lastByCount) return true;
      socket.closeGracefully();
      return false;
    }

    const bool http10 = response.framing == Framing::HTTP10;
    const bool noBody = response.status / 100 == 1 || response.status == 204 || response.status == 304;
    const bool headOnly = request.method == "HEAD" || noBody;
    const bool closeDelimited = response.framing == Framing::CloseDelimited;
    const bool chunked = response.framing == Framing::Chunked;

    std::string codedText;
    if (!response.source) codedText = TestCodec::encode(response.coding, response.body);

    TestHeaders headers = response.headers;
    if (response.coding != ContentCoding::Identity && !headers.has("Content-Encoding"))
      headers.add("Content-Encoding", TestCodec::token(response.coding));
    if (!noBody) {
      if (chunked) {
        if (!headers.has("Transfer-Encoding")) headers.add("Transfer-Encoding", "chunked");
      } else if (!closeDelimited && !headers.has("Content-Length")) {
        uint64_t length = codedText.size();
        if (response.source) {
          if (response.coding == ContentCoding::Identity) {
            length = response.source->size();
          } else {
            length = 0;  // a first pass through the encoder to learn the length
            forEachPiece(response, codedText, [&](std::string_view piece) {
              length += piece.size();
              return true;
            });
          }
        }
        headers.add("Content-Length", std::to_string(length));
      }
    }
    const bool announceClose = response.closeConnection || settings.alwaysClose || requestCloses ||
                               closeDelimited || (lastByCount && settings.announceMaxRequests);
    // An abort limit at or past the body's end still closes, unannounced.
    const bool willClose = announceClose || http10 || lastByCount || response.abortAfterBodyBytes.has_value();
    if (announceClose && !http10 && !headers.has("Connection")) headers.add("Connection", "close");

    std::string head = std::string(http10 ? "HTTP/1.0 " : "HTTP/1.1 ") + std::to_string(response.status) + " " +
                       (response.reason.empty() ? TestResponse::reasonPhrase(response.status) : response.reason) +
                       "\r\n" + headers.serialize() + "\r\n";
    if (!sender.head(head)) return false;

    if (!headOnly) {
      bool ok;
      if (chunked) {
        ok = sendChunked(sender, response, codedText);
      } else {
        ok = forEachPiece(response, codedText, [&](std::string_view piece) { return sender.payload(piece); });
      }
      if (!ok) {
        if (sender.abortedByLimit() && !socket.stopped()) socket.closeGracefully();
        return false;
      }
    }
    if (willClose) {
      socket.closeGracefully();
      return false;
    }
    return true;
  }

  bool sendChunked(Sender& sender, const TestResponse& response, const std::string& codedText) {
    size_t sizeIndex = 0;
    auto nextSize = [&]() -> size_t {
      const auto& sizes = response.chunkSizes;
      size_t s = sizes[std::min(sizeIndex, sizes.size() - 1)];
      ++sizeIndex;
      return s == 0 ? 1 : s;
    };
    auto chunk = [&](std::string_view data) {
      char line[32];
      std::snprintf(line, sizeof line, "%zx\r\n", data.size());
      return sender.framing(line) && sender.payload(data) && sender.framing("\r\n");
    };
    std::string pending;
    size_t want = response.chunkSizes.empty() ? 0 : nextSize();
    bool ok = forEachPiece(response, codedText, [&](std::string_view piece) {
      if (piece.empty()) return true;
      if (want == 0) return chunk(piece);
      pending.append(piece);
      size_t offset = 0;
      while (pending.size() - offset >= want) {
        if (!chunk(std::string_view(pending).substr(offset, want))) return false;
        offset += want;
        want = nextSize();
      }
      pending.erase(0, offset);
      return true;
    });
    if (!ok) return false;
    if (!pending.empty() && !chunk(pending)) return false;
    return sender.framing("0\r\n" + response.trailers.serialize() + "\r\n");
  }
};

void TestHTTPServer::serve(AcceptedConnection& accepted) {
  Connection connection(*this, accepted);
  connection.run();
}

}  // namespace tolvatest
