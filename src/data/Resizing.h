#pragma once
// Redrawing a picture at another size, for the favicon store.

#include "kit/ui/Image.h"

namespace tolva::Resizing {

// A new image of `size` with the picture drawn over the whole of it.
kit::Ref<kit::Image> scaleToSize(const kit::Image& image, kit::Size size);

}  // namespace tolva::Resizing
