#include "kit/ui/Color.h"

#include <cstdio>

namespace kit {

std::string Color::description() const {
  char buf[96];
  std::snprintf(buf, sizeof buf, "RGBA(%g, %g, %g, %g)", red, green, blue, alpha);
  return buf;
}

}  // namespace kit
