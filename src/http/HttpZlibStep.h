#pragma once
// The buffer loop both gzip helpers share: feed one block of input to a zlib stream and collect
// everything it produces, growing the output buffer geometrically.

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <functional>

#include "kit/foundation/Data.h"

namespace tolva {

class HttpZlibStep {
 public:
  // Smallest output buffer: tiny inputs still get room for headers and trailers.
  static constexpr size_t kMinimumOutputLength = 4096;

  // Runs `step` (deflate or inflate with the chosen flush mode) over `length` bytes until the
  // input is used and the last call left output space free, or the stream ended. Answers the
  // bytes produced (possibly empty, never null) and Z_OK / Z_STREAM_END in *status, or null
  // with zlib's failing code in *status.
  static kit::Ref<kit::Data> run(z_stream& stream, const uint8_t* bytes, size_t length, size_t initialOutput,
                                 const std::function<int(z_stream&)>& step, int* status);
};

}  // namespace tolva
