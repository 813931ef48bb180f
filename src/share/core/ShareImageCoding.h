#pragma once
// How the sharing kit turns images into bytes and back (the item's stored
// form, the offline queue's blobs).

#include "kit/foundation/Data.h"
#include "kit/ui/Image.h"

namespace tolva {

class ShareImageCoding {
 public:
  // Null for no image or one that cannot be encoded.
  static kit::Ref<kit::Data> png(const kit::Image* image);
  static kit::Ref<kit::Data> jpeg(const kit::Image* image, double quality);
  // Null when the bytes are no image.
  static kit::Ref<kit::Image> decode(const kit::Data* data);
};

}  // namespace tolva
