#pragma once
// A non-blocking TCP socket, plain or TLS, whose every wait is bounded by a
// deadline and woken by an optional stop signal. Used by the loopback servers
// and by the tiny test client.

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>
#include <string_view>

typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;

namespace tolvatest {

class StopSignal;

enum class IOStatus { Ok, Closed, TimedOut, Stopped, Failed };
const char* describe(IOStatus status);

class TestSocket {
 public:
  using Clock = std::chrono::steady_clock;

  TestSocket() = default;
  // Takes ownership of a connected descriptor (made non-blocking).
  TestSocket(int fd, const StopSignal* stop);
  ~TestSocket();
  TestSocket(TestSocket&& other) noexcept;
  TestSocket& operator=(TestSocket&& other) noexcept;
  TestSocket(const TestSocket&) = delete;
  TestSocket& operator=(const TestSocket&) = delete;

  // Connects to 127.0.0.1:port; invalid on failure with the reason in *error.
  static TestSocket connectLoopback(uint16_t port, Clock::time_point deadline, const StopSignal* stop,
                                    std::string* error = nullptr);

  bool valid() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  uint16_t localPort() const;

  // Server side of a TLS handshake; afterwards reads and writes go through TLS.
  bool acceptTLS(SSL_CTX* context, Clock::time_point deadline, std::string* error = nullptr);
  // Client side; serverName is sent as SNI (unless an IP literal) and checked
  // against the certificate when verifyHost is set.
  bool connectTLS(SSL_CTX* context, const std::string& serverName, bool verifyHost, Clock::time_point deadline,
                  std::string* error = nullptr);
  bool isTLS() const { return ssl_ != nullptr; }
  // The SNI name the client sent (server side), or "".
  std::string tlsServerName() const;
  // Subject common names of the certificates the client sent, its own first (server side).
  std::vector<std::string> tlsPeerCertificateNames() const;

  // Reads what is available (at least one byte) or reports why not.
  IOStatus readSome(char* buffer, size_t capacity, size_t& got, Clock::time_point deadline);
  IOStatus writeAll(std::string_view data, Clock::time_point deadline);
  // Ok once a read would not block (data, end of stream or an error pending).
  IOStatus waitReadable(Clock::time_point deadline);

  // Sleeps until the time unless the stop signal fires first; false if it did.
  bool pauseUntil(Clock::time_point until) const;
  bool stopped() const;

  // Ends the TLS session and half-closes, then reads and discards what the
  // peer still sends for a moment, so an answer already sent is not lost to a
  // reset; then closes.
  void closeGracefully(std::chrono::milliseconds linger = std::chrono::milliseconds(500));
  // Closes with a reset (SO_LINGER 0).
  void reset();
  void close();

  // Server threads call this once: writes to a closed peer then fail with
  // EPIPE instead of raising SIGPIPE, without a per-write mask change.
  static void blockSigpipeOnThisThread();

  // Copies bytes both ways between two plain sockets until both sides have
  // ended, nothing moved for idleLimit, the deadline passed or stop fired.
  // `pendingToB` is sent to b first (bytes already read from a).
  static void relay(TestSocket& a, TestSocket& b, std::string_view pendingToB, Clock::time_point deadline,
                    std::chrono::milliseconds idleLimit);

 private:
  IOStatus waitFor(short events, Clock::time_point deadline);

  int fd_ = -1;
  SSL* ssl_ = nullptr;
  const StopSignal* stop_ = nullptr;
};

}  // namespace tolvatest
