#pragma once
// Fetches a page's image for saving, copying or sharing, never on the main
// thread: one request on a background thread with a time-out and a size
// cap, answered on the main thread. "data:" sources (base64 or percent
// escaped) are read in place. The image is null when the fetch failed, the
// server did not answer 200, the body was too large or made no image.

#include <cstddef>
#include <functional>
#include <string>

#include "kit/ui/Image.h"

namespace tolva {

class VeskImageFetch {
 public:
  static constexpr double kTimeout = 30;
  static constexpr size_t kMaxBytes = 32 * 1024 * 1024;
  using Completion = std::function<void(kit::Ref<kit::Image> image)>;

  // `done` runs on the main thread, once.
  static void fetch(const std::string& source, Completion done);
  // The same on the calling thread (any but the main one).
  static kit::Ref<kit::Image> fetchNow(const std::string& source);
};

}  // namespace tolva
