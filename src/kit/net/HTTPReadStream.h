#pragma once
// The low-level HTTP/1.x exchange: one request sent, one response read, over a connection this
// stream makes (or reuses), driven by a kit::RunLoop.
//
// Use (all on the thread of the loop it is scheduled on):
//   auto s = HTTPReadStream::streamWithRequest(message, bodyStream);   // body may be null
//   s->setStreamID(7); s->setShouldAttemptPersistentConnection(true);   // optional properties
//   s->setClient(kEventHasBytesAvailable | kEventErrorOccurred | kEventEndEncountered, callback);
//   s->scheduleInRunLoop(loop, "PrivateMode");
//   s->open();
// The client is called on the loop, in the scheduled mode only: bytes-available once the response
// header is complete and body bytes wait (read them with read(), or use them in place with
// peekBytes() and skipBytes(); it is called again while bytes remain after a read), end-of-stream
// once the whole body was read, error once when the exchange failed (streamError()). No call
// comes after close(), and none while unscheduled; nothing moves on the socket while unscheduled
// either, so unscheduling holds a transfer back.
//
// Connection: the URL's host is resolved on a helper thread (one slow lookup never stalls the
// loop), every address is tried in turn (IPv6 and IPv4, interleaved), sockets are non-blocking
// and watched by the loop. https uses TLS with SNI; the server's certificate chain and host name
// are verified, against the system's CA store plus the certificates given to
// addTrustedCertificate(), unless this one stream was told not to (setValidatesSecureCertificate);
// nothing turns verification off for the process.
//
// Proxies: an HTTP proxy (setHTTPProxy) carries http URLs, sent in absolute form; an HTTPS proxy
// (setHTTPSProxy) carries https URLs through a CONNECT tunnel, to which a "Proxy-Authorization"
// field of the message is sent (and not to the server behind it); a SOCKS5 proxy (setSOCKSProxy,
// without or with user name and password) carries both and wins over the others. A proxy's
// non-2xx answer to CONNECT is handed over as the response (a 407 with its challenge, say).
//
// Request framing: a message body (HTTPMessage::body) or a body stream is sent with the
// message's "Content-Length" when it has one (a body stream ending early is an error), else
// chunked (HTTP/1.1) or measured first (HTTP/1.0). A "Host" field is added when missing.
//
// Response framing: Content-Length (decimal digits only; "010" is ten; an invalid value or two
// different ones are a protocol error), chunked (trailers are read and kept), or up to the close
// of the connection. 1xx responses are skipped. HEAD requests and 204/304 responses have no body.
//
// Connection sharing: streams given the same stream id (setStreamID, not 0) share connections.
// When this stream's response was read completely, persistent connections are attempted, the
// server did not say "Connection: close" (an HTTP/1.0 response must say "keep-alive") and nothing
// else forbids it, the connection is kept for the next stream opened with the same id and the same
// destination; that stream takes it over. Until then it stays this stream's: closing this stream
// closes it. A server closing a reused connection before the first byte of the response gives
// NetError::kDeadReusedConnection, so that the caller can send again on a new connection.
//
// Time-outs are the caller's: close() stops the stream at once, whatever it waits for.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "kit/net/HTTPMessage.h"
#include "kit/net/InputStream.h"

#include "kit/net/TLSIdentity.h"

namespace kit {

class HTTPReadStream : public InputStream {
 public:
  // Bytes kept for the client before reading from the socket pauses.
  static constexpr size_t kMaximumBufferedBytes = 256 * 1024;

  // A stream for a request message, optionally with a body stream (read synchronously; short
  // reads are fine, 0 ends it). The message's head is taken as it is at open().
  static Ref<HTTPReadStream> streamWithRequest(Ref<HTTPMessage> request, Ref<InputStream> body = nullptr);
  ~HTTPReadStream() override;

  // ---- Properties (set before open())
  // Proxy for http URLs; an empty host removes it.
  void setHTTPProxy(std::string host, int port);
  // Proxy for https URLs (CONNECT); an empty host removes it.
  void setHTTPSProxy(std::string host, int port);
  // false skips the certificate checks for this stream only (its connection is never shared
  // with a checking stream).
  void setValidatesSecureCertificate(bool validates);
  // Offered when a server asks for a client certificate, its certificate followed by `chain`
  // (see TLSIdentity::applyTo).
  void setClientIdentity(Ref<TLSIdentity> identity, std::vector<std::string> chain = {});
  // SOCKS5 proxy for every URL; user name and password are sent when a user name is given.
  void setSOCKSProxy(std::string host, int port, std::string username = {}, std::string password = {});
  // Whether the connection may be kept for reuse (default false). Off, the request says
  // "Connection: close" unless it names a "Connection" itself.
  void setShouldAttemptPersistentConnection(bool attempt) { persistent_ = attempt; }
  bool shouldAttemptPersistentConnection() const noexcept { return persistent_; }
  // The sharing key; 0 (the default) shares nothing.
  void setStreamID(int64_t id) { streamID_ = id; }
  int64_t streamID() const noexcept { return streamID_; }

  // ---- InputStream
  // Starts the exchange. False (streamError() set, no client call) when the request cannot be
  // sent at all (bad URL, header that cannot be written) or the stream was opened before.
  bool open() override;
  void close() override;
  long read(uint8_t* buffer, size_t maxLength) override;
  // The body bytes read() would hand out next, without copying them; empty when none wait. The
  // view stays valid until the next call on this stream or the next turn of its loop.
  std::string_view peekBytes() const;
  // Takes up to `length` of those bytes as read() would, without copying; answers how many.
  size_t skipBytes(size_t length);
  // The body read straight into the client's memory: once the head is in and nothing waits in
  // the stream's buffer, each read from the connection goes into the room `room` answers (its
  // length through the pointer; null keeps the stream's own buffer) and is decoded there, and
  // `filled` hears how many body bytes landed. Those bytes are the client's at once: no
  // bytes-available event comes for them, only the end. Empty functions end it.
  using BodyRoom = std::function<char*(size_t* length)>;
  using BodyFilled = std::function<void(size_t length)>;
  void setBodySink(BodyRoom room, BodyFilled filled);
  bool hasBytesAvailable() const override;
  Status streamStatus() const override;
  Ref<Error> streamError() const override;
  bool setClient(unsigned events, Client client) override;
  // One loop and mode at a time: scheduling again elsewhere moves the stream.
  void scheduleInRunLoop(RunLoop& loop, const std::string& mode) override;
  void unscheduleFromRunLoop(RunLoop& loop, const std::string& mode) override;
  bool isScheduled() const noexcept;

  // ---- Response
  HTTPMessage* request() const noexcept { return request_.get(); }
  // The response head once complete (it does not change afterwards), else null.
  Ref<HTTPMessage> responseHeader() const;
  bool isResponseHeaderComplete() const;
  // Trailer fields of a chunked response, once the body ended.
  std::vector<HTTPMessage::HeaderField> responseTrailers() const;
  // Body bytes of the request written to the connection so far (without chunk framing).
  uint64_t requestBytesWritten() const;
  // Body bytes of the response handed out by read() so far.
  uint64_t bytesRead() const;

  // ---- Connection (mostly for tests)
  // A process-wide number of the connection the stream used (1, 2, ...); 0 before it has one.
  uint64_t connectionID() const;
  // Whether the connection was taken over from an earlier stream.
  bool isReusedConnection() const;
  // Whether, once complete, the connection was kept for the next stream with this id.
  bool connectionKeptForReuse() const;

  // ---- Trust (process-wide, thread-safe)
  // Adds every certificate of a PEM text as a trusted root for TLS. False (and `error`) when
  // the text holds no certificate or one that does not parse.
  static bool addTrustedCertificate(std::string_view pem, Ref<Error>* error = nullptr);
  // Forgets the certificates added; the system store stays.
  static void removeTrustedCertificates();
  // Closes every connection kept for reuse that no stream took yet.
  static void closeIdleConnections();

  std::string className() const override { return "HTTPReadStream"; }

 private:
  BodyRoom bodyRoom_;
  BodyFilled bodyFilled_;
  struct State;
  HTTPReadStream(Ref<HTTPMessage> request, Ref<InputStream> body);
  void wake();
  void onSignal();
  void onFd(unsigned events);
  void onEvent();
  void advance();
  void establish(unsigned events);
  void startExchange();
  void writeRequest();
  void readResponse();
  void responseFinished();
  void fail(Ref<Error> error);
  // Calls the client with what is due; true when that was the last event (end or error).
  bool deliver();
  void take(size_t n);
  void updateWatch();
  void dropWatch();
  void releaseConnection(bool keep);

  Ref<HTTPMessage> request_;
  Ref<InputStream> body_;
  int64_t streamID_ = 0;
  bool persistent_ = false;
  std::unique_ptr<State> s_;
};

}  // namespace kit
