#include "kit/net/NTLM.h"

#include <sys/random.h>

#include <chrono>
#include <cstring>
#include <stdexcept>

#include "kit/security/Digest.h"

namespace kit {

namespace {

constexpr char kSignature[8] = {'N', 'T', 'L', 'M', 'S', 'S', 'P', '\0'};
// Unicode, request target, NTLM, always sign, extended session security.
constexpr uint32_t kClientFlags = 0x00000001 | 0x00000004 | 0x00000200 | 0x00008000 | 0x00080000;
constexpr uint32_t kTargetInfoFlag = 0x00800000;
constexpr size_t kType3HeaderLength = 64;

void put16(std::string& s, size_t at, uint16_t v) {
  s[at] = char(v & 0xff);
  s[at + 1] = char(v >> 8);
}
void put32(std::string& s, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + i] = char((v >> (8 * i)) & 0xff);
}
uint16_t get16(std::string_view s, size_t at) { return uint16_t(uint8_t(s[at]) | (uint8_t(s[at + 1]) << 8)); }
uint32_t get32(std::string_view s, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | uint8_t(s[at + i]);
  return v;
}

std::string_view view(const std::array<uint8_t, 16>& a) {
  return std::string_view(reinterpret_cast<const char*>(a.data()), a.size());
}
std::string_view view(const std::array<uint8_t, 8>& a) {
  return std::string_view(reinterpret_cast<const char*>(a.data()), a.size());
}

uint32_t rotl(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

}  // namespace

std::array<uint8_t, 16> NTLM::md4(std::string_view bytes) {
  uint32_t a0 = 0x67452301, b0 = 0xefcdab89, c0 = 0x98badcfe, d0 = 0x10325476;
  std::string m(bytes);
  const uint64_t bitLength = uint64_t(bytes.size()) * 8;
  m.push_back(char(0x80));
  while (m.size() % 64 != 56) m.push_back('\0');
  for (int i = 0; i < 8; ++i) m.push_back(char((bitLength >> (8 * i)) & 0xff));
  for (size_t block = 0; block < m.size(); block += 64) {
    uint32_t x[16];
    for (int i = 0; i < 16; ++i) x[i] = get32(m, block + 4 * size_t(i));
    uint32_t a = a0, b = b0, c = c0, d = d0;
    auto f = [](uint32_t x_, uint32_t y, uint32_t z) { return (x_ & y) | (~x_ & z); };
    auto g = [](uint32_t x_, uint32_t y, uint32_t z) { return (x_ & y) | (x_ & z) | (y & z); };
    auto h = [](uint32_t x_, uint32_t y, uint32_t z) { return x_ ^ y ^ z; };
    static constexpr int r1[4] = {3, 7, 11, 19};
    for (int i = 0; i < 16; ++i) {
      uint32_t t = rotl(a + f(b, c, d) + x[i], r1[i % 4]);
      a = d, d = c, c = b, b = t;
    }
    static constexpr int order2[16] = {0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15};
    static constexpr int r2[4] = {3, 5, 9, 13};
    for (int i = 0; i < 16; ++i) {
      uint32_t t = rotl(a + g(b, c, d) + x[order2[i]] + 0x5a827999u, r2[i % 4]);
      a = d, d = c, c = b, b = t;
    }
    static constexpr int order3[16] = {0, 8, 4, 12, 2, 10, 6, 14, 1, 9, 5, 13, 3, 11, 7, 15};
    static constexpr int r3[4] = {3, 9, 11, 15};
    for (int i = 0; i < 16; ++i) {
      uint32_t t = rotl(a + h(b, c, d) + x[order3[i]] + 0x6ed9eba1u, r3[i % 4]);
      a = d, d = c, c = b, b = t;
    }
    a0 += a, b0 += b, c0 += c, d0 += d;
  }
  std::array<uint8_t, 16> out{};
  const uint32_t words[4] = {a0, b0, c0, d0};
  for (int w = 0; w < 4; ++w)
    for (int i = 0; i < 4; ++i) out[size_t(w * 4 + i)] = uint8_t((words[w] >> (8 * i)) & 0xff);
  return out;
}

// Built on the plain digest: the crypto library's keyed-hash call sets up per-thread state that
// the network thread (which never ends) would leak.
std::array<uint8_t, 16> NTLM::hmacMd5(std::string_view key, std::string_view message) {
  constexpr size_t kBlock = 64;
  std::string k(key);
  if (k.size() > kBlock) {
    const auto d = Digest::md5(k);
    k.assign(reinterpret_cast<const char*>(d.data()), d.size());
  }
  k.resize(kBlock, '\0');
  std::string inner(kBlock, '\0'), outer(kBlock, '\0');
  for (size_t i = 0; i < kBlock; ++i) {
    inner[i] = char(k[i] ^ 0x36);
    outer[i] = char(k[i] ^ 0x5c);
  }
  inner.append(message);
  const auto innerDigest = Digest::md5(inner);
  outer.append(reinterpret_cast<const char*>(innerDigest.data()), innerDigest.size());
  return Digest::md5(outer);
}

std::string NTLM::utf16le(std::string_view utf8) {
  std::string out;
  size_t i = 0;
  auto unit = [&out](uint32_t u) {
    out.push_back(char(u & 0xff));
    out.push_back(char(u >> 8));
  };
  while (i < utf8.size()) {
    const auto c = uint8_t(utf8[i]);
    uint32_t cp = 0xfffd;
    size_t n = 1;
    if (c < 0x80) cp = c;
    else if ((c & 0xe0) == 0xc0) n = 2, cp = c & 0x1f;
    else if ((c & 0xf0) == 0xe0) n = 3, cp = c & 0x0f;
    else if ((c & 0xf8) == 0xf0) n = 4, cp = c & 0x07;
    if (n > 1) {
      if (i + n > utf8.size()) {
        cp = 0xfffd, n = 1;
      } else {
        for (size_t k = 1; k < n; ++k) {
          const auto cc = uint8_t(utf8[i + k]);
          if ((cc & 0xc0) != 0x80) {
            cp = 0xfffd, n = k;
            break;
          }
          cp = (cp << 6) | (cc & 0x3f);
        }
      }
    }
    i += n;
    if (cp >= 0x10000 && cp <= 0x10ffff) {
      cp -= 0x10000;
      unit(0xd800 + (cp >> 10));
      unit(0xdc00 + (cp & 0x3ff));
    } else {
      unit(cp > 0x10ffff ? 0xfffd : cp);
    }
  }
  return out;
}

std::array<uint8_t, 16> NTLM::ntowfv2(std::string_view user, std::string_view password, std::string_view domain) {
  std::string upper(user);
  for (auto& ch : upper) ch = char(std::toupper(static_cast<unsigned char>(ch)));
  const auto key = md4(utf16le(password));
  return hmacMd5(view(key), utf16le(upper + std::string(domain)));
}

std::string NTLM::negotiateMessage() {
  std::string m(32, '\0');
  std::memcpy(m.data(), kSignature, 8);
  put32(m, 8, 1);
  put32(m, 12, kClientFlags);
  return m;
}

std::optional<NTLM::Challenge> NTLM::parseChallenge(std::string_view m) {
  if (m.size() < 32 || std::memcmp(m.data(), kSignature, 8) != 0 || get32(m, 8) != 2) return std::nullopt;
  Challenge c;
  c.flags = get32(m, 20);
  std::memcpy(c.serverChallenge.data(), m.data() + 24, 8);
  if (m.size() >= 48) {
    const size_t length = get16(m, 40);
    const size_t offset = get32(m, 44);
    if (length) {
      if (offset > m.size() || length > m.size() - offset) return std::nullopt;
      c.targetInfo = std::string(m.substr(offset, length));
    }
  }
  return c;
}

std::string NTLM::authenticateMessage(const Challenge& challenge, std::string_view user, std::string_view password,
                                      std::string_view domain, std::string_view workstation,
                                      std::optional<uint64_t> timestamp,
                                      std::optional<std::array<uint8_t, 8>> clientChallenge) {
  if (!timestamp) {
    const auto since1970 = std::chrono::duration_cast<std::chrono::nanoseconds>(
                               std::chrono::system_clock::now().time_since_epoch())
                               .count();
    timestamp = uint64_t(since1970 / 100) + 116444736000000000ull;
  }
  if (!clientChallenge) {
    std::array<uint8_t, 8> random{};
    // From the kernel, as for Digest's client nonce (no per-thread state of the crypto library).
    if (getrandom(random.data(), random.size(), 0) != ssize_t(random.size())) throw std::runtime_error("no random bytes");
    clientChallenge = random;
  }
  const auto key = ntowfv2(user, password, domain);
  const std::string_view server = view(challenge.serverChallenge);

  std::string blob(28, '\0');
  blob[0] = 1, blob[1] = 1;
  for (int i = 0; i < 8; ++i) blob[size_t(8 + i)] = char((*timestamp >> (8 * i)) & 0xff);
  std::memcpy(blob.data() + 16, clientChallenge->data(), 8);
  blob += challenge.targetInfo;
  blob.append(4, '\0');

  const auto proof = hmacMd5(view(key), std::string(server) + blob);
  const std::string nt = std::string(view(proof)) + blob;
  const auto lmProof = hmacMd5(view(key), std::string(server) + std::string(view(*clientChallenge)));
  const std::string lm = std::string(view(lmProof)) + std::string(view(*clientChallenge));

  const std::string domainU = utf16le(domain), userU = utf16le(user), hostU = utf16le(workstation);
  std::string m(kType3HeaderLength, '\0');
  std::memcpy(m.data(), kSignature, 8);
  put32(m, 8, 3);
  auto field = [&m](size_t at, const std::string& value) {
    put16(m, at, uint16_t(value.size()));
    put16(m, at + 2, uint16_t(value.size()));
    put32(m, at + 4, uint32_t(m.size()));
    m += value;
  };
  field(12, lm);
  field(20, nt);
  field(28, domainU);
  field(36, userU);
  field(44, hostU);
  field(52, std::string());
  put32(m, 60, kClientFlags | (challenge.flags & kTargetInfoFlag));
  return m;
}

}  // namespace kit
