#include "kit/ui/GradientLayer.h"

namespace kit {

void GradientLayer::setColors(std::vector<Color> c) {
  colors_ = std::move(c);
  changed();
}

void GradientLayer::setLocations(std::vector<double> l) {
  locations_ = std::move(l);
  changed();
}

void GradientLayer::setStartPoint(Point p) {
  start_ = p;
  changed();
}

void GradientLayer::setEndPoint(Point p) {
  end_ = p;
  changed();
}

}  // namespace kit
