#pragma once
// A tiny blocking client for tests that only need to poke a loopback server:
// send raw bytes, read raw bytes or one parsed response. Every wait is bounded
// by the time-out.
//
//   TestClient client(server.port());
//   client.send("GET / HTTP/1.1\r\nHost: x\r\n\r\n");
//   ParsedResponse r = client.readResponse();

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "support/TestHeaders.h"
#include "support/TestSocket.h"
#include "support/WireReader.h"

namespace tolvatest {

struct TestClientOptions {
  bool tls = false;
  std::string trustedPEM{};  // empty: the shared test CA
  std::string serverName = "localhost";  // SNI and the name checked
  bool verifyHost = true;
  std::chrono::milliseconds timeout{10000};
};

struct ParsedResponse {
  bool ok = false;      // a whole response was read
  std::string error;    // why not
  std::string version;
  int status = 0;
  std::string reason;
  TestHeaders headers;
  std::string body;     // without chunk framing; content coding kept
  TestHeaders trailers;
  bool chunked = false;
  bool closeDelimited = false;

  // The body with its Content-Encoding undone (gzip, deflate); "" if broken.
  std::string decodedBody() const;
};

class TestClient {
 public:
  // Connects (and with options.tls, completes the handshake); see connected().
  explicit TestClient(uint16_t port, TestClientOptions options = {});
  ~TestClient();
  TestClient(const TestClient&) = delete;
  TestClient& operator=(const TestClient&) = delete;

  bool connected() const { return socket_.valid() && error_.empty(); }
  const std::string& error() const { return error_; }
  TestSocket& socket() { return socket_; }

  // Starts TLS on the open connection (e.g. through a CONNECT tunnel) with
  // the options' trust and name.
  bool startTLS();

  bool send(std::string_view bytes);
  // Sends "METHOD path HTTP/1.1" with Host and the given headers, and a
  // Content-Length for a non-empty body.
  bool sendRequest(const std::string& method, const std::string& path, const TestHeaders& headers = {},
                   const std::string& body = std::string());

  // What one read returns ("" on end of stream or time-out).
  std::string readSome();
  // Up to n bytes; fewer only if the stream ends or the time runs out.
  std::string readExactly(size_t n);
  // Everything until the peer closes (or the time-out).
  std::string readAll();
  // One response; interim 1xx responses are skipped unless keepInterim.
  ParsedResponse readResponse(bool headRequest = false, bool keepInterim = false);
  // True if the peer closes (end of stream or reset) within the time-out
  // and without sending anything more.
  bool waitForClose();
  void close();

  // One-shot GET with "Connection: close".
  static ParsedResponse get(uint16_t port, const std::string& path, TestClientOptions options = {},
                            const TestHeaders& headers = {});

 private:
  TestSocket::Clock::time_point deadline() const;

  TestClientOptions options_;
  uint16_t port_ = 0;
  TestSocket socket_;
  std::unique_ptr<WireReader> reader_;
  std::string error_;
};

}  // namespace tolvatest
