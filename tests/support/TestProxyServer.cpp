#include "support/TestProxyServer.h"

#include <algorithm>

#include "support/TestCodec.h"
#include "support/TestResponse.h"
#include "support/WireReader.h"

namespace tolvatest {

using Clock = TestSocket::Clock;

namespace {

bool isLoopbackHost(const std::string& host) {
  return host == "127.0.0.1" || TestHeaders::equalsIgnoringCase(host, "localhost");
}

// "host:port" (a bracketed IPv6 host keeps its brackets off).
bool splitAuthority(std::string_view authority, uint16_t defaultPort, std::string& host, uint16_t& port) {
  size_t colon;
  if (!authority.empty() && authority.front() == '[') {
    size_t close = authority.find(']');
    if (close == std::string_view::npos) return false;
    host = std::string(authority.substr(1, close - 1));
    authority.remove_prefix(close + 1);
    colon = authority.empty() ? std::string_view::npos : 0;
    if (colon == std::string_view::npos) {
      port = defaultPort;
      return defaultPort != 0;
    }
    if (authority.front() != ':') return false;
  } else {
    colon = authority.rfind(':');
    host = std::string(authority.substr(0, colon));
    if (colon == std::string_view::npos) {
      port = defaultPort;
      return !host.empty() && defaultPort != 0;
    }
    authority.remove_prefix(colon);
  }
  std::string_view digits = authority.substr(1);
  if (digits.empty() || digits.size() > 5) return false;
  unsigned value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + unsigned(c - '0');
  }
  if (value == 0 || value > 65535) return false;
  port = uint16_t(value);
  return !host.empty();
}

bool isHopByHop(const std::string& name, const TestHeaders& headers) {
  static const char* const names[] = {"Connection", "Proxy-Connection", "Keep-Alive", "Proxy-Authorization",
                                      "Proxy-Authenticate", "TE", "Upgrade"};
  for (const char* n : names)
    if (TestHeaders::equalsIgnoringCase(name, n)) return true;
  return headers.hasToken("Connection", name);
}

TestHeaders withoutHopByHop(const TestHeaders& headers) {
  TestHeaders out;
  for (const auto& [name, value] : headers.fields())
    if (!isHopByHop(name, headers)) out.add(name, value);
  return out;
}

}  // namespace

TestProxyServer::TestProxyServer(TestServerLimits limits) {
  listener_ = std::make_unique<LoopbackListener>(limits, [this](AcceptedConnection& c) { serve(c); });
  listener_->start();
}

TestProxyServer::~TestProxyServer() { stop(); }

void TestProxyServer::stop() { listener_->stop(); }

uint16_t TestProxyServer::port() const { return listener_->port(); }

std::string TestProxyServer::origin() const { return "http://127.0.0.1:" + std::to_string(port()); }

void TestProxyServer::requireBasicAuth(const std::string& user, const std::string& password) {
  std::lock_guard<std::mutex> lock(mutex_);
  credentials_ = Credentials{user, password};
}

void TestProxyServer::clearAuth() {
  std::lock_guard<std::mutex> lock(mutex_);
  credentials_.reset();
}

std::optional<TestProxyServer::Credentials> TestProxyServer::credentials() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return credentials_;
}

std::vector<ProxyRecord> TestProxyServer::records() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return records_;
}

size_t TestProxyServer::recordCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return records_.size();
}

bool TestProxyServer::waitForRecords(size_t n, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return recorded_.wait_for(lock, timeout, [&] { return records_.size() >= n; });
}

void TestProxyServer::clearRecords() {
  std::lock_guard<std::mutex> lock(mutex_);
  recordBase_ += records_.size();
  records_.clear();
}

uint64_t TestProxyServer::connectionCount() const { return listener_->acceptedCount(); }

size_t TestProxyServer::record(ProxyRecord record) {
  size_t index;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    index = size_t(recordBase_) + records_.size();
    records_.push_back(std::move(record));
  }
  recorded_.notify_all();
  return index;
}

void TestProxyServer::updateStatus(size_t index, int status) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (index >= recordBase_ && index - recordBase_ < records_.size()) records_[index - recordBase_].status = status;
}

void TestProxyServer::serve(AcceptedConnection& c) {
  const TestServerLimits& limits = c.limits;
  TestSocket& client = c.socket;
  WireReader reader(client);
  auto ioDeadline = [&] { return std::min(Clock::now() + limits.ioTimeout, c.deadline); };
  auto answer = [&](int status, const std::string& extraHeaders, bool close) {
    std::string text = TestResponse::reasonPhrase(status);
    std::string bytes = "HTTP/1.1 " + std::to_string(status) + " " + text + "\r\n" + extraHeaders +
                        "Content-Type: text/plain\r\nContent-Length: " + std::to_string(text.size()) + "\r\n" +
                        (close ? "Connection: close\r\n" : "") + "\r\n" + text;
    return client.writeAll(bytes, ioDeadline()) == IOStatus::Ok;
  };
  auto closeClient = [&] {
    if (!client.stopped()) client.closeGracefully();
  };

  for (unsigned index = 0;; ++index) {
    auto wait = index == 0 ? limits.ioTimeout : limits.idleTimeout;
    if (reader.waitForData(std::min(Clock::now() + wait, c.deadline)) != ReadResult::Ok) return closeClient();
    std::string headText;
    ReadResult r = reader.readHead(headText, limits.maxHeadBytes, ioDeadline());
    if (r == ReadResult::TooLarge) {
      answer(431, "", true);
      return closeClient();
    }
    if (r != ReadResult::Ok) return closeClient();
    MessageHead head;
    if (!MessageHead::parse(headText, false, head)) {
      answer(400, "", true);
      return closeClient();
    }

    ProxyRecord rec;
    rec.method = head.first;
    rec.target = head.second;
    rec.version = head.third;
    rec.headers = head.headers;
    rec.connectionId = c.id;
    rec.tunnel = rec.method == "CONNECT";
    const TestHeaders& headers = head.headers;
    const bool clientCloses = headers.hasToken("Connection", "close") ||
                              headers.hasToken("Proxy-Connection", "close") || rec.version == "HTTP/1.0";
    const bool expectsContinue = headers.hasToken("Expect", "100-continue");

    if (auto required = credentials()) {
      rec.authorized = false;
      std::string value = headers.value("Proxy-Authorization");
      if (value.size() > 6 && TestHeaders::equalsIgnoringCase(value.substr(0, 6), "Basic ")) {
        std::string_view token = std::string_view(value).substr(6);
        while (!token.empty() && token.front() == ' ') token.remove_prefix(1);
        auto decoded = TestCodec::base64Decode(token);
        rec.authorized = decoded && *decoded == required->user + ":" + required->password;
      }
    }

    // Where to: an authority for CONNECT, an absolute http URL otherwise.
    std::string pathAndQuery;
    bool understood;
    if (rec.tunnel) {
      understood = splitAuthority(rec.target, 0, rec.host, rec.port);
    } else {
      const std::string scheme = "http://";
      understood = rec.target.size() > scheme.size() &&
                   TestHeaders::equalsIgnoringCase(rec.target.substr(0, scheme.size()), scheme);
      if (understood) {
        std::string_view rest = std::string_view(rec.target).substr(scheme.size());
        size_t end = rest.find_first_of("/?#");
        understood = splitAuthority(rest.substr(0, end), 80, rec.host, rec.port);
        pathAndQuery = end == std::string_view::npos ? "/" : std::string(rest.substr(end));
        if (!pathAndQuery.empty() && pathAndQuery[0] != '/') pathAndQuery.insert(0, "/");
        pathAndQuery = pathAndQuery.substr(0, pathAndQuery.find('#'));
      }
    }
    rec.refused = understood && !isLoopbackHost(rec.host);

    // The request body, streamed to `sink` (discarded when refusing).
    auto readBody = [&](const WireReader::Sink& sink) -> ReadResult {
      if (headers.has("Transfer-Encoding")) {
        TestHeaders trailers;
        return reader.readChunked(sink, trailers, limits.maxBodyBytes, c.deadline);
      }
      if (auto length = headers.get("Content-Length")) {
        uint64_t n = 0;
        try {
          n = std::stoull(*length);
        } catch (...) {
          return ReadResult::Malformed;
        }
        return reader.readLength(n, sink, c.deadline);
      }
      return ReadResult::Ok;
    };
    const bool hasBody = headers.has("Transfer-Encoding") ||
                         (headers.has("Content-Length") && headers.value("Content-Length") != "0");
    // Refusals keep the connection when the body can be skipped; a client
    // waiting for 100 Continue has not sent it, so the connection closes.
    auto refuse = [&](int status, const std::string& extra) {
      bool close = clientCloses || (hasBody && expectsContinue);
      if (!rec.tunnel && hasBody && !expectsContinue &&
          readBody([](std::string_view, std::string_view) { return true; }) != ReadResult::Ok)
        close = true;
      rec.status = status;
      record(rec);
      if (!answer(status, extra, close) || close) return false;
      return true;
    };

    if (!understood) {
      if (!refuse(400, "")) return closeClient();
      continue;
    }
    if (!rec.authorized) {
      if (!refuse(407, "Proxy-Authenticate: Basic realm=\"tolva-test-proxy\"\r\n")) return closeClient();
      continue;
    }
    if (rec.refused) {
      if (!refuse(403, "")) return closeClient();
      continue;
    }

    std::string why;
    TestSocket upstream = TestSocket::connectLoopback(rec.port, ioDeadline(), &listener_->stopSignal(), &why);
    if (!upstream.valid()) {
      if (!refuse(502, "")) return closeClient();
      continue;
    }

    if (rec.tunnel) {
      rec.status = 200;
      record(rec);
      if (client.writeAll("HTTP/1.1 200 Connection established\r\n\r\n", ioDeadline()) != IOStatus::Ok) return;
      TestSocket::relay(client, upstream, reader.takeBuffered(), c.deadline, limits.idleTimeout);
      return;
    }

    const size_t recordIndex = record(rec);
    TestHeaders forward = withoutHopByHop(headers);
    if (expectsContinue) forward.remove("Expect");
    if (!forward.has("Host")) forward.add("Host", rec.host + ":" + std::to_string(rec.port));
    forward.add("Connection", "close");
    std::string upstreamHead = rec.method + " " + pathAndQuery + " HTTP/1.1\r\n" + forward.serialize() + "\r\n";
    if (upstream.writeAll(upstreamHead, ioDeadline()) != IOStatus::Ok) return closeClient();
    if (hasBody) {
      if (expectsContinue && client.writeAll("HTTP/1.1 100 Continue\r\n\r\n", ioDeadline()) != IOStatus::Ok) return;
      r = readBody([&](std::string_view, std::string_view raw) {
        return upstream.writeAll(raw, ioDeadline()) == IOStatus::Ok;
      });
      if (r != ReadResult::Ok) return closeClient();
    }

    WireReader upstreamReader(upstream);
    MessageHead response;
    for (;;) {
      std::string text;
      if (upstreamReader.readHead(text, 1 << 20, c.deadline) != ReadResult::Ok ||
          !MessageHead::parse(text, true, response)) {
        updateStatus(recordIndex, 502);
        answer(502, "", true);
        return closeClient();
      }
      int status = std::stoi(response.second);
      if (status / 100 != 1 || status == 101) break;  // interim answers are not passed on
    }
    const int status = std::stoi(response.second);
    updateStatus(recordIndex, status);
    const bool noBody = rec.method == "HEAD" || status / 100 == 1 || status == 204 || status == 304;
    const bool chunked = response.headers.hasToken("Transfer-Encoding", "chunked");
    const bool hasLength = response.headers.has("Content-Length");
    const bool closeDelimited = !noBody && !chunked && !hasLength;
    const bool willClose = clientCloses || closeDelimited;
    TestHeaders back = withoutHopByHop(response.headers);
    if (willClose) back.add("Connection", "close");
    std::string responseHead = response.first + " " + response.second + " " + response.third + "\r\n" +
                               back.serialize() + "\r\n";
    if (client.writeAll(responseHead, ioDeadline()) != IOStatus::Ok) return;
    auto toClient = [&](std::string_view, std::string_view raw) {
      return client.writeAll(raw, ioDeadline()) == IOStatus::Ok;
    };
    if (!noBody) {
      TestHeaders trailers;
      if (chunked) r = upstreamReader.readChunked(toClient, trailers, UINT64_MAX, c.deadline);
      else if (hasLength) {
        uint64_t n = 0;
        try {
          n = std::stoull(response.headers.value("Content-Length"));
        } catch (...) {
          return closeClient();
        }
        r = upstreamReader.readLength(n, toClient, c.deadline);
      } else {
        r = upstreamReader.readToEnd(toClient, UINT64_MAX, c.deadline);
      }
      if (r != ReadResult::Ok) return closeClient();
    }
    if (willClose) return closeClient();
  }
}

}  // namespace tolvatest
