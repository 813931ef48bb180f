#pragma once
// The bounds every loopback server keeps, so that a faulty client or a
// forgotten stall cannot hang a test run.

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace tolvatest {

struct TestServerLimits {
  // Longest wait for the peer in any one read or write.
  std::chrono::milliseconds ioTimeout{10000};
  // Longest wait for the next request on a kept-alive connection (or for
  // traffic in a tunnel) before the server closes it.
  std::chrono::milliseconds idleTimeout{15000};
  // Longest life of one accepted connection, stalls included.
  std::chrono::milliseconds connectionLifetime{60000};
  // Connections beyond these are closed as soon as they are accepted.
  unsigned maxConcurrentConnections = 64;
  uint64_t maxConnections = 100000;
  // A request head (request line and headers) larger than this gets 431.
  size_t maxHeadBytes = 64 * 1024;
  // A request body larger than this gets 413.
  uint64_t maxBodyBytes = uint64_t(8) << 30;
  // Request bodies are recorded up to this size; the rest is read and counted.
  size_t maxRecordedBodyBytes = 16 << 20;
};

}  // namespace tolvatest
