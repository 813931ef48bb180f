#include "share/oauth/OABase64.h"

namespace tolva {
namespace {

constexpr size_t kLine = 72;

}  // namespace

size_t OABase64EncodedSize(size_t length) {
  size_t chars = (length + 2) / 3 * 4;
  return chars + chars / kLine * 2;
}

bool OABase64Encode(const uint8_t* bytes, size_t length, char* out, size_t* size) {
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  if (!size || (length && (!bytes || !out))) return false;
  const size_t needed = OABase64EncodedSize(length);
  if (*size < needed) return false;
  size_t o = 0, column = 0;
  auto put = [&](char c) {
    out[o++] = c;
    if (++column == kLine) {
      out[o++] = '\r';
      out[o++] = '\n';
      column = 0;
    }
  };
  for (size_t i = 0; i < length; i += 3) {
    uint32_t v = uint32_t(bytes[i]) << 16;
    if (i + 1 < length) v |= uint32_t(bytes[i + 1]) << 8;
    if (i + 2 < length) v |= bytes[i + 2];
    put(kAlphabet[(v >> 18) & 63]);
    put(kAlphabet[(v >> 12) & 63]);
    put(i + 1 < length ? kAlphabet[(v >> 6) & 63] : '=');
    put(i + 2 < length ? kAlphabet[v & 63] : '=');
  }
  *size = o;
  return true;
}

}  // namespace tolva
