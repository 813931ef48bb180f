#pragma once
// Buffered reading of HTTP/1.x messages from a TestSocket: heads, bodies by
// length, chunked or up to the end of the stream. Bytes read past a message
// stay buffered for the next one, so pipelined requests are safe.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "support/TestHeaders.h"
#include "support/TestSocket.h"

namespace tolvatest {

enum class ReadResult { Ok, Closed, TimedOut, Stopped, Failed, TooLarge, Malformed };
const char* describe(ReadResult result);

// A request or status line split at its first two spaces, plus the fields.
struct MessageHead {
  std::string first;   // method, or version in a response
  std::string second;  // target, or status code
  std::string third;   // version, or reason phrase
  TestHeaders headers;

  // Splits "A B C\r\nheaders..." (without the blank line). The third part of a
  // status line may be empty or hold spaces.
  static bool parse(std::string_view text, bool isResponse, MessageHead& out);
};

class WireReader {
 public:
  using Clock = TestSocket::Clock;
  // Receives body bytes. `raw` is the exact wire text consumed (chunk sizes
  // and CRLFs included), `data` the decoded payload part of it. Returning
  // false stops reading with Failed.
  using Sink = std::function<bool(std::string_view data, std::string_view raw)>;

  explicit WireReader(TestSocket& socket);

  TestSocket& socket() { return socket_; }
  // Bytes read but not yet consumed.
  const std::string& buffered() const { return buffer_; }
  std::string takeBuffered();

  // Ok when a byte is buffered or the socket is readable.
  ReadResult waitForData(Clock::time_point deadline);
  // Reads up to the blank line and returns the head without it. Closed means
  // the stream ended cleanly before a single byte of a new message.
  ReadResult readHead(std::string& head, size_t maxBytes, Clock::time_point deadline);
  ReadResult readLength(uint64_t length, const Sink& sink, Clock::time_point deadline);
  // Decodes a chunked body, trailers included; maxBytes bounds the payload.
  ReadResult readChunked(const Sink& sink, TestHeaders& trailers, uint64_t maxBytes, Clock::time_point deadline);
  ReadResult readToEnd(const Sink& sink, uint64_t maxBytes, Clock::time_point deadline);

 private:
  ReadResult fill(Clock::time_point deadline);
  ReadResult readLine(std::string& line, size_t maxBytes, Clock::time_point deadline);

  TestSocket& socket_;
  std::string buffer_;
};

}  // namespace tolvatest
