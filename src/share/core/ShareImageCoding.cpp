#include "share/core/ShareImageCoding.h"

namespace tolva {

kit::Ref<kit::Data> ShareImageCoding::png(const kit::Image*) { return nullptr; }

kit::Ref<kit::Data> ShareImageCoding::jpeg(const kit::Image*, double) { return nullptr; }

kit::Ref<kit::Image> ShareImageCoding::decode(const kit::Data*) { return nullptr; }

}  // namespace tolva
