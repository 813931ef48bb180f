#include "support/TestThriftServer.h"

#include <thrift/protocol/TBinaryProtocol.h>
#include <thrift/server/TThreadedServer.h>
#include <thrift/transport/THttpServer.h>
#include <thrift/transport/TSSLServerSocket.h>
#include <thrift/transport/TSSLSocket.h>
#include <thrift/transport/TServerSocket.h>
#include <thrift/transport/TVirtualTransport.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <condition_variable>
#include <csignal>

#include "support/TestCertificateAuthority.h"

namespace tolvatest {
namespace {

using namespace apache::thrift;
using namespace apache::thrift::transport;

// Passes everything through and keeps a copy of what was read.
class RecordingTransport : public TVirtualTransport<RecordingTransport> {
 public:
  RecordingTransport(std::shared_ptr<TTransport> inner, std::shared_ptr<TestThriftServer::Recorder> recorder)
      : inner_(std::move(inner)), recorder_(std::move(recorder)) {
    std::lock_guard<std::mutex> lock(recorder_->mutex);
    index_ = recorder_->connections.size();
    recorder_->connections.emplace_back();
  }
  bool isOpen() const override { return inner_->isOpen(); }
  bool peek() override { return inner_->peek(); }
  void open() override { inner_->open(); }
  void close() override { inner_->close(); }
  uint32_t read(uint8_t* buf, uint32_t len) {
    uint32_t n = inner_->read(buf, len);
    std::lock_guard<std::mutex> lock(recorder_->mutex);
    recorder_->connections[index_].append(reinterpret_cast<const char*>(buf), n);
    return n;
  }
  void write(const uint8_t* buf, uint32_t len) { inner_->write(buf, len); }
  void flush() override { inner_->flush(); }

 private:
  std::shared_ptr<TTransport> inner_;
  std::shared_ptr<TestThriftServer::Recorder> recorder_;
  size_t index_ = 0;
};

class RecordingHttpFactory : public TTransportFactory {
 public:
  explicit RecordingHttpFactory(std::shared_ptr<TestThriftServer::Recorder> recorder) : recorder_(std::move(recorder)) {}
  std::shared_ptr<TTransport> getTransport(std::shared_ptr<TTransport> trans) override {
    return std::make_shared<THttpServer>(std::make_shared<RecordingTransport>(trans, recorder_));
  }

 private:
  std::shared_ptr<TestThriftServer::Recorder> recorder_;
};

}  // namespace

TestThriftServer::TestThriftServer(std::shared_ptr<TProcessor> processor, bool tls, bool strictReplies)
    : tls_(tls), recorder_(std::make_shared<Recorder>()) {
  // A client that gives up mid-handshake must not end the test process.
  std::signal(SIGPIPE, SIG_IGN);
  std::shared_ptr<TServerSocket> socket;
  if (tls) {
    auto factory = std::make_shared<TSSLSocketFactory>();
    factory->server(true);
    const TestCertificate& cert = TestCertificateAuthority::shared().localhostCertificate();
    factory->loadCertificateFromBuffer(cert.certificatePEM.c_str());
    factory->loadPrivateKeyFromBuffer(cert.privateKeyPEM.c_str());
    socket = std::make_shared<TSSLServerSocket>("127.0.0.1", 0, factory);
  } else {
    socket = std::make_shared<TServerSocket>("127.0.0.1", 0);
  }
  // Shared with the callback, which runs on the server's thread.
  struct Listening {
    std::mutex mutex;
    std::condition_variable cv;
    bool ready = false;
    uint16_t port = 0;
  };
  auto listening = std::make_shared<Listening>();
  socket->setListenCallback([listening](THRIFT_SOCKET fd) {
    // The callback may come before Thrift's own listen(): listen here, which
    // is harmless to repeat, so a client connecting at once is never refused.
    ::listen(fd, 64);
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    std::lock_guard<std::mutex> lock(listening->mutex);
    listening->port = ntohs(addr.sin_port);
    listening->ready = true;
    listening->cv.notify_all();
  });
  server_ = std::make_shared<server::TThreadedServer>(processor, socket,
                                                      std::make_shared<RecordingHttpFactory>(recorder_),
                                                      std::make_shared<protocol::TBinaryProtocolFactory>(
                                                          0, 0, false, strictReplies));
  thread_ = std::thread([this] { server_->serve(); });
  std::unique_lock<std::mutex> lock(listening->mutex);
  listening->cv.wait(lock, [&] { return listening->ready; });
  port_ = listening->port;
}

TestThriftServer::~TestThriftServer() { stop(); }

void TestThriftServer::stop() {
  if (!thread_.joinable()) return;
  server_->stop();
  thread_.join();
}

std::string TestThriftServer::url(const std::string& path) const {
  return std::string(tls_ ? "https://localhost:" : "http://127.0.0.1:") + std::to_string(port_) + path;
}

std::vector<std::string> TestThriftServer::received() const {
  std::lock_guard<std::mutex> lock(recorder_->mutex);
  return recorder_->connections;
}

}  // namespace tolvatest
