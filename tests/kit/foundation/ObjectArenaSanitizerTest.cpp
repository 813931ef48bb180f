// Under AddressSanitizer an arena's objects are guarded as heap blocks are:
// an overflow past an object or a touch of released room is reported.

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "kit/foundation/ObjectArena.h"

namespace {

#ifdef KIT_OBJECT_ARENA_ASAN

// Kept out of line so the compiler sees nothing to fold away.
[[gnu::noinline]] void writeByte(volatile char* p, std::ptrdiff_t at) { p[at] = 1; }
[[gnu::noinline]] char readByte(const volatile char* p, std::ptrdiff_t at) { return p[at]; }

TEST(ObjectArenaSanitizerDeathTest, AnOverflowIntoTheGapBehindAnObjectIsReported) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        kit::ObjectArena arena(4096);
        arena.allocate(24);
        auto* second = static_cast<char*>(arena.allocate(24));  // just below the first
        writeByte(second, 23);  // its own last byte is fine
        writeByte(second, 24);  // one past it, short of its neighbour, is not
      },
      "AddressSanitizer: use-after-poison");
}

TEST(ObjectArenaSanitizerDeathTest, ReleasedRoomIsUnaddressableAllTheWay) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        kit::ObjectArena arena(4096);
        auto* keep = static_cast<char*>(arena.allocate(8));
        auto* gone = static_cast<char*>(arena.allocate(200));
        std::memset(gone, 0, 200);
        // Released with the size of its header alone, as a collection with
        // room behind it is: all of its room goes.
        kit::ObjectArena::release(gone, 16);
        (void)keep;
        readByte(gone, 150);
      },
      "AddressSanitizer: use-after-poison");
}

TEST(ObjectArenaSanitizerDeathTest, RoomNotYetHandedOutIsUnaddressable) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        kit::ObjectArena arena(4096);
        auto* p = static_cast<char*>(arena.allocate(32));
        readByte(p, -200);  // below the lowest object: the chunk's free room
      },
      "AddressSanitizer: use-after-poison");
}

#endif

// In every build: objects keep their bytes apart and their room is reused only after the arena moves on.
TEST(ObjectArenaSanitizerTest, ObjectsKeepTheirBytesApart) {
  kit::ObjectArena arena(4096);
  char* a = static_cast<char*>(arena.allocate(13));
  char* b = static_cast<char*>(arena.allocate(13));
  std::memset(a, 'a', 13);
  std::memset(b, 'b', 13);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(a) % 8, 0u);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(b) % 8, 0u);
  for (int i = 0; i < 13; ++i) {
    EXPECT_EQ(a[i], 'a');
    EXPECT_EQ(b[i], 'b');
  }
  kit::ObjectArena::release(a, 13);
  kit::ObjectArena::release(b, 13);
}

}  // namespace
