#include "kit/ui/IndexPath.h"

namespace kit {

std::string toString(const IndexPath& p) {
  return "[" + std::to_string(p.section) + ", " + std::to_string(p.row) + "]";
}

}  // namespace kit
