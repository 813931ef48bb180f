#pragma once
// An HTTP forward proxy on 127.0.0.1: absolute-form requests are forwarded
// and CONNECT tunnels opened, to 127.0.0.1 only (anything else gets 403);
// optionally demands Basic credentials (407 otherwise). Records what it saw.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "support/LoopbackListener.h"
#include "support/TestHeaders.h"
#include "support/TestServerLimits.h"

namespace tolvatest {

struct ProxyRecord {
  std::string method;
  std::string target;
  std::string version;
  TestHeaders headers;  // as received, Proxy-Authorization included
  uint64_t connectionId = 0;
  bool tunnel = false;      // CONNECT
  bool authorized = true;   // credentials accepted (or none required)
  bool refused = false;     // target not on 127.0.0.1
  std::string host;         // target host as given
  uint16_t port = 0;
  // What the proxy answered: its own status (403, 407, 502, 200 for a
  // tunnel), or the upstream server's.
  int status = 0;
};

class TestProxyServer {
 public:
  explicit TestProxyServer(TestServerLimits limits = {});
  ~TestProxyServer();
  TestProxyServer(const TestProxyServer&) = delete;
  TestProxyServer& operator=(const TestProxyServer&) = delete;

  uint16_t port() const;
  std::string origin() const;  // "http://127.0.0.1:PORT"

  void requireBasicAuth(const std::string& user, const std::string& password);
  void clearAuth();

  std::vector<ProxyRecord> records() const;
  size_t recordCount() const;
  bool waitForRecords(size_t n, std::chrono::milliseconds timeout = std::chrono::milliseconds(10000)) const;
  void clearRecords();
  uint64_t connectionCount() const;

  void stop();

 private:
  struct Credentials {
    std::string user;
    std::string password;
  };
  void serve(AcceptedConnection& accepted);
  size_t record(ProxyRecord record);
  void updateStatus(size_t index, int status);
  std::optional<Credentials> credentials() const;

  mutable std::mutex mutex_;
  mutable std::condition_variable recorded_;
  std::optional<Credentials> credentials_;
  std::vector<ProxyRecord> records_;
  uint64_t recordBase_ = 0;  // records cleared so far, so indexes stay valid
  std::unique_ptr<LoopbackListener> listener_;
};

}  // namespace tolvatest
