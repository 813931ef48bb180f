#include "kit/ui/Font.h"

#include <cmath>

namespace kit {

double Font::lineHeight() const { return std::ceil(pointSize * 1.2); }

}  // namespace kit
