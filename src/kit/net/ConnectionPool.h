#pragma once
// Kept-alive connections waiting for the next stream with the same stream id. One idle
// connection per id. A connection stays its last stream's (the owner) until another stream takes
// it: the owner withdrawing it closes it. Thread-safe.

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

#include "kit/net/HTTPConnection.h"

namespace kit {

class ConnectionPool {
 public:
  static ConnectionPool& shared();

  // Keeps `connection` for stream id `id` on behalf of `owner` (an identity); an idle connection
  // already kept for the id is closed.
  void checkIn(int64_t id, std::unique_ptr<HTTPConnection> connection, const void* owner);
  // Takes the connection kept for `id` when it goes to the same destination and is still alive;
  // a dead one is closed and dropped. Null otherwise.
  std::unique_ptr<HTTPConnection> checkOut(int64_t id, const HTTPConnection::Endpoint& endpoint);
  // Closes the connection kept for `id` when `owner` still owns it.
  void withdraw(int64_t id, const void* owner);
  // Whether `owner`'s connection is still waiting under `id`.
  bool holds(int64_t id, const void* owner) const;
  size_t idleCount() const;
  void closeAll();

 private:
  struct Entry {
    std::unique_ptr<HTTPConnection> connection;
    const void* owner;
  };
  mutable std::mutex mutex_;
  std::map<int64_t, Entry> idle_;
};

}  // namespace kit
