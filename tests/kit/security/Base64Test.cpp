#include "kit/security/Base64.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using kit::Base64;

namespace {

std::string decodeText(std::string_view text) {
  auto d = Base64::decode(text);
  EXPECT_TRUE(d.has_value()) << text;
  return d ? std::string(d->begin(), d->end()) : std::string("<failed>");
}

}  // namespace

TEST(Base64, Rfc4648Vectors) {
  const std::pair<const char*, const char*> vectors[] = {
      {"", ""},         {"f", "Zg=="},        {"fo", "Zm8="},        {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
  };
  for (auto [plain, encoded] : vectors) {
    EXPECT_EQ(Base64::encode(std::string_view(plain)), encoded);
    EXPECT_EQ(decodeText(encoded), plain);
  }
}

TEST(Base64, AllByteValuesRoundTrip) {
  std::vector<std::uint8_t> bytes;
  for (int i = 0; i < 256; ++i) bytes.push_back(std::uint8_t(i));
  for (size_t len : {size_t(1), size_t(2), size_t(3), size_t(255), size_t(256)}) {
    std::span<const std::uint8_t> part(bytes.data(), len);
    auto decoded = Base64::decode(Base64::encode(part));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(*decoded, std::vector<std::uint8_t>(part.begin(), part.end()));
  }
  EXPECT_EQ(Base64::encode(std::vector<std::uint8_t>{0xfb, 0xff}), "+/8=");
}

TEST(Base64, LineBreaksAfterEveryFullLine) {
  std::vector<std::uint8_t> full(54, 'x');  // exactly 72 characters
  std::string one = Base64::encode(full, 72);
  EXPECT_EQ(one.size(), 74u);
  EXPECT_EQ(one.substr(72), "\r\n");
  EXPECT_EQ(one.size(), Base64::encodedLength(54, 72));

  std::vector<std::uint8_t> longer(55, 'x');  // 76 characters: one line and 4
  std::string two = Base64::encode(longer, 72);
  EXPECT_EQ(two.size(), 78u);
  EXPECT_EQ(two.substr(72, 2), "\r\n");
  EXPECT_EQ(two.find("\r\n", 74), std::string::npos);
  EXPECT_EQ(two.size(), Base64::encodedLength(55, 72));

  // A 20-byte digest never reaches a break.
  std::vector<std::uint8_t> digest(20, 7);
  EXPECT_EQ(Base64::encode(digest, 72), Base64::encode(digest));
  EXPECT_EQ(Base64::encode(digest).size(), 28u);

  auto back = Base64::decode(two);
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, longer);
  EXPECT_EQ(Base64::encode(longer, 8, "\n").substr(8, 1), "\n");
}

TEST(Base64, InvalidInputFailsClearly) {
  const char* bad[] = {
      "Zg",         // missing padding
      "Zg=",        // incomplete padding
      "Z===",       // a single character cannot carry a byte
      "====",       // padding only
      "Zm9v=",      // padding after a complete quantum
      "Zg==Zg==",   // data after padding
      "Zm9v!",      // outside the alphabet
      "Zm-v",       // URL-safe alphabet is not this one
      "Zm9vY",      // truncated
      "Zg===",      // too much padding
  };
  for (const char* text : bad) {
    std::string error;
    EXPECT_FALSE(Base64::decode(text, &error).has_value()) << text;
    EXPECT_FALSE(error.empty()) << text;
  }
  std::string error;
  EXPECT_FALSE(Base64::decode(std::string_view("Zm\0v", 4), &error));
  EXPECT_NE(error.find("0x00"), std::string::npos) << error;
  EXPECT_FALSE(Base64::decode("Zm9v\xff"));
}

TEST(Base64, WhitespaceIsSkipped) {
  EXPECT_EQ(decodeText("Zm9v\r\nYmFy"), "foobar");
  EXPECT_EQ(decodeText(" Zm9v Yg = =\n"), "foob");
  EXPECT_EQ(decodeText("\r\n"), "");
}
