#pragma once
// What a loopback HTTP server answers: status, headers, body, framing, coding
// and misbehaviour (stalls, trickles, early closes). Fluent setters:
//   TestResponse::ok("hello").gzip().chunked({3, 5}).setCookie("a=b")

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/TestBodySource.h"
#include "support/TestCodec.h"
#include "support/TestHeaders.h"

namespace tolvatest {

enum class Framing {
  ContentLength,   // HTTP/1.1 with Content-Length
  Chunked,         // HTTP/1.1 with Transfer-Encoding: chunked
  CloseDelimited,  // HTTP/1.1, no length, Connection: close, ends at close
  HTTP10,          // "HTTP/1.0" status line with Content-Length, then close
};

struct TestResponse {
  static constexpr std::chrono::milliseconds untilStop{-1};

  struct Stall {
    enum class At { BeforeHead, AfterHead, AfterBodyBytes };
    At at = At::AfterHead;
    uint64_t afterBodyBytes = 0;
    // How long nothing is sent; untilStop waits for stop() (or the
    // connection's lifetime). Sending resumes afterwards.
    std::chrono::milliseconds duration{0};
  };
  struct Trickle {
    size_t bytes = 1;
    std::chrono::milliseconds interval{10};
    bool includeHead = false;
  };

  int status = 200;
  std::string reason;  // empty: the usual phrase for the status
  // Sent as given. The server adds Content-Length, Transfer-Encoding,
  // Content-Encoding and Connection as the framing and coding need, except
  // where a field of that name is already here (to send wrong ones on purpose).
  TestHeaders headers;
  std::string body;
  // When set, the body comes from here and `body` is ignored.
  std::shared_ptr<const TestBodySource> source;
  Framing framing = Framing::ContentLength;
  // Chunk sizes in order, the last one repeating; empty: one chunk per piece
  // produced (the whole of a small body).
  std::vector<size_t> chunkSizes;
  TestHeaders trailers;  // sent after the last chunk
  ContentCoding coding = ContentCoding::Identity;
  std::optional<Stall> stall;
  std::optional<Trickle> trickle;
  bool closeConnection = false;  // "Connection: close", then close
  bool dropConnection = false;   // close without answering
  bool resetConnection = false;  // reset without answering
  // Closes once this many body bytes (as coded, without chunk framing) are sent.
  std::optional<uint64_t> abortAfterBodyBytes;
  // Sent verbatim instead of everything above; the connection then closes
  // unless rawKeepAlive.
  std::optional<std::string> raw;
  bool rawKeepAlive = false;

  static TestResponse ok(std::string body = std::string(), std::string contentType = "text/plain");
  static TestResponse withStatus(int status, std::string body = std::string());
  static TestResponse html(std::string body);
  static TestResponse redirect(int status, std::string location);
  static TestResponse generated(std::shared_ptr<const TestBodySource> source,
                                std::string contentType = "application/octet-stream");
  static TestResponse rawBytes(std::string bytes, bool keepAlive = false);
  static TestResponse drop();
  static TestResponse resetNow();

  TestResponse& header(std::string name, std::string value);
  TestResponse& contentType(std::string value);
  TestResponse& setCookie(std::string cookie);
  TestResponse& withReason(std::string text);
  TestResponse& chunked(std::vector<size_t> sizes = {});
  TestResponse& closeDelimited();
  TestResponse& http10();
  TestResponse& gzip();
  TestResponse& deflate();
  TestResponse& trailer(std::string name, std::string value);
  TestResponse& stallBeforeHead(std::chrono::milliseconds duration);
  TestResponse& stallAfterHead(std::chrono::milliseconds duration);
  TestResponse& stallAfterBody(uint64_t bytes, std::chrono::milliseconds duration);
  TestResponse& trickleBy(size_t bytes, std::chrono::milliseconds interval, bool includeHead = false);
  TestResponse& close();
  TestResponse& abortAfter(uint64_t bodyBytes);

  static const char* reasonPhrase(int status);
};

}  // namespace tolvatest
