#include "kit/net/ConnectionPool.h"

namespace kit {

ConnectionPool& ConnectionPool::shared() {
  static ConnectionPool* pool = new ConnectionPool();
  return *pool;
}

void ConnectionPool::checkIn(int64_t id, std::unique_ptr<HTTPConnection> connection, const void* owner) {
  std::unique_ptr<HTTPConnection> replaced;
  std::lock_guard<std::mutex> g(mutex_);
  auto& entry = idle_[id];
  replaced = std::move(entry.connection);
  entry.connection = std::move(connection);
  entry.owner = owner;
}

std::unique_ptr<HTTPConnection> ConnectionPool::checkOut(int64_t id, const HTTPConnection::Endpoint& endpoint) {
  std::unique_ptr<HTTPConnection> taken;
  {
    std::lock_guard<std::mutex> g(mutex_);
    auto it = idle_.find(id);
    if (it == idle_.end() || !it->second.connection->endpoint().sameDestination(endpoint)) return nullptr;
    taken = std::move(it->second.connection);
    idle_.erase(it);
  }
  // Probing reads the socket, so it happens outside the lock; the connection is ours now.
  if (!taken->isIdleAndAlive()) return nullptr;
  return taken;
}

void ConnectionPool::withdraw(int64_t id, const void* owner) {
  std::unique_ptr<HTTPConnection> closed;
  std::lock_guard<std::mutex> g(mutex_);
  auto it = idle_.find(id);
  if (it == idle_.end() || it->second.owner != owner) return;
  closed = std::move(it->second.connection);
  idle_.erase(it);
}

bool ConnectionPool::holds(int64_t id, const void* owner) const {
  std::lock_guard<std::mutex> g(mutex_);
  auto it = idle_.find(id);
  return it != idle_.end() && it->second.owner == owner;
}

size_t ConnectionPool::idleCount() const {
  std::lock_guard<std::mutex> g(mutex_);
  return idle_.size();
}

void ConnectionPool::closeAll() {
  std::map<int64_t, Entry> closed;
  std::lock_guard<std::mutex> g(mutex_);
  closed.swap(idle_);
}

}  // namespace kit
