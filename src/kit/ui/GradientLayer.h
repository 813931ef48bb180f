#pragma once
// A layer filled with a linear gradient between colours, from startPoint to
// endPoint in unit coordinates of its bounds (top to bottom by default).

#include <vector>

#include "kit/ui/Layer.h"

namespace kit {

class GradientLayer : public Layer {
 public:
  static Ref<GradientLayer> layer() { return Ref<GradientLayer>(new GradientLayer()); }

  const std::vector<Color>& colors() const noexcept { return colors_; }
  void setColors(std::vector<Color> c);
  // Stops in 0..1, one per colour; empty spreads them evenly.
  const std::vector<double>& locations() const noexcept { return locations_; }
  void setLocations(std::vector<double> l);
  Point startPoint() const noexcept { return start_; }
  void setStartPoint(Point p);
  Point endPoint() const noexcept { return end_; }
  void setEndPoint(Point p);

  std::string className() const override { return "GradientLayer"; }

 private:
  std::vector<Color> colors_;
  std::vector<double> locations_;
  Point start_{0.5, 0};
  Point end_{0.5, 1};
};

}  // namespace kit
