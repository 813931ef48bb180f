#pragma once
// One client connection: a non-blocking TCP socket to a host (through an HTTP CONNECT tunnel or
// a SOCKS5 proxy when asked), with TLS on top for https. Used by HTTPReadStream and kept for
// reuse by ConnectionPool; used by one thread at a time.
//
// Establishing is a step machine the owner drives from its run loop: begin() starts the name
// look-up (its end calls `wake` on another thread), advance() does what can be done without
// blocking, wantedEvents() tells which fd events to wait for before the next advance().

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <openssl/types.h>

#include "kit/foundation/Error.h"
#include "kit/net/HostResolver.h"

#include "kit/net/TLSIdentity.h"

namespace kit {

class HTTPConnection {
 public:
  struct Endpoint {
    enum class Proxy { None, HTTP, Tunnel, SOCKS5 };
    std::string host;  // lower case, without IPv6 brackets
    int port = 0;
    bool tls = false;
    Proxy proxy = Proxy::None;
    std::string proxyHost;
    int proxyPort = 0;
    std::string proxyUsername;  // SOCKS5
    std::string proxyPassword;  // SOCKS5
    // Sent with CONNECT only; not part of the destination.
    std::string proxyAuthorization;
    std::string userAgent;
    // False only for a request that asked to skip certificate checks; such a connection is
    // never shared with one that checks.
    bool verifyPeer = true;
    // Offered when the server asks for a client certificate.
    Ref<TLSIdentity> clientIdentity;
    // Sent after the identity's certificate (see TLSIdentity::applyTo).
    std::vector<std::string> clientCertificateChain;
    // Whether a connection made for `other` may carry this endpoint's requests.
    bool sameDestination(const Endpoint& other) const;
  };
  enum class Step { InProgress, Ready, Failed, TunnelRefused };
  enum class IO { Done, WouldBlock, End, Failed };

  explicit HTTPConnection(Endpoint endpoint);
  ~HTTPConnection();
  HTTPConnection(const HTTPConnection&) = delete;
  HTTPConnection& operator=(const HTTPConnection&) = delete;

  // Process-wide number, 1 for the first connection.
  uint64_t id() const noexcept { return id_; }
  const Endpoint& endpoint() const noexcept { return endpoint_; }
  int fd() const noexcept { return fd_; }
  bool isReady() const noexcept { return state_ == State::Ready; }

  // ---- Establishing
  void begin(std::function<void()> wake);
  Step advance();
  // RunLoop::kReadable / kWritable to wait for while establishing.
  unsigned wantedEvents() const;
  Error* error() const noexcept { return error_.get(); }
  // After TunnelRefused: the proxy's answer as received so far; the connection then reads plain.
  std::string takeTunnelResponse();

  // ---- Exchanging (once Ready)
  IO read(char* buffer, size_t length, size_t* got);
  IO write(const char* buffer, size_t length, size_t* wrote);
  // Whether a read that came back short may still leave bytes to read at once (TLS hands out one
  // record per read; bytes taken in while establishing are handed out before the socket's).
  bool mayHaveMoreToRead() const noexcept { return ssl_ != nullptr || !in_.empty(); }
  // Events a TLS read or write waits for on top of the owner's own wishes.
  unsigned extraEvents() const;
  // An idle kept-alive connection is usable when nothing arrived on it meanwhile (the server
  // neither closed it nor sent anything).
  bool isIdleAndAlive();
  void close();

 private:
  enum class State { Idle, Resolving, Connecting, SocksGreeting, SocksMethod, SocksAuth, SocksAuthReply,
                     SocksConnect, SocksReply, TunnelRequest, TunnelResponse, TLSHandshake, Ready, Failed, Closed };
  Step fail(Ref<Error> error);
  bool connectNext();
  Step afterTransport();
  Step startTLS();
  IO flushOut();
  IO fillIn();
  std::string socksConnectRequest() const;
  std::string tunnelRequest() const;
  Ref<Error> sslError(int rc, const std::string& during);

  const uint64_t id_;
  Endpoint endpoint_;
  State state_ = State::Idle;
  std::shared_ptr<HostResolver::Lookup> lookup_;
  std::vector<HostResolver::Address> addresses_;
  size_t nextAddress_ = 0;
  Ref<Error> lastConnectError_;
  int fd_ = -1;
  SSL* ssl_ = nullptr;
  std::string out_;
  std::string in_;
  std::string tunnelResponse_;
  bool handshakeWantsWrite_ = false;
  bool readWantsWrite_ = false;
  bool writeWantsRead_ = false;
  Ref<Error> error_;
};

}  // namespace kit
