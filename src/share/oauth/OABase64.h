#pragma once
// Base64 (RFC 4648, "=" padding) into a caller's buffer, with a CR LF after
// every 72 output characters. Fails, writing nothing, when the buffer is too
// small; on success `size` becomes the output length.

#include <cstddef>
#include <cstdint>

namespace tolva {

// The room OABase64Encode needs for `length` input bytes.
size_t OABase64EncodedSize(size_t length);
bool OABase64Encode(const uint8_t* bytes, size_t length, char* out, size_t* size);

}  // namespace tolva
