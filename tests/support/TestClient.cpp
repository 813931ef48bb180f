#include "support/TestClient.h"

#include "support/TestCodec.h"
#include "support/TestTLSContext.h"

namespace tolvatest {

std::string ParsedResponse::decodedBody() const {
  std::string coding = headers.value("Content-Encoding");
  if (coding.empty() || TestHeaders::equalsIgnoringCase(coding, "identity")) return body;
  std::optional<std::string> decoded;
  if (TestHeaders::equalsIgnoringCase(coding, "gzip")) decoded = TestCodec::gunzip(body);
  else if (TestHeaders::equalsIgnoringCase(coding, "deflate")) decoded = TestCodec::inflate(body);
  return decoded.value_or(std::string());
}

TestClient::TestClient(uint16_t port, TestClientOptions options) : options_(std::move(options)), port_(port) {
  std::string why;
  socket_ = TestSocket::connectLoopback(port, deadline(), nullptr, &why);
  if (!socket_.valid()) {
    error_ = why.empty() ? "connect failed" : why;
    return;
  }
  reader_ = std::make_unique<WireReader>(socket_);
  if (options_.tls) startTLS();
}

TestClient::~TestClient() = default;

TestSocket::Clock::time_point TestClient::deadline() const { return TestSocket::Clock::now() + options_.timeout; }

bool TestClient::startTLS() {
  if (!socket_.valid()) return false;
  std::shared_ptr<SSL_CTX> context;
  try {
    context = TestTLSContext::client(options_.trustedPEM);
  } catch (const std::exception& e) {
    error_ = e.what();
    return false;
  }
  std::string why;
  if (!socket_.connectTLS(context.get(), options_.serverName, options_.verifyHost, deadline(), &why)) {
    error_ = why.empty() ? "TLS handshake failed" : why;
    return false;
  }
  return true;
}

bool TestClient::send(std::string_view bytes) {
  return socket_.valid() && socket_.writeAll(bytes, deadline()) == IOStatus::Ok;
}

bool TestClient::sendRequest(const std::string& method, const std::string& path, const TestHeaders& headers,
                             const std::string& body) {
  TestHeaders all = headers;
  if (!all.has("Host")) all.add("Host", "127.0.0.1:" + std::to_string(port_));
  if (!body.empty() && !all.has("Content-Length") && !all.has("Transfer-Encoding"))
    all.add("Content-Length", std::to_string(body.size()));
  return send(method + " " + path + " HTTP/1.1\r\n" + all.serialize() + "\r\n" + body);
}

std::string TestClient::readSome() {
  if (!reader_) return std::string();
  if (!reader_->buffered().empty()) return reader_->takeBuffered();
  char buffer[65536];
  size_t got = 0;
  if (socket_.readSome(buffer, sizeof buffer, got, deadline()) != IOStatus::Ok) return std::string();
  return std::string(buffer, got);
}

std::string TestClient::readExactly(size_t n) {
  std::string out;
  if (!reader_) return out;
  auto until = deadline();
  reader_->readLength(n, [&](std::string_view data, std::string_view) {
    out.append(data);
    return true;
  }, until);
  if (out.size() < n) out += reader_->takeBuffered();
  return out;
}

std::string TestClient::readAll() {
  std::string out;
  if (!reader_) return out;
  reader_->readToEnd([&](std::string_view data, std::string_view) {
    out.append(data);
    return true;
  }, UINT64_MAX, deadline());
  return out;
}

ParsedResponse TestClient::readResponse(bool headRequest, bool keepInterim) {
  ParsedResponse response;
  if (!reader_) {
    response.error = "not connected";
    return response;
  }
  const auto until = deadline();
  for (;;) {
    std::string headText;
    ReadResult r = reader_->readHead(headText, 1 << 20, until);
    if (r != ReadResult::Ok) {
      response.error = std::string("reading the head: ") + describe(r);
      return response;
    }
    MessageHead head;
    if (!MessageHead::parse(headText, true, head)) {
      response.error = "malformed head: " + headText.substr(0, 200);
      return response;
    }
    response.version = head.first;
    response.status = std::stoi(head.second);
    response.reason = head.third;
    response.headers = head.headers;
    if (response.status / 100 == 1 && response.status != 101 && !keepInterim) continue;
    break;
  }
  auto sink = [&](std::string_view data, std::string_view) {
    response.body.append(data);
    return true;
  };
  const int status = response.status;
  if (headRequest || status / 100 == 1 || status == 204 || status == 304) {
    response.ok = true;
    return response;
  }
  ReadResult r;
  if (response.headers.hasToken("Transfer-Encoding", "chunked")) {
    response.chunked = true;
    r = reader_->readChunked(sink, response.trailers, UINT64_MAX, until);
  } else if (auto length = response.headers.get("Content-Length")) {
    uint64_t n = 0;
    try {
      n = std::stoull(*length);
    } catch (...) {
      response.error = "bad Content-Length " + *length;
      return response;
    }
    r = reader_->readLength(n, sink, until);
    if (r == ReadResult::Closed) {
      response.error = "closed after " + std::to_string(response.body.size()) + " of " + *length + " bytes";
      return response;
    }
  } else {
    response.closeDelimited = true;
    r = reader_->readToEnd(sink, UINT64_MAX, until);
  }
  if (r != ReadResult::Ok) {
    response.error = std::string("reading the body: ") + describe(r);
    return response;
  }
  response.ok = true;
  return response;
}

bool TestClient::waitForClose() {
  if (!reader_) return true;
  if (!reader_->buffered().empty()) return false;
  char buffer[4096];
  size_t got = 0;
  IOStatus s = socket_.readSome(buffer, sizeof buffer, got, deadline());
  return s == IOStatus::Closed || s == IOStatus::Failed;
}

void TestClient::close() { socket_.close(); }

ParsedResponse TestClient::get(uint16_t port, const std::string& path, TestClientOptions options,
                               const TestHeaders& headers) {
  TestClient client(port, std::move(options));
  if (!client.connected()) {
    ParsedResponse failed;
    failed.error = client.error();
    return failed;
  }
  TestHeaders all = headers;
  if (!all.has("Connection")) all.add("Connection", "close");
  if (!client.sendRequest("GET", path, all)) {
    ParsedResponse failed;
    failed.error = "send failed";
    return failed;
  }
  return client.readResponse();
}

}  // namespace tolvatest
