#pragma once
// A minimal SOCKS5 server on 127.0.0.1: no authentication or
// username/password, CONNECT only, to 127.0.0.1 only (IPv4 address or the
// names "localhost" and "127.0.0.1"). Records every request.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "support/LoopbackListener.h"
#include "support/TestServerLimits.h"

namespace tolvatest {

struct Socks5Record {
  uint64_t connectionId = 0;
  uint8_t method = 0xFF;  // chosen: 0 none, 2 username/password, 0xFF none acceptable
  std::string username;
  bool authenticated = false;
  uint8_t command = 0;  // 1 CONNECT
  uint8_t addressType = 0;
  std::string host;  // dotted address or name as sent
  uint16_t port = 0;
  uint8_t reply = 0xFF;  // 0 success, 2 not allowed, 5 refused, 7 command, 8 address type
};

class TestSocks5Server {
 public:
  explicit TestSocks5Server(TestServerLimits limits = {});
  ~TestSocks5Server();
  TestSocks5Server(const TestSocks5Server&) = delete;
  TestSocks5Server& operator=(const TestSocks5Server&) = delete;

  uint16_t port() const;

  void requireUsernamePassword(const std::string& user, const std::string& password);
  void clearAuth();

  // One per connection that got past the greeting.
  std::vector<Socks5Record> records() const;
  size_t recordCount() const;
  bool waitForRecords(size_t n, std::chrono::milliseconds timeout = std::chrono::milliseconds(10000)) const;
  uint64_t connectionCount() const;

  void stop();

 private:
  struct Credentials {
    std::string user;
    std::string password;
  };
  void serve(AcceptedConnection& accepted);
  void record(const Socks5Record& record);

  mutable std::mutex mutex_;
  mutable std::condition_variable recorded_;
  std::optional<Credentials> credentials_;
  std::vector<Socks5Record> records_;
  std::unique_ptr<LoopbackListener> listener_;
};

}  // namespace tolvatest
