#pragma once
// A scripted server on 127.0.0.1 (port chosen by the system) for the network tests. Every
// accepted connection runs the handler on a thread of its own with blocking I/O and 5-second
// time-outs, so a test that goes wrong fails instead of hanging.

#include <openssl/types.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace nettest {

struct Request {
  std::string method, target, version;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  bool chunked = false;
  // The value of the first field with this name (any case), or empty.
  std::string header(const std::string& name) const;
  bool has(const std::string& name) const;
};

class Peer {
 public:
  explicit Peer(int fd);
  ~Peer();
  Peer(const Peer&) = delete;
  Peer& operator=(const Peer&) = delete;

  int fd() const { return fd_; }
  // Server side of a TLS handshake; false when it failed (a client that refused the certificate).
  bool startTLS(SSL_CTX* ctx);
  // One request: head, then the body by Content-Length or chunks. False on end or time-out.
  bool readRequest(Request* request);
  bool readExactly(size_t n, std::string* out);
  // Raw head text up to and including the empty line.
  bool readHead(std::string* head);
  bool write(const std::string& bytes);
  // Waits (up to the time-out) for the client to close; true when it did.
  bool waitForClose();
  void close();

 private:
  bool fill();
  int fd_;
  SSL* ssl_ = nullptr;
  std::string buffer_;
};

class LoopbackServer {
 public:
  using Handler = std::function<void(Peer& peer)>;
  explicit LoopbackServer(Handler handler);
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  int port() const { return port_; }
  std::string url(const std::string& path = "/", const std::string& scheme = "http",
                  const std::string& host = "127.0.0.1") const;
  int accepted() const { return accepted_.load(); }

 private:
  void acceptLoop();
  Handler handler_;
  int listenFd_ = -1;
  int port_ = 0;
  std::atomic<int> accepted_{0};
  std::atomic<bool> stopping_{false};
  std::thread acceptor_;
  std::mutex mutex_;
  std::vector<std::thread> workers_;
};

// A port on 127.0.0.1 that refuses connections (bound, never listening) while the object lives.
class ClosedPort {
 public:
  ClosedPort();
  ~ClosedPort();
  int port() const { return port_; }

 private:
  int fd_ = -1;
  int port_ = 0;
};

}  // namespace nettest
