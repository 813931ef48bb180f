#include "kit/security/Digest.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using kit::Digest;

namespace {

std::vector<std::uint8_t> repeat(std::uint8_t byte, size_t n) { return std::vector<std::uint8_t>(n, byte); }

std::string hmacHex(const std::vector<std::uint8_t>& key, const std::vector<std::uint8_t>& msg) {
  return Digest::hex(Digest::hmacSha1(key, msg));
}

std::vector<std::uint8_t> bytesOf(std::string_view s) { return {s.begin(), s.end()}; }

}  // namespace

TEST(Digest, Md5KnownVectors) {
  EXPECT_EQ(Digest::md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(Digest::md5Hex("a"), "0cc175b9c0f1b6a831c399e269772661");
  EXPECT_EQ(Digest::md5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(Digest::md5Hex("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
  EXPECT_EQ(Digest::md5Hex("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
  EXPECT_EQ(Digest::md5Hex("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
            "d174ab98d277d9f5a5611c2c9f419d9f");
  EXPECT_EQ(Digest::md5Hex("1234567890123456789012345678901234567890"
                           "1234567890123456789012345678901234567890"),
            "57edf4a22be3c955ac49da2e2107b67a");
}

TEST(Digest, Sha1KnownVectors) {
  EXPECT_EQ(Digest::sha1Hex(""), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
  EXPECT_EQ(Digest::sha1Hex("abc"), "a9993e364706816aba3e25717850c26c9cd0d89d");
  EXPECT_EQ(Digest::sha1Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
  EXPECT_EQ(Digest::sha1Hex(std::string(1000000, 'a')), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
  std::string block;
  for (int i = 0; i < 80; ++i) block += "01234567";
  EXPECT_EQ(Digest::sha1Hex(block), "dea356a2cddd90c7a7ecedc5ebb563934f460452");
}

TEST(Digest, BytesAndTextAgreeAndBinaryInputIsNotCutAtZero) {
  const std::vector<std::uint8_t> bytes{'a', 0, 'b'};
  EXPECT_EQ(Digest::md5(bytes), Digest::md5(std::string_view("a\0b", 3)));
  EXPECT_NE(Digest::md5Hex(bytes), Digest::md5Hex("a"));
  EXPECT_EQ(Digest::sha1(bytes), Digest::sha1(std::string_view("a\0b", 3)));
}

TEST(Digest, HexCases) {
  const std::vector<std::uint8_t> bytes{0x00, 0x0f, 0xa5, 0xff};
  EXPECT_EQ(Digest::hex(bytes), "000fa5ff");
  EXPECT_EQ(Digest::hex(bytes, Digest::HexCase::Upper), "000FA5FF");
  EXPECT_EQ(Digest::hex({}), "");
  EXPECT_EQ(Digest::hex(Digest::md5("abc"), Digest::HexCase::Upper), "900150983CD24FB0D6963F7D28E17F72");
}

TEST(Digest, HmacSha1Rfc2202) {
  EXPECT_EQ(hmacHex(repeat(0x0b, 20), bytesOf("Hi There")), "b617318655057264e28bc0b6fb378c8ef146be00");
  EXPECT_EQ(Digest::hex(Digest::hmacSha1("Jefe", "what do ya want for nothing?")),
            "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79");
  EXPECT_EQ(hmacHex(repeat(0xaa, 20), repeat(0xdd, 50)), "125d7342b9ac11cd91a39af48aa17b4f63f175d3");
  std::vector<std::uint8_t> key4;
  for (std::uint8_t i = 1; i <= 25; ++i) key4.push_back(i);
  EXPECT_EQ(hmacHex(key4, repeat(0xcd, 50)), "4c9007f4026250c6bc8414f9bf50c86c2d7235da");
  EXPECT_EQ(hmacHex(repeat(0x0c, 20), bytesOf("Test With Truncation")),
            "4c1a03424b55e07fe7f27be1d58bb9324a9a5a04");
  EXPECT_EQ(hmacHex(repeat(0xaa, 80), bytesOf("Test Using Larger Than Block-Size Key - Hash Key First")),
            "aa4ae5e15272d00e95705637ce8a3b55ed402112");
  EXPECT_EQ(hmacHex(repeat(0xaa, 80), bytesOf("Test Using Larger Than Block-Size Key and Larger Than "
                                               "One Block-Size Data")),
            "e8e99d0f45237d786d6bbaa7965c7808bbff1a91");
}

TEST(Digest, HmacSha1EmptyKeyAndMessage) {
  EXPECT_EQ(Digest::hex(Digest::hmacSha1("", "")), "fbdb1d1b18aa6c08324b7d64b71fb76370690e1d");
}
