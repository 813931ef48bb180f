#pragma once
// The accept loop shared by the loopback servers: listens on 127.0.0.1 with
// a port the system picks, runs each accepted connection on its own thread
// within the limits, and stops everything at once.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <mutex>
#include <string>
#include <thread>

#include "support/StopSignal.h"
#include "support/TestServerLimits.h"
#include "support/TestSocket.h"

namespace tolvatest {

struct AcceptedConnection {
  TestSocket& socket;
  uint64_t id;  // 1 for the first socket accepted, then 2, 3, ...
  // The connection's end of life (accept time + connectionLifetime).
  TestSocket::Clock::time_point deadline;
  const TestServerLimits& limits;
};

class LoopbackListener {
 public:
  using Handler = std::function<void(AcceptedConnection&)>;

  LoopbackListener(TestServerLimits limits, Handler handler);
  // Stops.
  ~LoopbackListener();
  LoopbackListener(const LoopbackListener&) = delete;
  LoopbackListener& operator=(const LoopbackListener&) = delete;

  // Binds 127.0.0.1:0 and starts accepting; throws std::runtime_error on failure.
  void start();
  // Wakes every wait of every connection, closes the listening socket and
  // joins all threads. Idempotent. Called from a connection's own thread it
  // only signals; the owner's later stop() joins.
  void stop();

  uint16_t port() const { return port_; }
  const TestServerLimits& limits() const { return limits_; }
  const StopSignal& stopSignal() const { return stop_; }

  uint64_t acceptedCount() const { return accepted_.load(); }
  uint64_t rejectedCount() const { return rejected_.load(); }
  size_t openCount() const;
  // Waits until no connection is open (or the time passes); true if none is.
  bool waitUntilIdle(std::chrono::milliseconds timeout) const;

 private:
  struct Worker {
    std::thread thread;
    bool done = false;
  };

  void acceptLoop();
  void reapFinished();

  const TestServerLimits limits_;
  const Handler handler_;
  StopSignal stop_;
  int listenFd_ = -1;
  uint16_t port_ = 0;
  std::atomic<uint64_t> accepted_{0};
  std::atomic<uint64_t> rejected_{0};
  mutable std::mutex mutex_;
  mutable std::condition_variable idle_;
  std::list<Worker> workers_;
  size_t open_ = 0;
  std::thread acceptThread_;
  std::mutex stopMutex_;
  bool joined_ = false;
};

}  // namespace tolvatest
