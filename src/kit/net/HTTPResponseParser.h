#pragma once
// Reads one HTTP/1.x response off a connection's byte stream: skips interim (1xx) responses,
// parses the head, then decodes the body by its framing, handing out body bytes as they come.
//
// Framing: no body (HEAD request, 204, 304), chunked (Transfer-Encoding ending in "chunked";
// wins over Content-Length), Content-Length (decimal digits only; a list of equal values is one
// value; anything else is a protocol error), or up to the end of the connection.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "kit/foundation/Error.h"
#include "kit/net/HTTPMessage.h"

namespace kit {

class HTTPResponseParser {
 public:
  enum class Framing { Unknown, None, Length, Chunked, Close };

  explicit HTTPResponseParser(std::string_view requestMethod);

  // Feeds bytes read from the connection; decoded body bytes are appended to `body`. Answers
  // false on a protocol error (error()). Bytes after the end of the message are counted in
  // surplusBytes() and not used.
  bool feed(const char* data, size_t length, std::string& body);
  // The same, decoding in place: the body bytes among `data` are moved to its start (framing and
  // head bytes dropped) and *bodyLength says how many there are. Saves a copy per read.
  bool feedInPlace(char* data, size_t length, size_t* bodyLength);
  // The connection ended: completes a body delimited by the close, else (a message cut short) an
  // error. Answers whether the message is complete.
  bool feedEndOfStream();

  bool headerComplete() const noexcept { return head_ != nullptr; }
  // The final response's head, once complete.
  const Ref<HTTPMessage>& response() const noexcept { return head_; }
  bool messageComplete() const noexcept { return state_ == State::Done; }
  Framing framing() const noexcept { return framing_; }
  // The announced body length for Length framing, else -1.
  int64_t contentLength() const noexcept { return contentLength_; }
  // Both Transfer-Encoding and Content-Length were given: the body is read, but the connection
  // must not be reused.
  bool ambiguousFraming() const noexcept { return ambiguous_; }
  bool receivedAnyBytes() const noexcept { return received_ > 0; }
  uint64_t bytesReceived() const noexcept { return received_; }
  uint64_t surplusBytes() const noexcept { return surplus_; }
  int interimResponses() const noexcept { return interim_; }
  const std::vector<HTTPMessage::HeaderField>& trailers() const noexcept { return trailers_; }
  Error* error() const noexcept { return error_.get(); }

 private:
  enum class State { Head, Body, ChunkSize, ChunkData, ChunkDataEnd, Trailers, Done, Failed };
  template <class Sink>
  bool run(const char* data, size_t length, Sink&& sink);
  bool fail(const std::string& text);
  bool headDone(Ref<HTTPMessage> head);
  // Takes one line (without its end) out of the line buffer; false when none is complete yet.
  bool takeLine(const char*& p, const char* end, std::string& line, size_t limit, bool& tooLong);

  std::string method_;
  State state_ = State::Head;
  Framing framing_ = Framing::Unknown;
  Ref<HTTPMessage> head_;
  Ref<HTTPMessage> partial_;
  std::string line_;
  std::string headText_;
  size_t headBytes_ = 0;
  int64_t contentLength_ = -1;
  uint64_t remaining_ = 0;
  uint64_t received_ = 0;
  uint64_t surplus_ = 0;
  size_t trailerBytes_ = 0;
  int interim_ = 0;
  bool ambiguous_ = false;
  std::vector<HTTPMessage::HeaderField> trailers_;
  Ref<Error> error_;
};

}  // namespace kit
