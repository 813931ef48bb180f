#include "kit/security/Digest.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <climits>

#include "kit/foundation/Exception.h"

namespace kit {

namespace {

std::span<const std::uint8_t> asBytes(std::string_view s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

// One-shot digest through the EVP interface; the legacy MD5()/SHA1() calls
// are deprecated in OpenSSL 3.
template <size_t N>
std::array<std::uint8_t, N> evpDigest(const EVP_MD* md, std::span<const std::uint8_t> bytes) {
  std::array<std::uint8_t, N> out{};
  unsigned int len = 0;
  // A null data pointer with zero length is fine for OpenSSL, but keep it non-null.
  static const std::uint8_t empty = 0;
  const void* data = bytes.empty() ? &empty : bytes.data();
  if (EVP_Digest(data, bytes.size(), out.data(), &len, md, nullptr) != 1 || len != N)
    throw InternalInconsistencyException("digest computation failed in the crypto library");
  return out;
}

}  // namespace

Digest::Md5 Digest::md5(std::span<const std::uint8_t> bytes) {
  return evpDigest<kMd5Length>(EVP_md5(), bytes);
}
Digest::Md5 Digest::md5(std::string_view bytes) { return md5(asBytes(bytes)); }

Digest::Sha1 Digest::sha1(std::span<const std::uint8_t> bytes) {
  return evpDigest<kSha1Length>(EVP_sha1(), bytes);
}
Digest::Sha1 Digest::sha1(std::string_view bytes) { return sha1(asBytes(bytes)); }

Digest::Sha1 Digest::hmacSha1(std::span<const std::uint8_t> key,
                              std::span<const std::uint8_t> message) {
  // Keys longer than the block size are hashed first anyway; doing it here
  // keeps the length within the library's int.
  if (key.size() > INT_MAX) {
    Sha1 shortKey = sha1(key);
    return hmacSha1(std::span<const std::uint8_t>(shortKey), message);
  }
  Sha1 out{};
  unsigned int len = 0;
  static const std::uint8_t empty = 0;
  const void* k = key.empty() ? &empty : key.data();
  const std::uint8_t* m = message.empty() ? &empty : message.data();
  if (!HMAC(EVP_sha1(), k, static_cast<int>(key.size()), m, message.size(), out.data(), &len) ||
      len != kSha1Length)
    throw InternalInconsistencyException("HMAC computation failed in the crypto library");
  return out;
}
Digest::Sha1 Digest::hmacSha1(std::string_view key, std::string_view message) {
  return hmacSha1(asBytes(key), asBytes(message));
}

std::string Digest::hex(std::span<const std::uint8_t> bytes, HexCase c) {
  const char* digits = c == HexCase::Upper ? "0123456789ABCDEF" : "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (std::uint8_t b : bytes) {
    out.push_back(digits[b >> 4]);
    out.push_back(digits[b & 0x0f]);
  }
  return out;
}

std::string Digest::md5Hex(std::span<const std::uint8_t> bytes) { return hex(md5(bytes)); }
std::string Digest::md5Hex(std::string_view bytes) { return hex(md5(bytes)); }
std::string Digest::sha1Hex(std::span<const std::uint8_t> bytes) { return hex(sha1(bytes)); }
std::string Digest::sha1Hex(std::string_view bytes) { return hex(sha1(bytes)); }

}  // namespace kit
