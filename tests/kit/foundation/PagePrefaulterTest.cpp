// The prefaulter runs on a thread of its own beside a writer: the writer's bytes must come out
// intact, the thread must stay within its lead and stop at once.

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

#include "kit/foundation/PagePrefaulter.h"

namespace {

constexpr size_t kMiB = size_t(1) << 20;

// Counts the resident pages of [p, p + n).
size_t residentPages(const char* p, size_t n) {
  const auto page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
  std::vector<unsigned char> v((n + page - 1) / page);
  if (::mincore(const_cast<char*>(p), n, v.data()) != 0) return 0;
  size_t count = 0;
  for (unsigned char b : v) count += b & 1;
  return count;
}

struct Mapping {
  explicit Mapping(size_t n) : length(n) {
    bytes = static_cast<char*>(::mmap(nullptr, n, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
  }
  ~Mapping() { ::munmap(bytes, length); }
  char* bytes;
  size_t length;
};

bool waitFor(const std::function<bool()>& done) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace

TEST(PagePrefaulter, WriterBytesSurviveWhileThePagesAheadAreFaultedIn) {
  // An odd start and an odd length: only whole pages inside the buffer may be touched.
  Mapping m(40 * kMiB);
  char* base = m.bytes + 123;
  const size_t length = 32 * kMiB + 77;
  {
    kit::PagePrefaulter prefaulter(base, length, 4 * kMiB);
    std::vector<char> piece(64 * 1024 + 13);
    size_t written = 0;
    unsigned seed = 1;
    while (written < length) {
      const size_t n = std::min(piece.size(), length - written);
      for (size_t i = 0; i < n; ++i) piece[i] = static_cast<char>((seed = seed * 1103515245 + 12345) >> 16);
      std::memcpy(base + written, piece.data(), n);
      written += n;
      prefaulter.writerReached(written);
      EXPECT_LE(prefaulter.faultedUpTo(), written + 4 * kMiB + 4096);
    }
  }
  unsigned seed = 1;
  size_t checked = 0;
  size_t bad = 0;
  std::vector<char> piece(64 * 1024 + 13);
  while (checked < length) {
    const size_t n = std::min(piece.size(), length - checked);
    for (size_t i = 0; i < n; ++i) bad += base[checked + i] != static_cast<char>((seed = seed * 1103515245 + 12345) >> 16);
    checked += n;
  }
  EXPECT_EQ(bad, 0u);
  // Nothing past the buffer's last whole page was made present.
  EXPECT_EQ(residentPages(m.bytes + 36 * kMiB, 4 * kMiB), 0u);
}

TEST(PagePrefaulter, RunsAheadOnlyAsFarAsItsLeadAndStopsWhenDestroyed) {
  Mapping m(64 * kMiB);
  {
    kit::PagePrefaulter prefaulter(m.bytes, m.length, 8 * kMiB);
    // Nothing is made present before the writer has written anything (a peer that announces a
    // large body and sends none costs no memory), then as much again as it wrote.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(prefaulter.faultedUpTo(), 0u);
    EXPECT_EQ(residentPages(m.bytes, 64 * kMiB), 0u);
    prefaulter.writerReached(4 * kMiB);
    ASSERT_TRUE(waitFor([&] { return prefaulter.faultedUpTo() >= 8 * kMiB; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(prefaulter.faultedUpTo(), 8 * kMiB);  // waits for the writer
    EXPECT_GE(residentPages(m.bytes, 8 * kMiB), 8 * kMiB / 4096 - 1);
    EXPECT_EQ(residentPages(m.bytes + 11 * kMiB, 53 * kMiB), 0u);  // large pages may round up by 2 MiB

    prefaulter.writerReached(20 * kMiB);
    ASSERT_TRUE(waitFor([&] { return prefaulter.faultedUpTo() >= 28 * kMiB; }));
  }
  // Destroyed while waiting: it is gone (joined) and touched nothing further.
  EXPECT_EQ(residentPages(m.bytes + 31 * kMiB, 33 * kMiB), 0u);
}
