#include "http/HttpZlibStep.h"

#include <algorithm>
#include <cstdlib>
#include <new>

namespace tolva {

kit::Ref<kit::Data> HttpZlibStep::run(z_stream& stream, const uint8_t* bytes, size_t length, size_t initialOutput,
                                      const std::function<int(z_stream&)>& step, int* status) {
  size_t capacity = std::max(kMinimumOutputLength, initialOutput);
  auto* buffer = static_cast<uint8_t*>(std::malloc(capacity));
  if (!buffer) throw std::bad_alloc();

  // zlib counts input in 32-bit units; larger blocks are fed in slices.
  const uint8_t* next = bytes;
  size_t remaining = length;
  size_t produced = 0;
  int result = Z_OK;
  // An empty block still gets one call (finishing a stream needs no input).
  bool filled = length == 0;
  // The stream keeps no pointer into the output once it is handed on or freed.
  auto detach = [&stream] {
    stream.next_out = nullptr;
    stream.avail_out = 0;
  };
  for (;;) {
    if (stream.avail_in == 0 && remaining > 0) {
      const size_t slice = std::min<size_t>(remaining, 1u << 30);
      stream.next_in = const_cast<Bytef*>(next);
      stream.avail_in = static_cast<uInt>(slice);
      next += slice;
      remaining -= slice;
    }
    if (!(stream.avail_in > 0 || remaining > 0 || filled)) break;
    if (produced == capacity) {
      capacity *= 2;
      auto* grown = static_cast<uint8_t*>(std::realloc(buffer, capacity));
      if (!grown) {
        detach();
        std::free(buffer);
        throw std::bad_alloc();
      }
      buffer = grown;
    }
    const size_t space = std::min<size_t>(capacity - produced, 1u << 30);
    stream.next_out = buffer + produced;
    stream.avail_out = static_cast<uInt>(space);
    result = step(stream);
    produced += space - stream.avail_out;
    filled = stream.avail_out == 0;
    if (result == Z_STREAM_END) break;
    if (result == Z_BUF_ERROR && stream.avail_in == 0 && remaining == 0) {
      // No progress possible once the input is used up: not an error.
      result = Z_OK;
      break;
    }
    if (result != Z_OK) {
      detach();
      std::free(buffer);
      *status = result;
      return nullptr;
    }
  }
  detach();
  *status = result;
  if (produced == 0) {
    std::free(buffer);
    return kit::make<kit::Data>();
  }
  if (capacity > produced * 2 && capacity > kMinimumOutputLength) {
    if (auto* shrunk = static_cast<uint8_t*>(std::realloc(buffer, produced))) buffer = shrunk;
  }
  return kit::Data::dataWithBytesNoCopy(buffer, produced, true);
}

}  // namespace tolva
