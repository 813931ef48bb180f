#include "support/PseudoRandomBody.h"

#include <openssl/evp.h>

#include <bit>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <vector>

namespace tolvatest {

PseudoRandomBody::PseudoRandomBody(uint64_t size, uint64_t seed) : size_(size), seed_(seed) {}

// Counter-mode splitmix64: word i depends only on (seed, i), so any range can
// be produced without the bytes before it.
uint64_t PseudoRandomBody::word(uint64_t index) const {
  uint64_t z = seed_ + (index + 1) * 0x9E3779B97F4A7C15ull;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

void PseudoRandomBody::read(uint64_t offset, char* out, size_t length) const {
  if (offset > size_ || length > size_ - offset) throw std::out_of_range("PseudoRandomBody::read past the end");
  auto put = [](uint64_t w, char* to, size_t from, size_t count) {
    unsigned char bytes[8];
    for (int i = 0; i < 8; ++i) bytes[i] = static_cast<unsigned char>(w >> (8 * i));
    std::memcpy(to, bytes + from, count);
  };
  if (offset % 8 != 0 && length > 0) {
    size_t within = size_t(offset % 8);
    size_t take = std::min<size_t>(8 - within, length);
    put(word(offset / 8), out, within, take);
    out += take;
    offset += take;
    length -= take;
  }
  for (; length >= 8; out += 8, offset += 8, length -= 8) {
    uint64_t w = word(offset / 8);
    if constexpr (std::endian::native == std::endian::little) std::memcpy(out, &w, 8);
    else put(w, out, 0, 8);
  }
  if (length > 0) put(word(offset / 8), out, 0, length);
}

std::string PseudoRandomBody::bytes(uint64_t offset, size_t length) const {
  std::string out(length, '\0');
  read(offset, out.data(), length);
  return out;
}

std::string PseudoRandomBody::sha256Hex() const {
  std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr);
  std::vector<char> buffer(1 << 20);
  for (uint64_t offset = 0; offset < size_;) {
    size_t n = size_t(std::min<uint64_t>(buffer.size(), size_ - offset));
    read(offset, buffer.data(), n);
    EVP_DigestUpdate(context.get(), buffer.data(), n);
    offset += n;
  }
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_DigestFinal_ex(context.get(), digest, &length);
  std::string hex;
  char two[3];
  for (unsigned i = 0; i < length; ++i) {
    std::snprintf(two, sizeof two, "%02x", digest[i]);
    hex += two;
  }
  return hex;
}

}  // namespace tolvatest
