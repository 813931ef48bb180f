#include "kit/net/HTTPResponseParser.h"

#include <cstring>

#include "kit/net/NetError.h"

namespace kit {

namespace {

constexpr size_t kMaximumChunkLine = 4096;
constexpr size_t kMaximumTrailers = 64 * 1024;

std::string_view trimmed(std::string_view s) noexcept {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// A Content-Length value: decimal digits only ("010" is ten), at most 2^62.
bool parseLength(std::string_view text, int64_t* out) {
  if (text.empty() || text.size() > 18) return false;
  int64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  *out = v;
  return true;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool equalsLower(std::string_view a, std::string_view lower) {
  if (a.size() != lower.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char c = a[i];
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    if (c != lower[i]) return false;
  }
  return true;
}

}  // namespace

HTTPResponseParser::HTTPResponseParser(std::string_view requestMethod) : method_(requestMethod) {}

bool HTTPResponseParser::fail(const std::string& text) {
  state_ = State::Failed;
  error_ = NetError::make(NetError::kProtocolError, text);
  return false;
}

bool HTTPResponseParser::takeLine(const char*& p, const char* end, std::string& line, size_t limit, bool& tooLong) {
  const void* nl = std::memchr(p, '\n', size_t(end - p));
  if (!nl) {
    line_.append(p, size_t(end - p));
    p = end;
    tooLong = line_.size() > limit;
    return false;
  }
  const char* n = static_cast<const char*>(nl);
  line_.append(p, size_t(n - p));
  p = n + 1;
  if (!line_.empty() && line_.back() == '\r') line_.pop_back();
  tooLong = line_.size() > limit;
  line = std::move(line_);
  line_.clear();
  return true;
}

bool HTTPResponseParser::headDone(Ref<HTTPMessage> head) {
  head_ = std::move(head);
  const int code = head_->statusCode();
  if (equalsLower(method_, "head") || code == 204 || code == 304) {
    framing_ = Framing::None;
    state_ = State::Done;
    return true;
  }
  if (head_->hasHeaderField("Transfer-Encoding")) {
    std::string te = head_->valueForHeaderField("Transfer-Encoding");
    size_t comma = te.rfind(',');
    std::string_view last = trimmed(comma == std::string::npos ? std::string_view(te) : std::string_view(te).substr(comma + 1));
    ambiguous_ = head_->hasHeaderField("Content-Length");
    if (equalsLower(last, "chunked")) {
      framing_ = Framing::Chunked;
      state_ = State::ChunkSize;
    } else {
      framing_ = Framing::Close;
      state_ = State::Body;
    }
    return true;
  }
  if (head_->hasHeaderField("Content-Length")) {
    int64_t length = -1;
    for (const std::string& value : head_->headerFieldValues("Content-Length")) {
      std::string_view v = value;
      for (;;) {
        size_t comma = v.find(',');
        int64_t n;
        if (!parseLength(trimmed(v.substr(0, comma)), &n))
          return fail("The response's Content-Length \"" + value.substr(0, 40) + "\" is not a decimal number");
        if (length >= 0 && n != length) return fail("The response gives two different Content-Length values");
        length = n;
        if (comma == std::string_view::npos) break;
        v.remove_prefix(comma + 1);
      }
    }
    framing_ = Framing::Length;
    contentLength_ = length;
    remaining_ = uint64_t(length);
    state_ = remaining_ ? State::Body : State::Done;
    return true;
  }
  framing_ = Framing::Close;
  state_ = State::Body;
  return true;
}

bool HTTPResponseParser::feed(const char* data, size_t length, std::string& body) {
  return run(data, length, [&](const char* p, size_t n) { body.append(p, n); });
}

bool HTTPResponseParser::feedInPlace(char* data, size_t length, size_t* bodyLength) {
  char* out = data;
  // Body bytes only ever move towards the start: `out` never passes the bytes still to read.
  const bool ok = run(data, length, [&](const char* p, size_t n) {
    if (out != p) std::memmove(out, p, n);
    out += n;
  });
  *bodyLength = size_t(out - data);
  return ok;
}

template <class Sink>
bool HTTPResponseParser::run(const char* data, size_t length, Sink&& sink) {
  if (state_ == State::Failed) return false;
  received_ += length;
  const char* p = data;
  const char* end = data + length;
  while (p < end) {
    switch (state_) {
      case State::Head: {
        std::string line;
        bool tooLong = false;
        if (!takeLine(p, end, line, HTTPMessage::kMaximumHeadLength, tooLong)) {
          if (tooLong || headBytes_ + line_.size() > HTTPMessage::kMaximumHeadLength)
            return fail("The response header is too long");
          break;
        }
        if (tooLong) return fail("The response header is too long");
        if (line.empty()) {
          if (headText_.empty()) break;  // empty lines before a status line
          Ref<Error> error;
          Ref<HTTPMessage> head = HTTPMessage::responseWithHead(headText_, &error);
          headText_.clear();
          headBytes_ = 0;
          if (!head) {
            state_ = State::Failed;
            error_ = error;
            return false;
          }
          if (head->statusCode() == 101) return fail("The server switched protocols without being asked to");
          if (head->statusCode() < 200) {
            ++interim_;
            break;
          }
          if (!headDone(std::move(head))) return false;
          break;
        }
        headText_ += line;
        headText_ += "\r\n";
        headBytes_ += line.size() + 2;
        if (headBytes_ > HTTPMessage::kMaximumHeadLength) return fail("The response header is too long");
        break;
      }
      case State::Body: {
        size_t n = size_t(end - p);
        if (framing_ == Framing::Length && remaining_ < n) n = size_t(remaining_);
        sink(p, n);
        p += n;
        if (framing_ == Framing::Length) {
          remaining_ -= n;
          if (!remaining_) state_ = State::Done;
        }
        break;
      }
      case State::ChunkSize: {
        std::string line;
        bool tooLong = false;
        bool got = takeLine(p, end, line, kMaximumChunkLine, tooLong);
        if (tooLong) return fail("A chunk-size line of the response is too long");
        if (!got) break;
        std::string_view v = line;
        size_t stop = v.find(';');
        v = trimmed(v.substr(0, stop));
        if (v.empty()) return fail("The response's chunk size is missing");
        while (v.size() > 1 && v.front() == '0') v.remove_prefix(1);
        if (v.size() > 15) return fail("The response's chunk size is too large");
        uint64_t size = 0;
        for (char c : v) {
          int d = hexDigit(c);
          if (d < 0) return fail("The response's chunk size is not hexadecimal");
          size = size * 16 + uint64_t(d);
        }
        if (size == 0) {
          state_ = State::Trailers;
        } else {
          remaining_ = size;
          state_ = State::ChunkData;
        }
        break;
      }
      case State::ChunkData: {
        size_t n = size_t(end - p);
        if (remaining_ < n) n = size_t(remaining_);
        sink(p, n);
        p += n;
        remaining_ -= n;
        if (!remaining_) state_ = State::ChunkDataEnd;
        break;
      }
      case State::ChunkDataEnd: {
        std::string line;
        bool tooLong = false;
        bool got = takeLine(p, end, line, 2, tooLong);
        if (tooLong || (got && !line.empty())) return fail("A chunk of the response is longer than its size");
        if (got) state_ = State::ChunkSize;
        break;
      }
      case State::Trailers: {
        std::string line;
        bool tooLong = false;
        bool got = takeLine(p, end, line, kMaximumTrailers, tooLong);
        if (tooLong) return fail("The response's trailer is too long");
        if (!got) break;
        if (line.empty()) {
          state_ = State::Done;
          break;
        }
        trailerBytes_ += line.size();
        if (trailerBytes_ > kMaximumTrailers) return fail("The response's trailer is too long");
        size_t colon = line.find(':');
        if (colon != std::string::npos && HTTPMessage::isToken(std::string_view(line).substr(0, colon)))
          trailers_.push_back({line.substr(0, colon), std::string(trimmed(std::string_view(line).substr(colon + 1)))});
        break;
      }
      case State::Done:
        surplus_ += uint64_t(end - p);
        p = end;
        break;
      case State::Failed:
        return false;
    }
  }
  return true;
}

bool HTTPResponseParser::feedEndOfStream() {
  if (state_ == State::Done) return true;
  if (state_ == State::Failed) return false;
  if (state_ == State::Body && framing_ == Framing::Close) {
    state_ = State::Done;
    return true;
  }
  state_ = State::Failed;
  error_ = NetError::make(NetError::kConnectionLost, head_ ? "The connection closed before the response's body ended"
                                                           : "The connection closed before a complete response arrived");
  return false;
}

}  // namespace kit
