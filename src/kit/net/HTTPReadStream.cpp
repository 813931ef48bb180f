#include "kit/net/HTTPReadStream.h"

#include <cstring>
#include <deque>
#include <mutex>

#include "kit/foundation/RunLoop.h"
#include "kit/foundation/RunLoopSource.h"
#include "kit/net/ConnectionPool.h"
#include "kit/net/HTTPConnection.h"
#include "kit/net/HTTPResponseParser.h"
#include "kit/net/NetError.h"
#include "kit/net/TLSContext.h"

namespace kit {

namespace {

constexpr size_t kBodyChunk = 64 * 1024;
// The response buffer starts small (most answers are) and grows while reads fill it, up to room
// for a full buffer of unread bytes plus one large read: the socket is read straight into it.
constexpr size_t kFirstBufferSize = 16 * 1024;
constexpr size_t kLargestRead = 256 * 1024;
constexpr size_t kLargestBufferSize = HTTPReadStream::kMaximumBufferedBytes + kLargestRead;
// Rounds of reading and handing out done in one turn of the loop before it gets a turn itself.
constexpr int kRoundsPerTurn = 8;

// Lets other threads (the name look-up) signal whichever source the stream is scheduled with.
struct Waker {
  std::mutex mutex;
  Ref<RunLoopSource> source;
  void wake() {
    Ref<RunLoopSource> s;
    {
      std::lock_guard<std::mutex> g(mutex);
      s = source;
    }
    if (s) s->signal();
  }
  void set(Ref<RunLoopSource> s) {
    std::lock_guard<std::mutex> g(mutex);
    source = std::move(s);
  }
};

struct Segment {
  std::string bytes;
  size_t offset = 0;
  bool payload = false;
};

bool parseDecimal(std::string_view text, uint64_t* out) {
  if (text.empty() || text.size() > 18) return false;
  uint64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + uint64_t(c - '0');
  }
  *out = v;
  return true;
}

std::string hex(uint64_t v) {
  static const char digits[] = "0123456789abcdef";
  std::string s;
  do {
    s.insert(s.begin(), digits[v & 15]);
    v >>= 4;
  } while (v);
  return s;
}

}  // namespace

struct HTTPReadStream::State {
  bool opened = false;
  bool closed = false;
  Ref<Error> error;
  bool errorDelivered = false;
  bool openDelivered = false;
  bool endDelivered = false;

  // Scheduling
  std::shared_ptr<RunLoop> loop;
  std::string mode;
  bool scheduled = false;
  Ref<RunLoopSource> source;
  std::shared_ptr<Waker> waker = std::make_shared<Waker>();
  RunLoop::WatchId watch = 0;
  int watchedFd = -1;
  unsigned watchedEvents = 0;

  // Proxies as set
  std::string httpProxyHost, httpsProxyHost, socksHost, socksUser, socksPassword;
  bool verifyPeer = true;
  Ref<TLSIdentity> clientIdentity;
  std::vector<std::string> clientCertificateChain;
  int httpProxyPort = 0, httpsProxyPort = 0, socksPort = 0;

  // Connection
  HTTPConnection::Endpoint endpoint;
  std::unique_ptr<HTTPConnection> connection;
  uint64_t connectionID = 0;
  bool reused = false;
  bool kept = false;
  bool exchanging = false;
  bool tunnelRefused = false;

  // Request
  bool absoluteForm = false;
  bool requestSaysClose = false;
  std::string head;
  std::deque<Segment> out;
  Ref<InputStream> bodyStream;
  enum class BodyMode { None, Length, Chunked } bodyMode = BodyMode::None;
  uint64_t bodyRemaining = 0;
  bool bodyDone = true;
  uint64_t bodyWritten = 0;
  bool writeClosed = false;
  Ref<Error> writeError;

  // Response: decoded body bytes wait in buffer[offset, end).
  std::unique_ptr<HTTPResponseParser> parser;
  std::unique_ptr<char[]> buffer;
  size_t capacity = 0;
  size_t offset = 0;
  size_t end = 0;
  bool responseDone = false;
  bool bytesArmed = false;
  uint64_t bytesRead = 0;
  // Set while the stream runs its own events; a read then asks for another round instead of
  // signalling the loop.
  bool dispatching = false;
  bool again = false;

  size_t available() const { return end - offset; }
  // Room for the next read at the end of the buffer. When less than a quarter is free, unread
  // bytes move to the front and, if that is not enough, the buffer grows (the reads fill it).
  size_t prepareRead() {
    if (offset == end) offset = end = 0;
    if (buffer && capacity - end >= capacity / 4) return std::min(kLargestRead, capacity - end);
    if (offset) {
      std::memmove(buffer.get(), buffer.get() + offset, end - offset);
      end -= offset;
      offset = 0;
    }
    if ((!buffer || capacity - end < capacity / 4) && capacity < kLargestBufferSize) {
      const size_t grown = std::min(kLargestBufferSize, std::max(kFirstBufferSize, capacity * 4));
      std::unique_ptr<char[]> bigger(new char[grown]);
      if (end) std::memcpy(bigger.get(), buffer.get(), end);
      buffer = std::move(bigger);
      capacity = grown;
    }
    return std::min(kLargestRead, capacity - end);
  }
  void releaseBuffer() {
    buffer.reset();
    capacity = offset = end = 0;
  }
  bool requestSent() const { return bodyDone && out.empty(); }
};

Ref<HTTPReadStream> HTTPReadStream::streamWithRequest(Ref<HTTPMessage> request, Ref<InputStream> body) {
  return Ref<HTTPReadStream>(new HTTPReadStream(std::move(request), std::move(body)));
}

HTTPReadStream::HTTPReadStream(Ref<HTTPMessage> request, Ref<InputStream> body)
    : request_(std::move(request)), body_(std::move(body)), s_(std::make_unique<State>()) {}

HTTPReadStream::~HTTPReadStream() {
  close();
  if (s_->source) s_->source->invalidate();
}

void HTTPReadStream::setHTTPProxy(std::string host, int port) {
  s_->httpProxyHost = std::move(host);
  s_->httpProxyPort = port;
}

void HTTPReadStream::setHTTPSProxy(std::string host, int port) {
  s_->httpsProxyHost = std::move(host);
  s_->httpsProxyPort = port;
}

void HTTPReadStream::setSOCKSProxy(std::string host, int port, std::string username, std::string password) {
  s_->socksHost = std::move(host);
  s_->socksPort = port;
  s_->socksUser = std::move(username);
  s_->socksPassword = std::move(password);
}

void HTTPReadStream::setValidatesSecureCertificate(bool validates) { s_->verifyPeer = validates; }

void HTTPReadStream::setClientIdentity(Ref<TLSIdentity> identity, std::vector<std::string> chain) {
  s_->clientIdentity = std::move(identity);
  s_->clientCertificateChain = std::move(chain);
}

// ---- Opening

bool HTTPReadStream::open() {
  State& s = *s_;
  if (s.opened || s.closed) return false;
  s.opened = true;
  auto refuse = [&](NetError::Code code, const std::string& text, Ref<Error> underlying = nullptr) {
    s.error = NetError::make(code, text, std::move(underlying));
    s.errorDelivered = true;  // answered by open() itself
    return false;
  };
  URL* url = request_ && request_->isRequest() ? request_->url() : nullptr;
  if (!url || !(url->schemeIs("http") || url->schemeIs("https")) || url->host().empty())
    return refuse(NetError::kBadRequest, "The request needs an http or https URL with a host");

  const bool tls = url->schemeIs("https");
  HTTPConnection::Endpoint& ep = s.endpoint;
  ep.host = url->lowercaseHost();
  ep.port = url->port().value_or(tls ? 443 : 80);
  ep.tls = tls;
  ep.verifyPeer = s.verifyPeer;
  ep.clientIdentity = s.clientIdentity;
  ep.clientCertificateChain = s.clientCertificateChain;
  if (!s.socksHost.empty()) {
    ep.proxy = HTTPConnection::Endpoint::Proxy::SOCKS5;
    ep.proxyHost = s.socksHost;
    ep.proxyPort = s.socksPort;
    ep.proxyUsername = s.socksUser;
    ep.proxyPassword = s.socksPassword;
  } else if (tls && !s.httpsProxyHost.empty()) {
    ep.proxy = HTTPConnection::Endpoint::Proxy::Tunnel;
    ep.proxyHost = s.httpsProxyHost;
    ep.proxyPort = s.httpsProxyPort;
    ep.proxyAuthorization = request_->valueForHeaderField("Proxy-Authorization");
    ep.userAgent = request_->valueForHeaderField("User-Agent");
  } else if (!tls && !s.httpProxyHost.empty()) {
    ep.proxy = HTTPConnection::Endpoint::Proxy::HTTP;
    ep.proxyHost = s.httpProxyHost;
    ep.proxyPort = s.httpProxyPort;
    s.absoluteForm = true;
  }

  Ref<HTTPMessage> head = request_->copyMessage();
  head->setBody(nullptr);
  // Proxy credentials go to an HTTP proxy only, never to the server (nor through a tunnel).
  if (!s.absoluteForm) head->removeHeaderField("Proxy-Authorization");
  if (!head->hasHeaderField("Connection")) {
    if (!persistent_) head->setHeaderField("Connection", "close");
    else if (head->isVersion1_0()) head->setHeaderField("Connection", "keep-alive");
  }
  s.requestSaysClose = head->hasHeaderToken("Connection", "close");

  // Body framing.
  Ref<InputStream> body = body_;
  if (!body && request_->body() && request_->body()->length()) {
    body = InputStream::inputStreamWithData(Ref<Data>(request_->body()));
    if (!head->hasHeaderField("Content-Length") && !head->hasHeaderField("Transfer-Encoding"))
      head->setHeaderField("Content-Length", std::to_string(request_->body()->length()));
  }
  if (body && body->streamStatus() == Status::NotOpen && !body->open())
    return refuse(NetError::kBodyStreamFailure, "The request body cannot be read", body->streamError());
  if (body) {
    if (head->hasHeaderField("Content-Length")) {
      uint64_t n;
      if (!parseDecimal(head->valueForHeaderField("Content-Length"), &n))
        return refuse(NetError::kBadRequest, "The request's Content-Length is not a decimal number");
      s.bodyMode = State::BodyMode::Length;
      s.bodyRemaining = n;
      head->removeHeaderField("Transfer-Encoding");
    } else if (!head->isVersion1_0()) {
      head->setHeaderField("Transfer-Encoding", "chunked");
      s.bodyMode = State::BodyMode::Chunked;
    } else {
      // HTTP/1.0 has no chunks: measure the body first.
      auto all = MutableData::data();
      uint8_t chunk[kBodyChunk];
      for (;;) {
        long n = body->read(chunk, sizeof chunk);
        if (n < 0) return refuse(NetError::kBodyStreamFailure, "The request body cannot be read", body->streamError());
        if (n == 0) break;
        all->appendBytes(chunk, size_t(n));
      }
      body->close();
      head->setHeaderField("Content-Length", std::to_string(all->length()));
      body = InputStream::inputStreamWithData(all);
      body->open();
      s.bodyMode = State::BodyMode::Length;
      s.bodyRemaining = all->length();
    }
    s.bodyStream = body;
    s.bodyDone = false;
  } else if (!head->hasHeaderField("Content-Length") && !head->hasHeaderField("Transfer-Encoding") &&
             (head->method() == "POST" || head->method() == "PUT" || head->method() == "PATCH")) {
    head->setHeaderField("Content-Length", "0");
  }
  s.head = head->serializedRequestHead(s.absoluteForm);

  if (streamID_ != 0) {
    if (auto taken = ConnectionPool::shared().checkOut(streamID_, ep)) {
      s.connection = std::move(taken);
      s.connectionID = s.connection->id();
      s.reused = true;
      startExchange();
      wake();
      return true;
    }
  }
  s.connection = std::make_unique<HTTPConnection>(ep);
  s.connectionID = s.connection->id();
  s.connection->begin([waker = s.waker] { waker->wake(); });
  wake();
  return true;
}

void HTTPReadStream::startExchange() {
  State& s = *s_;
  s.exchanging = true;
  s.parser = std::make_unique<HTTPResponseParser>(s.tunnelRefused ? "CONNECT" : request_->method());
  if (s.tunnelRefused) {
    // Nothing goes to the server; the proxy's refusal is the response.
    s.writeClosed = true;
    s.out.clear();
    s.bodyDone = true;
    std::string answer = s.connection->takeTunnelResponse();
    std::string body;
    if (!s.parser->feed(answer.data(), answer.size(), body)) return fail(s.parser->error());
    if (!body.empty()) {
      s.buffer.reset(new char[body.size()]);
      s.capacity = s.end = body.size();
      s.offset = 0;
      std::memcpy(s.buffer.get(), body.data(), body.size());
      s.bytesArmed = true;
    }
    if (s.parser->messageComplete()) responseFinished();
    return;
  }
  s.out.push_back({std::move(s.head), 0, false});
  s.head.clear();
}

// ---- Driving

void HTTPReadStream::wake() {
  if (s_->scheduled && s_->source) s_->source->signal();
}

void HTTPReadStream::onSignal() { onEvent(); }

void HTTPReadStream::onFd(unsigned) { onEvent(); }

void HTTPReadStream::onEvent() {
  Ref<HTTPReadStream> self(this);
  State& s = *s_;
  // A client that reads everything while called lets the next read from the socket follow at
  // once, without a trip through the loop; after a few rounds the loop gets its turn.
  for (int round = 0;; ++round) {
    s.again = false;
    s.dispatching = true;
    advance();
    // After the last event the client may hand the stream to another thread (a pool of kept
    // connections): from then on nothing here touches it.
    if (deliver()) return;
    s.dispatching = false;
    if (!s.again || s.closed || !s.scheduled) break;
    if (round + 1 == kRoundsPerTurn) {
      wake();
      break;
    }
  }
  updateWatch();
}

void HTTPReadStream::advance() {
  State& s = *s_;
  if (s.closed || !s.scheduled || s.error) return;
  if (s.connection && !s.exchanging) {
    switch (s.connection->advance()) {
      case HTTPConnection::Step::InProgress:
        return;
      case HTTPConnection::Step::Failed:
        fail(s.connection->error());
        return;
      case HTTPConnection::Step::TunnelRefused:
        s.tunnelRefused = true;
        startExchange();
        break;
      case HTTPConnection::Step::Ready:
        startExchange();
        break;
    }
  }
  if (!s.exchanging || s.error || s.closed) return;
  const bool wasSending = !s.requestSent();
  writeRequest();
  if (s.error || s.closed) return;
  // A request sent only now has no answer yet: reading at once would only hear that it would
  // block, so the socket's readiness says when to read.
  if (wasSending && s.requestSent() && !s.parser->receivedAnyBytes() && !s.connection->mayHaveMoreToRead()) return;
  readResponse();
}

void HTTPReadStream::writeRequest() {
  State& s = *s_;
  while (!s.writeClosed && !s.responseDone && s.connection) {
    if (s.out.empty()) {
      if (s.bodyDone) break;
      // Fill from the body stream, one piece at a time to keep memory bounded.
      size_t want = kBodyChunk;
      if (s.bodyMode == State::BodyMode::Length) {
        if (s.bodyRemaining == 0) {
          s.bodyDone = true;
          s.bodyStream->close();
          break;
        }
        want = size_t(std::min<uint64_t>(want, s.bodyRemaining));
      }
      std::string piece(want, '\0');
      long n = s.bodyStream->read(reinterpret_cast<uint8_t*>(piece.data()), want);
      if (n < 0)
        return fail(NetError::make(NetError::kBodyStreamFailure, "The request body could not be read",
                                   s.bodyStream->streamError()));
      if (n == 0) {
        if (s.bodyMode == State::BodyMode::Length)
          return fail(NetError::make(NetError::kBodyStreamFailure,
                                     "The request body ended " + std::to_string(s.bodyRemaining) +
                                         " bytes before its Content-Length"));
        s.out.push_back({"0\r\n\r\n", 0, false});
        s.bodyDone = true;
        s.bodyStream->close();
        continue;
      }
      piece.resize(size_t(n));
      if (s.bodyMode == State::BodyMode::Chunked) {
        s.out.push_back({hex(uint64_t(n)) + "\r\n", 0, false});
        s.out.push_back({std::move(piece), 0, true});
        s.out.push_back({"\r\n", 0, false});
      } else {
        s.bodyRemaining -= uint64_t(n);
        s.out.push_back({std::move(piece), 0, true});
      }
      continue;
    }
    Segment& seg = s.out.front();
    size_t wrote = 0;
    HTTPConnection::IO io = s.connection->write(seg.bytes.data() + seg.offset, seg.bytes.size() - seg.offset, &wrote);
    if (io == HTTPConnection::IO::WouldBlock) break;
    if (io != HTTPConnection::IO::Done) {
      // The server may still have answered (and closed); the read side decides.
      s.writeError = s.connection->error();
      s.writeClosed = true;
      break;
    }
    seg.offset += wrote;
    if (seg.payload) s.bodyWritten += wrote;
    if (seg.offset == seg.bytes.size()) s.out.pop_front();
  }
}

void HTTPReadStream::readResponse() {
  State& s = *s_;
  while (!s.responseDone && s.connection && s.available() < kMaximumBufferedBytes) {
    char* into = nullptr;
    size_t room = 0;
    if (bodyRoom_ && s.available() == 0 && s.parser->headerComplete()) into = bodyRoom_(&room);
    const bool toClient = into && room;
    if (!toClient) {
      room = s.prepareRead();
      into = s.buffer.get() + s.end;
    }
    size_t got = 0;
    HTTPConnection::IO io = s.connection->read(into, room, &got);
    if (io == HTTPConnection::IO::WouldBlock) break;
    const bool nothingYet = !s.parser->receivedAnyBytes();
    if (io == HTTPConnection::IO::Done) {
      size_t body = 0;
      if (!s.parser->feedInPlace(into, got, &body)) return fail(s.parser->error());
      if (toClient) {
        s.bytesRead += body;
        if (body) bodyFilled_(body);
        // The client may have given up on the stream meanwhile.
        if (s.closed || s.error || !s.connection) return;
      } else {
        s.end += body;
        if (body) s.bytesArmed = true;
      }
      if (s.parser->messageComplete()) {
        responseFinished();
        break;
      }
      // A short read emptied the socket: asking again would only hear that it would block.
      if (got < room && !s.connection->mayHaveMoreToRead()) break;
      continue;
    }
    if (nothingYet && s.reused) {
      Ref<Error> cause = io == HTTPConnection::IO::Failed ? s.connection->error() : s.writeError.get();
      return fail(NetError::make(NetError::kDeadReusedConnection,
                                 "The server closed the reused connection before answering", cause));
    }
    if (io == HTTPConnection::IO::End) {
      if (!s.parser->feedEndOfStream())
        return fail(NetError::make(NetError::kConnectionLost, s.parser->error()->localizedDescription(),
                                   s.writeError));
      responseFinished();
      break;
    }
    Ref<Error> cause = s.connection->error();
    if (NetError::isTLSFailure(cause)) return fail(cause);
    return fail(NetError::make(NetError::kConnectionLost, "The connection broke while reading the response", cause));
  }
}

void HTTPReadStream::responseFinished() {
  State& s = *s_;
  s.responseDone = true;
  const HTTPMessage* response = s.parser->response().get();
  bool keep = persistent_ && streamID_ != 0 && !s.tunnelRefused && s.connection && s.connection->isReady() &&
              s.parser->framing() != HTTPResponseParser::Framing::Close && !s.parser->ambiguousFraming() &&
              s.parser->surplusBytes() == 0 && s.requestSent() && !s.writeError && !s.requestSaysClose;
  if (keep && response) {
    if (response->hasHeaderToken("Connection", "close")) keep = false;
    if (response->isVersion1_0() && !response->hasHeaderToken("Connection", "keep-alive")) keep = false;
  }
  releaseConnection(keep);
  if (s.bodyStream && !s.bodyDone) s.bodyStream->close();
  s.bodyDone = true;
  s.out.clear();
}

void HTTPReadStream::releaseConnection(bool keep) {
  State& s = *s_;
  dropWatch();
  if (!s.connection) return;
  if (keep) {
    ConnectionPool::shared().checkIn(streamID_, std::move(s.connection), this);
    s.kept = true;
  } else {
    s.connection->close();
  }
  s.connection.reset();
}

void HTTPReadStream::fail(Ref<Error> error) {
  State& s = *s_;
  if (s.error || s.closed) return;
  s.error = error ? std::move(error) : NetError::make(NetError::kConnectionLost, "The exchange failed");
  releaseConnection(false);
  if (s.bodyStream && !s.bodyDone) s.bodyStream->close();
  s.bodyDone = true;
  s.out.clear();
  wake();
}

bool HTTPReadStream::deliver() {
  State& s = *s_;
  if (s.closed || !s.scheduled || !client_) return false;
  Ref<HTTPReadStream> self(this);
  Client client = client_;  // the client may replace itself while called
  // Bytes that arrived before a failure are handed out first.
  const bool headerComplete = s.parser && s.parser->headerComplete();
  if (s.error && !(headerComplete && s.available() && s.bytesArmed)) {
    if (s.errorDelivered) return false;
    s.errorDelivered = true;
    if (clientEvents_ & kEventErrorOccurred) client(*this, kEventErrorOccurred);
    return true;
  }
  if (s.exchanging && !s.openDelivered) {
    s.openDelivered = true;
    if (clientEvents_ & kEventOpenCompleted) {
      client(*this, kEventOpenCompleted);
      if (s.closed || !s.scheduled || s.error) return false;
    }
  }
  if (!s.parser || !s.parser->headerComplete()) return false;
  if (s.available() && s.bytesArmed) {
    s.bytesArmed = false;
    if (clientEvents_ & kEventHasBytesAvailable) client(*this, kEventHasBytesAvailable);
    if (s.error) wake();  // the error follows once the client had its bytes
    return false;
  }
  if (s.responseDone && !s.available() && !s.endDelivered) {
    s.endDelivered = true;
    if (clientEvents_ & kEventEndEncountered) client(*this, kEventEndEncountered);
    return true;
  }
  return false;
}

void HTTPReadStream::updateWatch() {
  State& s = *s_;
  HTTPConnection* c = s.connection.get();
  if (!s.scheduled || s.closed || !c || c->fd() < 0) return dropWatch();
  unsigned events;
  if (!s.exchanging) {
    events = c->wantedEvents();
  } else {
    events = c->extraEvents();
    if (!s.responseDone && s.available() < kMaximumBufferedBytes) events |= RunLoop::kReadable;
    if (!s.writeClosed && !s.responseDone && !s.requestSent()) events |= RunLoop::kWritable;
  }
  if (s.watch && s.watchedFd == c->fd()) {
    if (events != s.watchedEvents) s.loop->setWatchEvents(s.watch, events);
    s.watchedEvents = events;
    return;
  }
  dropWatch();
  WeakRef<HTTPReadStream> weak(this);
  s.watch = s.loop->watchFd(
      c->fd(), events,
      [weak](int, unsigned ev) {
        if (auto stream = weak.lock()) stream->onFd(ev);
      },
      s.mode);
  s.watchedFd = c->fd();
  s.watchedEvents = events;
}

void HTTPReadStream::dropWatch() {
  State& s = *s_;
  if (!s.watch) return;
  if (s.loop) s.loop->removeWatch(s.watch);
  s.watch = 0;
  s.watchedFd = -1;
  s.watchedEvents = 0;
}

// ---- Client side

bool HTTPReadStream::setClient(unsigned events, Client client) {
  InputStream::setClient(events, std::move(client));
  wake();
  return true;
}

void HTTPReadStream::scheduleInRunLoop(RunLoop& loop, const std::string& mode) {
  State& s = *s_;
  if (s.closed) return;
  if (s.scheduled && s.loop.get() == &loop && s.mode == mode) return;
  if (s.scheduled) unscheduleFromRunLoop(*s.loop, s.mode);
  if (!s.source || s.loop.get() != &loop) {
    if (s.source) s.source->invalidate();
    WeakRef<HTTPReadStream> weak(this);
    s.source = make<RunLoopSource>([weak] {
      if (auto stream = weak.lock()) stream->onSignal();
    });
    s.waker->set(s.source);
  }
  s.loop = loop.shared_from_this();
  s.mode = mode;
  s.scheduled = true;
  loop.addSource(s.source, mode);
  // Whatever happened while away (a finished look-up, bytes left unread) is looked at again.
  s.bytesArmed = s.bytesArmed || s.available() > 0;
  s.source->signal();
}

void HTTPReadStream::unscheduleFromRunLoop(RunLoop& loop, const std::string& mode) {
  State& s = *s_;
  if (!s.scheduled || s.loop.get() != &loop || s.mode != mode) return;
  dropWatch();
  loop.removeSource(s.source, mode);
  s.scheduled = false;
}

bool HTTPReadStream::isScheduled() const noexcept { return s_->scheduled; }

long HTTPReadStream::read(uint8_t* buffer, size_t maxLength) {
  State& s = *s_;
  if (s.closed || (s.error && !s.available())) return -1;
  const size_t n = std::min(maxLength, s.available());
  if (n) std::memcpy(buffer, s.buffer.get() + s.offset, n);
  take(n);
  return static_cast<long>(n);
}

void HTTPReadStream::setBodySink(BodyRoom room, BodyFilled filled) {
  if (!room || !filled) room = nullptr, filled = nullptr;
  bodyRoom_ = std::move(room);
  bodyFilled_ = std::move(filled);
}

std::string_view HTTPReadStream::peekBytes() const {
  const State& s = *s_;
  if (s.closed || !s.available()) return {};
  return std::string_view(s.buffer.get() + s.offset, s.available());
}

size_t HTTPReadStream::skipBytes(size_t length) {
  State& s = *s_;
  if (s.closed) return 0;
  const size_t n = std::min(length, s.available());
  take(n);
  return n;
}

void HTTPReadStream::take(size_t n) {
  State& s = *s_;
  const bool wasFull = s.available() >= kMaximumBufferedBytes;
  s.offset += n;
  s.bytesRead += n;
  if (s.offset == s.end) {
    s.offset = s.end = 0;
    if (s.responseDone) s.releaseBuffer();
  }
  if (s.available()) s.bytesArmed = true;
  if (n && (s.available() || (wasFull && !s.responseDone) || s.responseDone)) {
    // Called back from this stream's own events, the next round follows without the loop.
    if (s.dispatching) s.again = true;
    else wake();
  }
}

bool HTTPReadStream::hasBytesAvailable() const { return !s_->closed && s_->available() > 0; }

InputStream::Status HTTPReadStream::streamStatus() const {
  const State& s = *s_;
  if (s.closed) return Status::Closed;
  if (s.error) return Status::Error;
  if (!s.opened) return Status::NotOpen;
  if (s.responseDone && !s.available()) return Status::AtEnd;
  return s.exchanging ? Status::Open : Status::Opening;
}

Ref<Error> HTTPReadStream::streamError() const { return s_->error; }

void HTTPReadStream::close() {
  State& s = *s_;
  if (s.closed) return;
  s.closed = true;
  dropWatch();
  if (s.scheduled) {
    s.loop->removeSource(s.source, s.mode);
    s.scheduled = false;
  }
  s.waker->set(nullptr);
  if (s.connection) s.connection->close();
  s.connection.reset();
  if (s.kept) ConnectionPool::shared().withdraw(streamID_, this);
  if (s.bodyStream && !s.bodyDone) s.bodyStream->close();
  s.bodyDone = true;
  s.out.clear();
}

// ---- Response and connection facts

Ref<HTTPMessage> HTTPReadStream::responseHeader() const {
  return s_->parser && s_->parser->headerComplete() ? s_->parser->response() : nullptr;
}

bool HTTPReadStream::isResponseHeaderComplete() const { return s_->parser && s_->parser->headerComplete(); }

std::vector<HTTPMessage::HeaderField> HTTPReadStream::responseTrailers() const {
  return s_->parser && s_->responseDone ? s_->parser->trailers() : std::vector<HTTPMessage::HeaderField>{};
}

uint64_t HTTPReadStream::requestBytesWritten() const { return s_->bodyWritten; }
uint64_t HTTPReadStream::bytesRead() const { return s_->bytesRead; }
uint64_t HTTPReadStream::connectionID() const { return s_->connectionID; }
bool HTTPReadStream::isReusedConnection() const { return s_->reused; }
bool HTTPReadStream::connectionKeptForReuse() const { return s_->kept; }

bool HTTPReadStream::addTrustedCertificate(std::string_view pem, Ref<Error>* error) {
  return TLSContext::addTrustedCertificate(pem, error);
}

void HTTPReadStream::removeTrustedCertificates() { TLSContext::removeTrustedCertificates(); }

void HTTPReadStream::closeIdleConnections() { ConnectionPool::shared().closeAll(); }

}  // namespace kit
