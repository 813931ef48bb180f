#include "support/LoopbackListener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace tolvatest {
namespace {

thread_local const LoopbackListener* currentListener = nullptr;

}  // namespace

LoopbackListener::LoopbackListener(TestServerLimits limits, Handler handler)
    : limits_(limits), handler_(std::move(handler)) {}

LoopbackListener::~LoopbackListener() { stop(); }

void LoopbackListener::start() {
  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (listenFd_ < 0) throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = 0;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listenFd_, 128) != 0 ||
      ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    std::string why = std::strerror(errno);
    ::close(listenFd_);
    listenFd_ = -1;
    throw std::runtime_error("cannot listen on 127.0.0.1: " + why);
  }
  port_ = ntohs(address.sin_port);
  acceptThread_ = std::thread([this] { acceptLoop(); });
}

void LoopbackListener::acceptLoop() {
  TestSocket::blockSigpipeOnThisThread();
  for (;;) {
    pollfd p[2] = {{listenFd_, POLLIN, 0}, {stop_.fd(), POLLIN, 0}};
    int r = ::poll(p, 2, 1000);
    if (stop_.fired()) return;
    reapFinished();
    if (r <= 0 || !(p[0].revents & POLLIN)) continue;
    int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      // Out of descriptors: wait a little rather than spin on a readable socket.
      if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
        stop_.waitUntil(std::chrono::steady_clock::now() + std::chrono::milliseconds(20));
      continue;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (open_ >= limits_.maxConcurrentConnections || accepted_.load() >= limits_.maxConnections) {
      ++rejected_;
      ::close(fd);
      continue;
    }
    const uint64_t id = ++accepted_;
    ++open_;
    workers_.emplace_back();
    Worker* worker = &workers_.back();
    worker->thread = std::thread([this, fd, id, worker] {
      TestSocket::blockSigpipeOnThisThread();
      currentListener = this;
      {
        TestSocket socket(fd, &stop_);
        AcceptedConnection connection{socket, id, TestSocket::Clock::now() + limits_.connectionLifetime, limits_};
        try {
          handler_(connection);
        } catch (...) {
          // A failing connection must not take the test process down.
        }
      }
      std::lock_guard<std::mutex> lock(mutex_);
      worker->done = true;
      --open_;
      idle_.notify_all();
    });
  }
}

void LoopbackListener::reapFinished() {
  std::list<Worker> finished;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = workers_.begin(); it != workers_.end();) {
      auto next = std::next(it);
      if (it->done) finished.splice(finished.end(), workers_, it);
      it = next;
    }
  }
  for (Worker& w : finished) w.thread.join();
}

void LoopbackListener::stop() {
  stop_.fire();
  if (currentListener == this) return;
  std::lock_guard<std::mutex> stopLock(stopMutex_);
  if (joined_) return;
  if (acceptThread_.joinable()) acceptThread_.join();
  std::list<Worker> all;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    all.swap(workers_);
  }
  for (Worker& w : all) w.thread.join();
  if (listenFd_ >= 0) {
    ::close(listenFd_);
    listenFd_ = -1;
  }
  joined_ = true;
}

size_t LoopbackListener::openCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return open_;
}

bool LoopbackListener::waitUntilIdle(std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return idle_.wait_for(lock, timeout, [this] { return open_ == 0; });
}

}  // namespace tolvatest
