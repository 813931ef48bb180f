#include "support/TestSocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <utility>

#include "support/StopSignal.h"

namespace tolvatest {
namespace {

using Clock = TestSocket::Clock;
thread_local bool sigpipeBlocked = false;

// OpenSSL writes with write(2), which raises SIGPIPE on a closed peer. The
// signal is blocked around the call and a SIGPIPE it caused is taken back, so
// the process keeps its own disposition (a client under test must cope).
class SigpipeGuard {
 public:
  SigpipeGuard() {
    if (sigpipeBlocked) return;
    active_ = true;
    sigemptyset(&set_);
    sigaddset(&set_, SIGPIPE);
    sigset_t pending;
    sigpending(&pending);
    wasPending_ = sigismember(&pending, SIGPIPE) == 1;
    pthread_sigmask(SIG_BLOCK, &set_, &old_);
  }
  ~SigpipeGuard() {
    if (!active_) return;
    if (!wasPending_) {
      sigset_t pending;
      sigpending(&pending);
      if (sigismember(&pending, SIGPIPE) == 1) {
        timespec zero{0, 0};
        sigtimedwait(&set_, nullptr, &zero);
      }
    }
    pthread_sigmask(SIG_SETMASK, &old_, nullptr);
  }

 private:
  bool active_ = false;
  bool wasPending_ = false;
  sigset_t set_{};
  sigset_t old_{};
};

int pollMilliseconds(Clock::time_point deadline) {
  auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return int(std::clamp<long long>(left, 0, 60000));
}

std::string opensslError(const char* what) {
  std::string text = what;
  unsigned long e;
  while ((e = ERR_get_error()) != 0) {
    char buf[256];
    ERR_error_string_n(e, buf, sizeof buf);
    text += ": ";
    text += buf;
  }
  return text;
}

void setNoDelay(int fd) {
  int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

bool isIPLiteral(const std::string& name) {
  in_addr v4;
  in6_addr v6;
  return inet_pton(AF_INET, name.c_str(), &v4) == 1 || inet_pton(AF_INET6, name.c_str(), &v6) == 1;
}

}  // namespace

const char* describe(IOStatus status) {
  switch (status) {
    case IOStatus::Ok: return "ok";
    case IOStatus::Closed: return "closed";
    case IOStatus::TimedOut: return "timed out";
    case IOStatus::Stopped: return "stopped";
    case IOStatus::Failed: return "failed";
  }
  return "?";
}

TestSocket::TestSocket(int fd, const StopSignal* stop) : fd_(fd), stop_(stop) {
  int flags = ::fcntl(fd_, F_GETFL);
  ::fcntl(fd_, F_SETFL, flags | O_NONBLOCK);
  setNoDelay(fd_);
}

TestSocket::~TestSocket() { close(); }

TestSocket::TestSocket(TestSocket&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), ssl_(std::exchange(other.ssl_, nullptr)), stop_(other.stop_) {}

TestSocket& TestSocket::operator=(TestSocket&& other) noexcept {
  if (this != &other) {
    close();
    fd_ = std::exchange(other.fd_, -1);
    ssl_ = std::exchange(other.ssl_, nullptr);
    stop_ = other.stop_;
  }
  return *this;
}

void TestSocket::blockSigpipeOnThisThread() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  sigpipeBlocked = true;
}

TestSocket TestSocket::connectLoopback(uint16_t port, Clock::time_point deadline, const StopSignal* stop,
                                       std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return TestSocket();
  };
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return fail(std::string("socket: ") + std::strerror(errno));
  TestSocket socket(fd, stop);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    if (errno != EINPROGRESS) return fail(std::string("connect: ") + std::strerror(errno));
    IOStatus s = socket.waitFor(POLLOUT, deadline);
    if (s != IOStatus::Ok) return fail(std::string("connect: ") + describe(s));
    int soError = 0;
    socklen_t length = sizeof soError;
    ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &length);
    if (soError != 0) return fail(std::string("connect: ") + std::strerror(soError));
  }
  return socket;
}

uint16_t TestSocket::localPort() const {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  if (fd_ < 0 || ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
  return ntohs(address.sin_port);
}

bool TestSocket::stopped() const { return stop_ && stop_->fired(); }

IOStatus TestSocket::waitFor(short events, Clock::time_point deadline) {
  for (;;) {
    if (stopped()) return IOStatus::Stopped;
    if (Clock::now() >= deadline) return IOStatus::TimedOut;
    pollfd p[2] = {{fd_, events, 0}, {stop_ ? stop_->fd() : -1, POLLIN, 0}};
    int r = ::poll(p, stop_ ? 2 : 1, pollMilliseconds(deadline));
    if (r < 0) {
      if (errno == EINTR) continue;
      return IOStatus::Failed;
    }
    if (stop_ && p[1].revents) return IOStatus::Stopped;
    if (p[0].revents) return IOStatus::Ok;
  }
}

bool TestSocket::pauseUntil(Clock::time_point until) const {
  if (!stop_) {
    for (;;) {
      int ms = pollMilliseconds(until);
      if (ms <= 0) return true;
      ::poll(nullptr, 0, ms);
    }
  }
  return !stop_->waitUntil(until);
}

IOStatus TestSocket::waitReadable(Clock::time_point deadline) {
  if (fd_ < 0) return IOStatus::Failed;
  if (ssl_ && SSL_pending(ssl_) > 0) return IOStatus::Ok;
  return waitFor(POLLIN, deadline);
}

bool TestSocket::acceptTLS(SSL_CTX* context, Clock::time_point deadline, std::string* error) {
  ssl_ = SSL_new(context);
  if (!ssl_ || SSL_set_fd(ssl_, fd_) != 1) {
    if (error) *error = opensslError("SSL_new");
    SSL_free(ssl_);
    ssl_ = nullptr;
    return false;
  }
  SSL_set_mode(ssl_, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
  SSL_set_accept_state(ssl_);
  for (;;) {
    ERR_clear_error();
    int r;
    {
      SigpipeGuard guard;
      r = SSL_do_handshake(ssl_);
    }
    if (r == 1) return true;
    int e = SSL_get_error(ssl_, r);
    IOStatus s = IOStatus::Failed;
    if (e == SSL_ERROR_WANT_READ) s = waitFor(POLLIN, deadline);
    else if (e == SSL_ERROR_WANT_WRITE) s = waitFor(POLLOUT, deadline);
    if (s != IOStatus::Ok) {
      if (error) *error = s == IOStatus::Failed ? opensslError("TLS handshake") : describe(s);
      SSL_free(ssl_);
      ssl_ = nullptr;
      return false;
    }
  }
}

bool TestSocket::connectTLS(SSL_CTX* context, const std::string& serverName, bool verifyHost,
                            Clock::time_point deadline, std::string* error) {
  ssl_ = SSL_new(context);
  if (!ssl_ || SSL_set_fd(ssl_, fd_) != 1) {
    if (error) *error = opensslError("SSL_new");
    SSL_free(ssl_);
    ssl_ = nullptr;
    return false;
  }
  SSL_set_mode(ssl_, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
  const bool ip = isIPLiteral(serverName);
  if (!serverName.empty() && !ip) SSL_set_tlsext_host_name(ssl_, serverName.c_str());
  if (verifyHost && !serverName.empty()) {
    if (ip) X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl_), serverName.c_str());
    else SSL_set1_host(ssl_, serverName.c_str());
  }
  SSL_set_connect_state(ssl_);
  for (;;) {
    ERR_clear_error();
    int r;
    {
      SigpipeGuard guard;
      r = SSL_do_handshake(ssl_);
    }
    if (r == 1) return true;
    int e = SSL_get_error(ssl_, r);
    IOStatus s = IOStatus::Failed;
    if (e == SSL_ERROR_WANT_READ) s = waitFor(POLLIN, deadline);
    else if (e == SSL_ERROR_WANT_WRITE) s = waitFor(POLLOUT, deadline);
    if (s != IOStatus::Ok) {
      if (error) {
        long verify = SSL_get_verify_result(ssl_);
        *error = s != IOStatus::Failed ? describe(s)
                 : verify != X509_V_OK ? std::string("certificate verify failed: ") +
                                             X509_verify_cert_error_string(verify)
                                       : opensslError("TLS handshake");
      }
      SSL_free(ssl_);
      ssl_ = nullptr;
      return false;
    }
  }
}

std::string TestSocket::tlsServerName() const {
  if (!ssl_) return std::string();
  const char* name = SSL_get_servername(ssl_, TLSEXT_NAMETYPE_host_name);
  return name ? name : "";
}

std::vector<std::string> TestSocket::tlsPeerCertificateNames() const {
  std::vector<std::string> names;
  if (!ssl_) return names;
  auto add = [&](X509* certificate) {
    char name[256] = {0};
    X509_NAME_get_text_by_NID(X509_get_subject_name(certificate), NID_commonName, name, sizeof name);
    names.emplace_back(name);
  };
  // A server's view of the chain leaves out the client's own certificate.
  if (X509* own = SSL_get0_peer_certificate(ssl_)) add(own);
  if (STACK_OF(X509)* chain = SSL_get_peer_cert_chain(ssl_))
    for (int i = 0; i < sk_X509_num(chain); ++i) add(sk_X509_value(chain, i));
  return names;
}

IOStatus TestSocket::readSome(char* buffer, size_t capacity, size_t& got, Clock::time_point deadline) {
  got = 0;
  if (fd_ < 0) return IOStatus::Failed;
  if (stopped()) return IOStatus::Stopped;
  for (;;) {
    if (ssl_) {
      ERR_clear_error();
      int n;
      {
        SigpipeGuard guard;  // a read may answer the peer (alerts, key updates)
        n = SSL_read(ssl_, buffer, int(std::min<size_t>(capacity, INT_MAX)));
      }
      if (n > 0) {
        got = size_t(n);
        return IOStatus::Ok;
      }
      int e = SSL_get_error(ssl_, n);
      IOStatus s;
      if (e == SSL_ERROR_WANT_READ) s = waitFor(POLLIN, deadline);
      else if (e == SSL_ERROR_WANT_WRITE) s = waitFor(POLLOUT, deadline);
      else if (e == SSL_ERROR_ZERO_RETURN) return IOStatus::Closed;
      else if (e == SSL_ERROR_SYSCALL && errno == 0) return IOStatus::Closed;
      else return IOStatus::Failed;
      if (s != IOStatus::Ok) return s;
      continue;
    }
    ssize_t n = ::recv(fd_, buffer, capacity, 0);
    if (n > 0) {
      got = size_t(n);
      return IOStatus::Ok;
    }
    if (n == 0) return IOStatus::Closed;
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return IOStatus::Failed;
    IOStatus s = waitFor(POLLIN, deadline);
    if (s != IOStatus::Ok) return s;
  }
}

IOStatus TestSocket::writeAll(std::string_view data, Clock::time_point deadline) {
  if (fd_ < 0) return IOStatus::Failed;
  while (!data.empty()) {
    if (stopped()) return IOStatus::Stopped;
    if (ssl_) {
      ERR_clear_error();
      int n;
      {
        SigpipeGuard guard;
        n = SSL_write(ssl_, data.data(), int(std::min<size_t>(data.size(), 1 << 20)));
      }
      if (n > 0) {
        data.remove_prefix(size_t(n));
        continue;
      }
      int e = SSL_get_error(ssl_, n);
      IOStatus s;
      if (e == SSL_ERROR_WANT_READ) s = waitFor(POLLIN, deadline);
      else if (e == SSL_ERROR_WANT_WRITE) s = waitFor(POLLOUT, deadline);
      else return IOStatus::Failed;
      if (s != IOStatus::Ok) return s;
      continue;
    }
    ssize_t n = ::send(fd_, data.data(), data.size(), MSG_NOSIGNAL);
    if (n > 0) {
      data.remove_prefix(size_t(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return IOStatus::Failed;
    IOStatus s = waitFor(POLLOUT, deadline);
    if (s != IOStatus::Ok) return s;
  }
  return IOStatus::Ok;
}

void TestSocket::closeGracefully(std::chrono::milliseconds linger) {
  if (fd_ < 0) return;
  if (ssl_) {
    if (!stopped()) {
      SigpipeGuard guard;
      ERR_clear_error();
      SSL_shutdown(ssl_);
    }
    SSL_free(ssl_);
    ssl_ = nullptr;
  }
  ::shutdown(fd_, SHUT_WR);
  const auto until = Clock::now() + linger;
  char scratch[16384];
  for (;;) {
    ssize_t n = ::recv(fd_, scratch, sizeof scratch, 0);
    if (n > 0) continue;
    if (n == 0) break;
    if (errno == EINTR) continue;
    if ((errno != EAGAIN && errno != EWOULDBLOCK) || waitFor(POLLIN, until) != IOStatus::Ok) break;
  }
  close();
}

void TestSocket::reset() {
  if (fd_ < 0) return;
  if (ssl_) {
    SSL_free(ssl_);
    ssl_ = nullptr;
  }
  linger l{1, 0};
  ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
  close();
}

void TestSocket::close() {
  if (ssl_) {
    SSL_free(ssl_);
    ssl_ = nullptr;
  }
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

void TestSocket::relay(TestSocket& a, TestSocket& b, std::string_view pendingToB, Clock::time_point deadline,
                       std::chrono::milliseconds idleLimit) {
  struct Side {
    TestSocket& socket;
    std::string outgoing;  // read from the other side, to be written here
    bool readDone = false; // this side sent end of stream
    bool gone = false;     // this side is closed both ways
    bool shut = false;     // end of stream passed on to this side
  };
  Side sides[2] = {{a, std::string(), false, false, false}, {b, std::string(pendingToB), false, false, false}};
  const size_t cap = 256 * 1024;
  const StopSignal* stop = a.stop_ ? a.stop_ : b.stop_;
  auto lastActivity = Clock::now();
  char buffer[65536];
  for (;;) {
    if (stop && stop->fired()) return;
    for (int i = 0; i < 2; ++i) {
      Side& self = sides[i];
      Side& other = sides[1 - i];
      if (self.gone && self.outgoing.empty() == false) return;  // nowhere to deliver
      if ((other.readDone || other.gone) && self.outgoing.empty() && !self.shut) {
        ::shutdown(self.socket.fd_, SHUT_WR);
        self.shut = true;
      }
    }
    if (sides[0].shut && sides[1].shut) return;
    if ((sides[0].gone || sides[0].readDone) && (sides[1].gone || sides[1].readDone) && sides[0].outgoing.empty() &&
        sides[1].outgoing.empty())
      return;
    auto until = std::min(deadline, lastActivity + idleLimit);
    if (Clock::now() >= until) return;
    pollfd p[3];
    for (int i = 0; i < 2; ++i) {
      Side& self = sides[i];
      Side& other = sides[1 - i];
      short events = 0;
      if (!self.readDone && !self.gone && other.outgoing.size() < cap) events |= POLLIN;
      if (!self.outgoing.empty()) events |= POLLOUT;
      p[i] = {self.gone ? -1 : self.socket.fd_, events, 0};
    }
    p[2] = {stop ? stop->fd() : -1, POLLIN, 0};
    int r = ::poll(p, 3, pollMilliseconds(until));
    if (r < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (p[2].revents) return;
    for (int i = 0; i < 2; ++i) {
      Side& self = sides[i];
      Side& other = sides[1 - i];
      short revents = p[i].revents;
      if (!revents) continue;
      if (revents & POLLIN) {
        ssize_t n = ::recv(self.socket.fd_, buffer, sizeof buffer, 0);
        if (n > 0) {
          other.outgoing.append(buffer, size_t(n));
          lastActivity = Clock::now();
        } else if (n == 0) {
          self.readDone = true;
        } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
          return;
        }
      }
      if ((revents & POLLOUT) && !self.outgoing.empty()) {
        ssize_t n = ::send(self.socket.fd_, self.outgoing.data(), self.outgoing.size(), MSG_NOSIGNAL);
        if (n > 0) {
          self.outgoing.erase(0, size_t(n));
          lastActivity = Clock::now();
        } else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
          return;
        }
      }
      if ((revents & (POLLHUP | POLLERR)) && !(revents & POLLIN)) self.gone = true;
    }
  }
}

}  // namespace tolvatest
