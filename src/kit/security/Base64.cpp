#include "kit/security/Base64.h"

namespace kit {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// 0..63 for alphabet characters, -1 otherwise.
int sextet(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

bool isSkippedSpace(unsigned char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::optional<std::vector<std::uint8_t>> fail(std::string* error, std::string reason) {
  if (error) *error = std::move(reason);
  return std::nullopt;
}

}  // namespace

std::string Base64::encode(std::string_view bytes) {
  return encode(std::span<const std::uint8_t>(
      reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

std::string Base64::encode(std::span<const std::uint8_t> bytes) { return encode(bytes, 0, {}); }

size_t Base64::encodedLength(size_t inputLength, size_t lineLength, size_t lineBreakLength) {
  size_t chars = (inputLength + 2) / 3 * 4;
  if (lineLength == 0) return chars;
  return chars + chars / lineLength * lineBreakLength;
}

std::string Base64::encode(std::span<const std::uint8_t> bytes, size_t lineLength,
                           std::string_view lineBreak) {
  std::string out;
  out.reserve(encodedLength(bytes.size(), lineLength, lineBreak.size()));
  size_t column = 0;
  auto put = [&](char c) {
    out.push_back(c);
    if (lineLength != 0 && ++column == lineLength) {
      out.append(lineBreak);
      column = 0;
    }
  };
  size_t i = 0;
  const size_t n = bytes.size();
  for (; i + 3 <= n; i += 3) {
    std::uint32_t v = (std::uint32_t(bytes[i]) << 16) | (std::uint32_t(bytes[i + 1]) << 8) | bytes[i + 2];
    put(kAlphabet[(v >> 18) & 63]);
    put(kAlphabet[(v >> 12) & 63]);
    put(kAlphabet[(v >> 6) & 63]);
    put(kAlphabet[v & 63]);
  }
  if (size_t rest = n - i; rest > 0) {
    std::uint32_t v = std::uint32_t(bytes[i]) << 16;
    if (rest == 2) v |= std::uint32_t(bytes[i + 1]) << 8;
    put(kAlphabet[(v >> 18) & 63]);
    put(kAlphabet[(v >> 12) & 63]);
    put(rest == 2 ? kAlphabet[(v >> 6) & 63] : '=');
    put('=');
  }
  return out;
}

std::optional<std::vector<std::uint8_t>> Base64::decode(std::string_view text, std::string* error) {
  std::vector<std::uint8_t> out;
  out.reserve(text.size() / 4 * 3);
  std::uint32_t quantum = 0;
  int filled = 0;   // sextets in the current quantum
  int padding = 0;  // '=' seen so far; only more '=' may follow
  for (size_t pos = 0; pos < text.size(); ++pos) {
    unsigned char c = static_cast<unsigned char>(text[pos]);
    if (isSkippedSpace(c)) continue;
    if (c == '=') {
      // Padding completes a quantum of 2 or 3 characters.
      if (filled + padding < 2)
        return fail(error, "misplaced padding at offset " + std::to_string(pos));
      if (++padding + filled > 4)
        return fail(error, "too much padding at offset " + std::to_string(pos));
      continue;
    }
    int v = sextet(c);
    if (v < 0)
      return fail(error, "invalid character 0x" + std::string(1, "0123456789abcdef"[c >> 4]) +
                             std::string(1, "0123456789abcdef"[c & 15]) + " at offset " +
                             std::to_string(pos));
    if (padding > 0)
      return fail(error, "data after padding at offset " + std::to_string(pos));
    quantum = (quantum << 6) | std::uint32_t(v);
    if (++filled == 4) {
      out.push_back(std::uint8_t(quantum >> 16));
      out.push_back(std::uint8_t(quantum >> 8));
      out.push_back(std::uint8_t(quantum));
      quantum = 0;
      filled = 0;
    }
  }
  if (padding == 0) {
    if (filled != 0) return fail(error, "truncated input: missing padding");
    return out;
  }
  if (filled + padding != 4) return fail(error, "truncated input: incomplete padding");
  // 2 characters carry one byte, 3 carry two; leftover low bits are ignored.
  if (filled == 2) {
    out.push_back(std::uint8_t(quantum >> 4));
  } else {
    out.push_back(std::uint8_t(quantum >> 10));
    out.push_back(std::uint8_t(quantum >> 2));
  }
  return out;
}

}  // namespace kit
