#include <gtest/gtest.h>

#include <set>

#include "kit/security/SecureRandom.h"
#include "kit/security/UUID.h"

using kit::SecureRandom;
using kit::UUID;

TEST(SecureRandom, BytesAndBounds) {
  EXPECT_TRUE(SecureRandom::bytes(0).empty());
  auto a = SecureRandom::bytes(32);
  auto b = SecureRandom::bytes(32);
  EXPECT_EQ(a.size(), 32u);
  EXPECT_NE(a, b);  // 2^-256 chance of a false failure
  EXPECT_EQ(SecureRandom::uniform(0), 0u);
  EXPECT_EQ(SecureRandom::uniform(1), 0u);
  std::set<std::uint32_t> seen;
  for (int i = 0; i < 500; ++i) {
    std::uint32_t r = SecureRandom::uniform(6);
    ASSERT_LT(r, 6u);
    seen.insert(r);
  }
  EXPECT_EQ(seen.size(), 6u);  // each value missed 500 times: ~6 * (5/6)^500
}

TEST(UUID, RandomIsVersion4UpperCaseText) {
  UUID u = UUID::random();
  EXPECT_EQ(u.version(), 4);
  EXPECT_EQ(u.bytes()[8] & 0xc0, 0x80);
  std::string s = u.string();
  ASSERT_EQ(s.size(), 36u);
  for (size_t i = 0; i < s.size(); ++i) {
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      EXPECT_EQ(s[i], '-');
    } else {
      EXPECT_TRUE((s[i] >= '0' && s[i] <= '9') || (s[i] >= 'A' && s[i] <= 'F')) << s;
    }
  }
  EXPECT_EQ(s[14], '4');
  EXPECT_NE(UUID::createString(), UUID::createString());
}

TEST(UUID, ParseRoundTripAndRejects) {
  auto u = UUID::parse("e621e1f8-c36c-495a-93fc-0c247a3e6e5f");
  ASSERT_TRUE(u);
  EXPECT_EQ(u->string(), "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
  EXPECT_EQ(u->bytes()[0], 0xe6);
  EXPECT_EQ(u->bytes()[15], 0x5f);
  UUID r = UUID::random();
  EXPECT_EQ(UUID::parse(r.string()), r);
  EXPECT_EQ(UUID().string(), "00000000-0000-0000-0000-000000000000");
  EXPECT_FALSE(UUID::parse(""));
  EXPECT_FALSE(UUID::parse("E621E1F8C36C495A93FC0C247A3E6E5F"));
  EXPECT_FALSE(UUID::parse("E621E1F8-C36C-495A-93FC-0C247A3E6E5G"));
  EXPECT_FALSE(UUID::parse("E621E1F8-C36C-495A-93FC-0C247A3E6E5F0"));
  EXPECT_FALSE(UUID::parse("E621E1F8-C36C+495A-93FC-0C247A3E6E5F"));
}
