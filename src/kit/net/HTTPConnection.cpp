#include "kit/net/HTTPConnection.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "kit/foundation/RunLoop.h"
#include "kit/net/HTTPMessage.h"
#include "kit/net/NetError.h"
#include "kit/net/TLSContext.h"

namespace kit {

namespace {

std::atomic<uint64_t> nextConnectionID{1};

bool wouldBlock(int e) { return e == EAGAIN || e == EWOULDBLOCK || e == EINTR; }

// OpenSSL's own socket BIO writes with write(2), which raises SIGPIPE on a closed connection;
// this one sends with MSG_NOSIGNAL instead.
int bioWrite(BIO* b, const char* data, int length) {
  BIO_clear_retry_flags(b);
  const int fd = static_cast<int>(reinterpret_cast<intptr_t>(BIO_get_data(b)));
  ssize_t n = ::send(fd, data, size_t(length), MSG_NOSIGNAL);
  if (n < 0 && wouldBlock(errno)) BIO_set_retry_write(b);
  return static_cast<int>(n);
}

int bioRead(BIO* b, char* data, int length) {
  BIO_clear_retry_flags(b);
  const int fd = static_cast<int>(reinterpret_cast<intptr_t>(BIO_get_data(b)));
  ssize_t n = ::recv(fd, data, size_t(length), 0);
  if (n < 0 && wouldBlock(errno)) BIO_set_retry_read(b);
  return static_cast<int>(n);
}

long bioCtrl(BIO*, int command, long, void*) { return command == BIO_CTRL_FLUSH ? 1 : 0; }

int bioCreate(BIO* b) {
  BIO_set_init(b, 1);
  return 1;
}

BIO_METHOD* socketMethod() {
  static BIO_METHOD* method = [] {
    BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "kit socket");
    BIO_meth_set_write(m, bioWrite);
    BIO_meth_set_read(m, bioRead);
    BIO_meth_set_ctrl(m, bioCtrl);
    BIO_meth_set_create(m, bioCreate);
    return m;
  }();
  return method;
}

std::string authority(const std::string& host, int port) {
  return (host.find(':') != std::string::npos ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

std::string socksReplyText(unsigned char code) {
  switch (code) {
    case 1: return "general failure";
    case 2: return "connection not allowed by the rule set";
    case 3: return "network unreachable";
    case 4: return "host unreachable";
    case 5: return "connection refused";
    case 6: return "TTL expired";
    case 7: return "command not supported";
    case 8: return "address type not supported";
    default: return "reply " + std::to_string(code);
  }
}

Ref<Error> connectError(Ref<Error> posix, const std::string& where) {
  const long e = posix ? posix->code() : 0;
  if (e == ECONNREFUSED)
    return NetError::make(NetError::kConnectionRefused, "Could not connect to " + where + ": connection refused", posix);
  return NetError::make(NetError::kConnectionFailed,
                        "Could not connect to " + where + (posix ? ": " + posix->localizedDescription() : ""), posix);
}

}  // namespace

bool HTTPConnection::Endpoint::sameDestination(const Endpoint& o) const {
  return host == o.host && port == o.port && tls == o.tls && proxy == o.proxy && proxyHost == o.proxyHost &&
         proxyPort == o.proxyPort && proxyUsername == o.proxyUsername && proxyPassword == o.proxyPassword &&
         verifyPeer == o.verifyPeer && clientIdentity.get() == o.clientIdentity.get() &&
         clientCertificateChain == o.clientCertificateChain;
}

HTTPConnection::HTTPConnection(Endpoint endpoint) : id_(nextConnectionID++), endpoint_(std::move(endpoint)) {}

HTTPConnection::~HTTPConnection() { close(); }

void HTTPConnection::close() {
  if (lookup_) lookup_->cancel();
  lookup_.reset();
  if (ssl_) SSL_free(ssl_);  // also frees the BIO; no close_notify: the socket closes right after
  ssl_ = nullptr;
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (state_ != State::Failed) state_ = State::Closed;
}

HTTPConnection::Step HTTPConnection::fail(Ref<Error> error) {
  error_ = std::move(error);
  close();
  state_ = State::Failed;
  return Step::Failed;
}

void HTTPConnection::begin(std::function<void()> wake) {
  if (state_ != State::Idle) return;
  const bool viaProxy = endpoint_.proxy != Endpoint::Proxy::None;
  const std::string& host = viaProxy ? endpoint_.proxyHost : endpoint_.host;
  const int port = viaProxy ? endpoint_.proxyPort : endpoint_.port;
  state_ = State::Resolving;
  lookup_ = HostResolver::resolve(host, port, std::move(wake));
}

bool HTTPConnection::connectNext() {
  while (nextAddress_ < addresses_.size()) {
    const HostResolver::Address& a = addresses_[nextAddress_++];
    fd_ = ::socket(a.family(), SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0) {
      lastConnectError_ = Error::posixError(errno);
      continue;
    }
    int one = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (::connect(fd_, reinterpret_cast<const sockaddr*>(&a.storage), a.length) == 0 || errno == EINPROGRESS) {
      state_ = State::Connecting;
      return true;
    }
    lastConnectError_ = Error::posixError(errno);
    ::close(fd_);
    fd_ = -1;
  }
  return false;
}

std::string HTTPConnection::tunnelRequest() const {
  const std::string target = authority(endpoint_.host, endpoint_.port);
  std::string r = "CONNECT " + target + " HTTP/1.1\r\nHost: " + target + "\r\n";
  if (!endpoint_.userAgent.empty()) r += "User-Agent: " + endpoint_.userAgent + "\r\n";
  if (!endpoint_.proxyAuthorization.empty()) r += "Proxy-Authorization: " + endpoint_.proxyAuthorization + "\r\n";
  return r + "\r\n";
}

std::string HTTPConnection::socksConnectRequest() const {
  std::string r{char(5), char(1), char(0)};
  unsigned char addr[16];
  if (inet_pton(AF_INET, endpoint_.host.c_str(), addr) == 1) {
    r += char(1);
    r.append(reinterpret_cast<char*>(addr), 4);
  } else if (inet_pton(AF_INET6, endpoint_.host.c_str(), addr) == 1) {
    r += char(4);
    r.append(reinterpret_cast<char*>(addr), 16);
  } else {
    // The proxy resolves the name, so the local resolver never learns it.
    r += char(3);
    r += char(endpoint_.host.size());
    r += endpoint_.host;
  }
  r += char((endpoint_.port >> 8) & 0xff);
  r += char(endpoint_.port & 0xff);
  return r;
}

HTTPConnection::IO HTTPConnection::flushOut() {
  while (!out_.empty()) {
    ssize_t n = ::send(fd_, out_.data(), out_.size(), MSG_NOSIGNAL);
    if (n < 0) {
      if (wouldBlock(errno)) return IO::WouldBlock;
      error_ = Error::posixError(errno);
      return IO::Failed;
    }
    out_.erase(0, size_t(n));
  }
  return IO::Done;
}

HTTPConnection::IO HTTPConnection::fillIn() {
  char buf[4096];
  ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
  if (n < 0) {
    if (wouldBlock(errno)) return IO::WouldBlock;
    error_ = Error::posixError(errno);
    return IO::Failed;
  }
  if (n == 0) return IO::End;
  in_.append(buf, size_t(n));
  return IO::Done;
}

HTTPConnection::Step HTTPConnection::afterTransport() {
  switch (endpoint_.proxy) {
    case Endpoint::Proxy::SOCKS5: {
      if (endpoint_.host.size() > 255)
        return fail(NetError::make(NetError::kProxyFailure, "The host name is too long for a SOCKS proxy"));
      const bool auth = !endpoint_.proxyUsername.empty();
      if (auth && (endpoint_.proxyUsername.size() > 255 || endpoint_.proxyPassword.size() > 255))
        return fail(NetError::make(NetError::kProxyFailure, "The SOCKS user name or password is too long"));
      out_ = auth ? std::string{char(5), char(2), char(0), char(2)} : std::string{char(5), char(1), char(0)};
      state_ = State::SocksGreeting;
      return Step::InProgress;
    }
    case Endpoint::Proxy::Tunnel:
      out_ = tunnelRequest();
      state_ = State::TunnelRequest;
      return Step::InProgress;
    default:
      if (endpoint_.tls) return startTLS();
      state_ = State::Ready;
      return Step::Ready;
  }
}

HTTPConnection::Step HTTPConnection::startTLS() {
  SSL_CTX* ctx = TLSContext::acquire();
  ssl_ = SSL_new(ctx);
  SSL_CTX_free(ctx);
  if (!ssl_) return fail(NetError::tlsFailure(TLSContext::takeErrorText()));
  BIO* bio = BIO_new(socketMethod());
  BIO_set_data(bio, reinterpret_cast<void*>(intptr_t(fd_)));
  SSL_set_bio(ssl_, bio, bio);
  SSL_set_connect_state(ssl_);
  if (endpoint_.clientIdentity && !endpoint_.clientIdentity->applyTo(ssl_, endpoint_.clientCertificateChain)) {
    return fail(NetError::tlsFailure(TLSContext::takeErrorText()));
  }
  const std::string& host = endpoint_.host;
  if (!endpoint_.verifyPeer) {
    // This request alone asked not to check the certificate; the name is still sent.
    SSL_set_verify(ssl_, SSL_VERIFY_NONE, nullptr);
    if (!HostResolver::literalAddress(host, 0)) SSL_set_tlsext_host_name(ssl_, host.c_str());
  } else if (HostResolver::literalAddress(host, 0)) {
    X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl_), host.c_str());
  } else {
    SSL_set_tlsext_host_name(ssl_, host.c_str());
    SSL_set_hostflags(ssl_, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    SSL_set1_host(ssl_, host.c_str());
  }
  state_ = State::TLSHandshake;
  return Step::InProgress;
}

Ref<Error> HTTPConnection::sslError(int rc, const std::string& during) {
  const int savedErrno = errno;
  const int err = SSL_get_error(ssl_, rc);
  if (err == SSL_ERROR_SSL) {
    const long verify = SSL_get_verify_result(ssl_);
    std::string text = TLSContext::takeErrorText();
    if (verify != X509_V_OK) {
      text = (text.empty() ? std::string("certificate verify failed") : text) + ": " +
             X509_verify_cert_error_string(verify);
    }
    if (text.empty()) text = "TLS error during " + during;
    return NetError::tlsFailure(text, verify);
  }
  ERR_clear_error();
  if (err == SSL_ERROR_SYSCALL && savedErrno) {
    if (state_ == State::TLSHandshake)
      return NetError::tlsFailure("the connection broke during the handshake: " + std::string(std::strerror(savedErrno)));
    return Error::posixError(savedErrno);
  }
  if (state_ == State::TLSHandshake) return NetError::tlsFailure("the server closed the connection during the handshake");
  return NetError::make(NetError::kConnectionLost, "The TLS connection ended during " + during);
}

HTTPConnection::Step HTTPConnection::advance() {
  for (;;) {
    switch (state_) {
      case State::Idle:
        return Step::InProgress;
      case State::Resolving: {
        if (!lookup_->done()) return Step::InProgress;
        if (Ref<Error> e = lookup_->error()) return fail(e);
        addresses_ = lookup_->addresses();
        lookup_.reset();
        if (!connectNext()) return fail(connectError(lastConnectError_, endpoint_.host));
        break;
      }
      case State::Connecting: {
        pollfd p{fd_, POLLOUT, 0};
        if (::poll(&p, 1, 0) == 0) return Step::InProgress;
        int soError = 0;
        socklen_t len = sizeof soError;
        ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &soError, &len);
        if (soError == 0 && !(p.revents & (POLLERR | POLLHUP))) {
          Step s = afterTransport();
          if (s != Step::InProgress) return s;
          break;
        }
        lastConnectError_ = Error::posixError(soError ? soError : ECONNREFUSED);
        ::close(fd_);
        fd_ = -1;
        const bool viaProxy = endpoint_.proxy != Endpoint::Proxy::None;
        if (!connectNext())
          return fail(connectError(lastConnectError_, viaProxy ? "the proxy " + endpoint_.proxyHost : endpoint_.host));
        break;
      }
      case State::SocksGreeting:
      case State::SocksAuth:
      case State::SocksConnect:
      case State::TunnelRequest: {
        IO io = flushOut();
        if (io == IO::WouldBlock) return Step::InProgress;
        if (io == IO::Failed)
          return fail(NetError::make(NetError::kProxyFailure, "The connection to the proxy broke", error_));
        state_ = state_ == State::SocksGreeting ? State::SocksMethod
                 : state_ == State::SocksAuth   ? State::SocksAuthReply
                 : state_ == State::SocksConnect ? State::SocksReply
                                                 : State::TunnelResponse;
        break;
      }
      case State::SocksMethod:
      case State::SocksAuthReply:
      case State::SocksReply:
      case State::TunnelResponse: {
        // Work on what arrived before reading more.
        size_t need = 2;
        if (state_ == State::SocksReply) {
          need = 5;
          if (in_.size() >= 5) {
            const unsigned char atyp = static_cast<unsigned char>(in_[3]);
            need = atyp == 1 ? 10 : atyp == 4 ? 22 : 7 + static_cast<unsigned char>(in_[4]);
          }
        }
        if (state_ == State::TunnelResponse) {
          size_t end = in_.find("\r\n\r\n");
          size_t endLength = 4;
          if (end == std::string::npos) {
            end = in_.find("\n\n");
            endLength = 2;
          }
          if (end != std::string::npos) {
            const std::string head = in_.substr(0, end + endLength);
            Ref<HTTPMessage> answer = HTTPMessage::responseWithHead(head);
            if (!answer)
              return fail(NetError::make(NetError::kProxyFailure, "The proxy's answer to CONNECT is not HTTP"));
            const int code = answer->statusCode();
            if (code >= 100 && code < 200) {
              in_.erase(0, head.size());
              break;
            }
            if (code >= 200 && code < 300) {
              if (in_.size() > head.size())
                return fail(NetError::make(NetError::kProxyFailure, "The proxy sent data before the TLS handshake"));
              in_.clear();
              Step s = startTLS();
              if (s != Step::InProgress) return s;
              break;
            }
            // Refused (407 and the like): the caller reads this answer as the response.
            tunnelResponse_ = std::move(in_);
            in_.clear();
            state_ = State::Ready;
            return Step::TunnelRefused;
          }
          if (in_.size() > HTTPMessage::kMaximumHeadLength)
            return fail(NetError::make(NetError::kProxyFailure, "The proxy's answer to CONNECT is too long"));
          need = in_.size() + 1;
        }
        if (in_.size() < need) {
          IO io = fillIn();
          if (io == IO::WouldBlock) return Step::InProgress;
          if (io == IO::End)
            return fail(NetError::make(NetError::kProxyFailure, "The proxy closed the connection during its handshake"));
          if (io == IO::Failed)
            return fail(NetError::make(NetError::kProxyFailure, "The connection to the proxy broke", error_));
          break;
        }
        if (state_ == State::SocksMethod) {
          const unsigned char version = static_cast<unsigned char>(in_[0]);
          const unsigned char method = static_cast<unsigned char>(in_[1]);
          in_.erase(0, 2);
          if (version != 5) return fail(NetError::make(NetError::kProxyFailure, "The proxy does not speak SOCKS5"));
          if (method == 0) {
            out_ = socksConnectRequest();
            state_ = State::SocksConnect;
          } else if (method == 2 && !endpoint_.proxyUsername.empty()) {
            out_ = std::string{char(1), char(endpoint_.proxyUsername.size())} + endpoint_.proxyUsername +
                   char(endpoint_.proxyPassword.size()) + endpoint_.proxyPassword;
            state_ = State::SocksAuth;
          } else {
            return fail(NetError::make(NetError::kProxyFailure, "The SOCKS proxy accepts none of our authentication methods"));
          }
        } else if (state_ == State::SocksAuthReply) {
          const unsigned char status = static_cast<unsigned char>(in_[1]);
          in_.erase(0, 2);
          if (status != 0)
            return fail(NetError::make(NetError::kProxyFailure, "The SOCKS proxy refused the user name or password"));
          out_ = socksConnectRequest();
          state_ = State::SocksConnect;
        } else if (state_ == State::SocksReply) {
          if (static_cast<unsigned char>(in_[0]) != 5)
            return fail(NetError::make(NetError::kProxyFailure, "The proxy does not speak SOCKS5"));
          const unsigned char reply = static_cast<unsigned char>(in_[1]);
          if (reply != 0)
            return fail(NetError::make(NetError::kProxyFailure, "The SOCKS proxy could not connect to " + endpoint_.host +
                                                                    ": " + socksReplyText(reply)));
          in_.erase(0, need);
          if (endpoint_.tls) {
            if (!in_.empty())
              return fail(NetError::make(NetError::kProxyFailure, "The proxy sent data before the TLS handshake"));
            Step s = startTLS();
            if (s != Step::InProgress) return s;
          } else {
            state_ = State::Ready;
            return Step::Ready;
          }
        }
        break;
      }
      case State::TLSHandshake: {
        ERR_clear_error();
        errno = 0;
        const int rc = SSL_do_handshake(ssl_);
        if (rc == 1) {
          state_ = State::Ready;
          return Step::Ready;
        }
        const int err = SSL_get_error(ssl_, rc);
        if (err == SSL_ERROR_WANT_READ || err == SSL_ERROR_WANT_WRITE) {
          handshakeWantsWrite_ = err == SSL_ERROR_WANT_WRITE;
          return Step::InProgress;
        }
        return fail(sslError(rc, "the handshake"));
      }
      case State::Ready:
        return Step::Ready;
      case State::Failed:
      case State::Closed:
        return Step::Failed;
    }
  }
}

unsigned HTTPConnection::wantedEvents() const {
  switch (state_) {
    case State::Connecting:
    case State::SocksGreeting:
    case State::SocksAuth:
    case State::SocksConnect:
    case State::TunnelRequest:
      return RunLoop::kWritable;
    case State::SocksMethod:
    case State::SocksAuthReply:
    case State::SocksReply:
    case State::TunnelResponse:
      return RunLoop::kReadable;
    case State::TLSHandshake:
      return handshakeWantsWrite_ ? RunLoop::kWritable : RunLoop::kReadable;
    default:
      return 0;
  }
}

unsigned HTTPConnection::extraEvents() const {
  return (readWantsWrite_ ? RunLoop::kWritable : 0u) | (writeWantsRead_ ? RunLoop::kReadable : 0u);
}

std::string HTTPConnection::takeTunnelResponse() { return std::move(tunnelResponse_); }

HTTPConnection::IO HTTPConnection::read(char* buffer, size_t length, size_t* got) {
  *got = 0;
  if (fd_ < 0) return IO::Failed;
  if (!in_.empty()) {
    *got = std::min(length, in_.size());
    std::memcpy(buffer, in_.data(), *got);
    in_.erase(0, *got);
    return IO::Done;
  }
  if (ssl_) {
    ERR_clear_error();
    errno = 0;
    const int n = SSL_read(ssl_, buffer, static_cast<int>(std::min<size_t>(length, 1 << 30)));
    readWantsWrite_ = false;
    if (n > 0) {
      *got = size_t(n);
      return IO::Done;
    }
    const int err = SSL_get_error(ssl_, n);
    if (err == SSL_ERROR_WANT_READ) return IO::WouldBlock;
    if (err == SSL_ERROR_WANT_WRITE) {
      readWantsWrite_ = true;
      return IO::WouldBlock;
    }
    if (err == SSL_ERROR_ZERO_RETURN || (err == SSL_ERROR_SYSCALL && errno == 0)) {
      ERR_clear_error();
      return IO::End;
    }
    error_ = sslError(n, "reading");
    return IO::Failed;
  }
  ssize_t n = ::recv(fd_, buffer, length, 0);
  if (n > 0) {
    *got = size_t(n);
    return IO::Done;
  }
  if (n == 0) return IO::End;
  if (wouldBlock(errno)) return IO::WouldBlock;
  error_ = Error::posixError(errno);
  return IO::Failed;
}

HTTPConnection::IO HTTPConnection::write(const char* buffer, size_t length, size_t* wrote) {
  *wrote = 0;
  if (fd_ < 0) return IO::Failed;
  if (ssl_) {
    ERR_clear_error();
    errno = 0;
    const int n = SSL_write(ssl_, buffer, static_cast<int>(std::min<size_t>(length, 1 << 30)));
    writeWantsRead_ = false;
    if (n > 0) {
      *wrote = size_t(n);
      return IO::Done;
    }
    const int err = SSL_get_error(ssl_, n);
    if (err == SSL_ERROR_WANT_WRITE) return IO::WouldBlock;
    if (err == SSL_ERROR_WANT_READ) {
      writeWantsRead_ = true;
      return IO::WouldBlock;
    }
    error_ = sslError(n, "writing");
    return IO::Failed;
  }
  ssize_t n = ::send(fd_, buffer, length, MSG_NOSIGNAL);
  if (n >= 0) {
    *wrote = size_t(n);
    return IO::Done;
  }
  if (wouldBlock(errno)) return IO::WouldBlock;
  error_ = Error::posixError(errno);
  return IO::Failed;
}

bool HTTPConnection::isIdleAndAlive() {
  if (state_ != State::Ready || fd_ < 0 || !in_.empty()) return false;
  if (ssl_) {
    // Records that are not data (session tickets) are taken in; data or a close is not expected.
    ERR_clear_error();
    char byte;
    const int n = SSL_read(ssl_, &byte, 1);
    const bool alive = n <= 0 && SSL_get_error(ssl_, n) == SSL_ERROR_WANT_READ;
    ERR_clear_error();
    return alive;
  }
  char byte;
  ssize_t n = ::recv(fd_, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
  return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
}

}  // namespace kit
