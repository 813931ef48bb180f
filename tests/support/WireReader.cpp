#include "support/WireReader.h"

#include <algorithm>

namespace tolvatest {
namespace {

ReadResult fromIO(IOStatus s) {
  switch (s) {
    case IOStatus::Ok: return ReadResult::Ok;
    case IOStatus::Closed: return ReadResult::Closed;
    case IOStatus::TimedOut: return ReadResult::TimedOut;
    case IOStatus::Stopped: return ReadResult::Stopped;
    case IOStatus::Failed: return ReadResult::Failed;
  }
  return ReadResult::Failed;
}

bool parseHex(std::string_view text, uint64_t& out) {
  if (text.empty() || text.size() > 15) return false;
  out = 0;
  for (char c : text) {
    int v;
    if (c >= '0' && c <= '9') v = c - '0';
    else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
    else return false;
    out = out * 16 + uint64_t(v);
  }
  return true;
}

}  // namespace

const char* describe(ReadResult result) {
  switch (result) {
    case ReadResult::Ok: return "ok";
    case ReadResult::Closed: return "closed";
    case ReadResult::TimedOut: return "timed out";
    case ReadResult::Stopped: return "stopped";
    case ReadResult::Failed: return "failed";
    case ReadResult::TooLarge: return "too large";
    case ReadResult::Malformed: return "malformed";
  }
  return "?";
}

bool MessageHead::parse(std::string_view text, bool isResponse, MessageHead& out) {
  size_t lineEnd = text.find("\r\n");
  std::string_view line = text.substr(0, lineEnd);
  std::string_view rest = lineEnd == std::string_view::npos ? std::string_view() : text.substr(lineEnd + 2);
  if (line.find_first_of("\r\n") != std::string_view::npos) return false;
  size_t s1 = line.find(' ');
  if (s1 == std::string_view::npos || s1 == 0) {
    if (!isResponse) return false;
  }
  out.first = std::string(line.substr(0, s1));
  std::string_view after = s1 == std::string_view::npos ? std::string_view() : line.substr(s1 + 1);
  size_t s2 = after.find(' ');
  out.second = std::string(after.substr(0, s2));
  out.third = s2 == std::string_view::npos ? std::string() : std::string(after.substr(s2 + 1));
  if (out.first.empty() || out.second.empty()) return false;
  if (isResponse) {
    if (out.first.rfind("HTTP/", 0) != 0 || out.second.size() != 3 ||
        !std::all_of(out.second.begin(), out.second.end(), [](char c) { return c >= '0' && c <= '9'; }))
      return false;
  } else {
    if (out.third.empty() || out.third.find(' ') != std::string::npos || out.third.rfind("HTTP/", 0) != 0)
      return false;
  }
  return TestHeaders::parse(rest, out.headers);
}

WireReader::WireReader(TestSocket& socket) : socket_(socket) {}

std::string WireReader::takeBuffered() { return std::exchange(buffer_, std::string()); }

ReadResult WireReader::fill(Clock::time_point deadline) {
  char chunk[65536];
  size_t got = 0;
  IOStatus s = socket_.readSome(chunk, sizeof chunk, got, deadline);
  if (s == IOStatus::Ok) buffer_.append(chunk, got);
  return fromIO(s);
}

ReadResult WireReader::waitForData(Clock::time_point deadline) {
  if (!buffer_.empty()) return ReadResult::Ok;
  return fromIO(socket_.waitReadable(deadline));
}

ReadResult WireReader::readHead(std::string& head, size_t maxBytes, Clock::time_point deadline) {
  for (;;) {
    // Empty lines between messages are tolerated.
    size_t skip = 0;
    while (buffer_.compare(skip, 2, "\r\n") == 0) skip += 2;
    if (skip) buffer_.erase(0, skip);
    size_t end = buffer_.find("\r\n\r\n");
    if (end != std::string::npos) {
      if (end + 4 > maxBytes) return ReadResult::TooLarge;
      head = buffer_.substr(0, end);
      buffer_.erase(0, end + 4);
      return ReadResult::Ok;
    }
    if (buffer_.size() > maxBytes) return ReadResult::TooLarge;
    const bool started = !buffer_.empty();
    ReadResult r = fill(deadline);
    if (r == ReadResult::Closed && started) return ReadResult::Failed;
    if (r != ReadResult::Ok) return r;
  }
}

ReadResult WireReader::readLine(std::string& line, size_t maxBytes, Clock::time_point deadline) {
  for (;;) {
    size_t end = buffer_.find("\r\n");
    if (end != std::string::npos) {
      if (end > maxBytes) return ReadResult::TooLarge;
      line = buffer_.substr(0, end);
      buffer_.erase(0, end + 2);
      return ReadResult::Ok;
    }
    if (buffer_.size() > maxBytes) return ReadResult::TooLarge;
    ReadResult r = fill(deadline);
    if (r != ReadResult::Ok) return r;
  }
}

ReadResult WireReader::readLength(uint64_t length, const Sink& sink, Clock::time_point deadline) {
  while (length > 0) {
    if (buffer_.empty()) {
      ReadResult r = fill(deadline);
      if (r != ReadResult::Ok) return r;
    }
    size_t take = size_t(std::min<uint64_t>(length, buffer_.size()));
    std::string_view piece(buffer_.data(), take);
    if (!sink(piece, piece)) return ReadResult::Failed;
    buffer_.erase(0, take);
    length -= take;
  }
  return ReadResult::Ok;
}

ReadResult WireReader::readChunked(const Sink& sink, TestHeaders& trailers, uint64_t maxBytes,
                                   Clock::time_point deadline) {
  uint64_t total = 0;
  for (;;) {
    std::string line;
    ReadResult r = readLine(line, 4096, deadline);
    if (r != ReadResult::Ok) return r == ReadResult::Closed ? ReadResult::Failed : r;
    std::string_view size = line;
    size = size.substr(0, size.find(';'));
    while (!size.empty() && (size.back() == ' ' || size.back() == '\t')) size.remove_suffix(1);
    uint64_t n = 0;
    if (!parseHex(size, n)) return ReadResult::Malformed;
    std::string raw = line + "\r\n";
    if (n == 0) {
      std::string trailerText;
      for (;;) {
        std::string t;
        r = readLine(t, 16384, deadline);
        if (r != ReadResult::Ok) return r == ReadResult::Closed ? ReadResult::Failed : r;
        raw += t + "\r\n";
        if (t.empty()) break;
        if (trailerText.size() + t.size() > 65536) return ReadResult::TooLarge;
        if (!trailerText.empty()) trailerText += "\r\n";
        trailerText += t;
      }
      if (!TestHeaders::parse(trailerText, trailers)) return ReadResult::Malformed;
      return sink(std::string_view(), raw) ? ReadResult::Ok : ReadResult::Failed;
    }
    total += n;
    if (total > maxBytes) return ReadResult::TooLarge;
    if (!sink(std::string_view(), raw)) return ReadResult::Failed;
    r = readLength(n, sink, deadline);
    if (r != ReadResult::Ok) return r == ReadResult::Closed ? ReadResult::Failed : r;
    r = readLine(line, 2, deadline);
    if (r == ReadResult::TooLarge) return ReadResult::Malformed;
    if (r != ReadResult::Ok) return r == ReadResult::Closed ? ReadResult::Failed : r;
    if (!line.empty()) return ReadResult::Malformed;
    if (!sink(std::string_view(), "\r\n")) return ReadResult::Failed;
  }
}

ReadResult WireReader::readToEnd(const Sink& sink, uint64_t maxBytes, Clock::time_point deadline) {
  uint64_t total = 0;
  for (;;) {
    if (!buffer_.empty()) {
      total += buffer_.size();
      if (total > maxBytes) return ReadResult::TooLarge;
      if (!sink(buffer_, buffer_)) return ReadResult::Failed;
      buffer_.clear();
    }
    ReadResult r = fill(deadline);
    if (r == ReadResult::Closed) return ReadResult::Ok;
    if (r != ReadResult::Ok) return r;
  }
}

}  // namespace tolvatest
