#include "LoopbackServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace nettest {

namespace {

std::string lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

int bindLoopback(int* port, bool listening) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) throw std::runtime_error("bind failed");
  if (listening && ::listen(fd, 64) != 0) throw std::runtime_error("listen failed");
  socklen_t len = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  *port = ntohs(a.sin_port);
  return fd;
}

}  // namespace

std::string Request::header(const std::string& name) const {
  for (auto& [k, v] : headers)
    if (lower(k) == lower(name)) return v;
  return {};
}

bool Request::has(const std::string& name) const {
  for (auto& [k, v] : headers)
    if (lower(k) == lower(name)) return true;
  return false;
}

Peer::Peer(int fd) : fd_(fd) {
  timeval tv{5, 0};
  ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  ::setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}

Peer::~Peer() { close(); }

void Peer::close() {
  if (ssl_) SSL_free(ssl_);
  ssl_ = nullptr;
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool Peer::startTLS(SSL_CTX* ctx) {
  ssl_ = SSL_new(ctx);
  SSL_set_fd(ssl_, fd_);
  if (!buffer_.empty()) return false;  // nothing may come before the handshake
  return SSL_accept(ssl_) == 1;
}

bool Peer::fill() {
  char buf[16384];
  if (fd_ < 0) return false;
  int n = ssl_ ? SSL_read(ssl_, buf, sizeof buf) : int(::recv(fd_, buf, sizeof buf, 0));
  if (n <= 0) return false;
  buffer_.append(buf, size_t(n));
  return true;
}

bool Peer::readExactly(size_t n, std::string* out) {
  while (buffer_.size() < n)
    if (!fill()) return false;
  *out = buffer_.substr(0, n);
  buffer_.erase(0, n);
  return true;
}

bool Peer::readHead(std::string* head) {
  for (;;) {
    size_t end = buffer_.find("\r\n\r\n");
    if (end != std::string::npos) {
      *head = buffer_.substr(0, end + 4);
      buffer_.erase(0, end + 4);
      return true;
    }
    if (!fill()) return false;
  }
}

bool Peer::readRequest(Request* r) {
  std::string head;
  if (!readHead(&head)) return false;
  *r = Request();
  size_t lineEnd = head.find("\r\n");
  std::string line = head.substr(0, lineEnd);
  size_t a = line.find(' '), b = line.rfind(' ');
  if (a == std::string::npos || a == b) return false;
  r->method = line.substr(0, a);
  r->target = line.substr(a + 1, b - a - 1);
  r->version = line.substr(b + 1);
  size_t pos = lineEnd + 2;
  while (pos < head.size()) {
    size_t e = head.find("\r\n", pos);
    std::string field = head.substr(pos, e - pos);
    pos = e + 2;
    if (field.empty()) break;
    size_t colon = field.find(':');
    std::string value = field.substr(colon + 1);
    while (!value.empty() && value.front() == ' ') value.erase(0, 1);
    r->headers.emplace_back(field.substr(0, colon), value);
  }
  if (lower(r->header("Transfer-Encoding")) == "chunked") {
    r->chunked = true;
    for (;;) {
      size_t e;
      while ((e = buffer_.find("\r\n")) == std::string::npos)
        if (!fill()) return false;
      size_t size = std::stoul(buffer_.substr(0, e), nullptr, 16);
      buffer_.erase(0, e + 2);
      std::string data;
      if (!readExactly(size + 2, &data)) return false;
      if (size == 0) break;  // no trailers from our client
      r->body += data.substr(0, size);
    }
  } else if (r->has("Content-Length")) {
    if (!readExactly(std::stoul(r->header("Content-Length")), &r->body)) return false;
  }
  return true;
}

bool Peer::write(const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    int n = ssl_ ? SSL_write(ssl_, bytes.data() + done, int(bytes.size() - done))
                 : int(::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL));
    if (n <= 0) return false;
    done += size_t(n);
  }
  return true;
}

bool Peer::waitForClose() {
  char buf[4096];
  for (;;) {
    errno = 0;
    int n = ssl_ ? SSL_read(ssl_, buf, sizeof buf) : int(::recv(fd_, buf, sizeof buf, 0));
    if (n > 0) continue;
    // A time-out is not a close.
    return !(n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK));
  }
}

LoopbackServer::LoopbackServer(Handler handler) : handler_(std::move(handler)) {
  listenFd_ = bindLoopback(&port_, true);
  acceptor_ = std::thread([this] { acceptLoop(); });
}

LoopbackServer::~LoopbackServer() {
  stopping_ = true;
  ::shutdown(listenFd_, SHUT_RDWR);
  acceptor_.join();
  ::close(listenFd_);
  std::vector<std::thread> workers;
  {
    std::lock_guard<std::mutex> g(mutex_);
    workers.swap(workers_);
  }
  for (auto& t : workers) t.join();
}

void LoopbackServer::acceptLoop() {
  for (;;) {
    int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (stopping_) {
      ::close(fd);
      return;
    }
    ++accepted_;
    std::lock_guard<std::mutex> g(mutex_);
    workers_.emplace_back([this, fd] {
      Peer peer(fd);
      handler_(peer);
    });
  }
}

std::string LoopbackServer::url(const std::string& path, const std::string& scheme, const std::string& host) const {
  return scheme + "://" + host + ":" + std::to_string(port_) + path;
}

ClosedPort::ClosedPort() { fd_ = bindLoopback(&port_, false); }
ClosedPort::~ClosedPort() { ::close(fd_); }

}  // namespace nettest
