#include "data/Resizing.h"

namespace tolva::Resizing {

kit::Ref<kit::Image> scaleToSize(const kit::Image& image, kit::Size size) { return image.scaledToSize(size); }

}  // namespace tolva::Resizing
