#pragma once
// A Thrift service on 127.0.0.1 for tests: a generated processor behind
// Thrift's HTTP server transport, over plain TCP or TLS (the shared test CA's
// localhost certificate). Every byte each connection sent in is recorded, so
// tests can check the wire (request line, headers, message header).

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace apache::thrift {
class TProcessor;
namespace server {
class TServer;
}
}  // namespace apache::thrift

namespace tolvatest {

class TestThriftServer {
 public:
  // `strictReplies` false answers with the old message header (the name's
  // length first, no version word), as some servers still do.
  explicit TestThriftServer(std::shared_ptr<apache::thrift::TProcessor> processor, bool tls = false,
                            bool strictReplies = true);
  ~TestThriftServer();
  TestThriftServer(const TestThriftServer&) = delete;
  TestThriftServer& operator=(const TestThriftServer&) = delete;

  uint16_t port() const { return port_; }
  // "http://127.0.0.1:PORT/path", or "https://localhost:PORT/path" over TLS.
  std::string url(const std::string& path) const;
  // What each connection sent, in the order the connections came.
  std::vector<std::string> received() const;
  void stop();

  struct Recorder {
    std::mutex mutex;
    std::vector<std::string> connections;
  };

 private:
  bool tls_;
  uint16_t port_ = 0;
  std::shared_ptr<Recorder> recorder_;
  std::shared_ptr<apache::thrift::server::TServer> server_;
  std::thread thread_;
};

}  // namespace tolvatest
