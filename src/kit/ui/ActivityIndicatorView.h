#pragma once
// A spinner. Hidden while stopped, unless told otherwise.

#include <optional>

#include "kit/ui/View.h"

namespace kit {

class ActivityIndicatorView : public View {
 public:
  enum class Style { WhiteLarge = 0, White = 1, Gray = 2 };

  explicit ActivityIndicatorView(Style style = Style::White);
  explicit ActivityIndicatorView(Rect frame);

  Style style() const noexcept { return style_; }
  void setStyle(Style s);
  void startAnimating();
  void stopAnimating();
  bool isAnimating() const noexcept { return animating_; }
  bool hidesWhenStopped() const noexcept { return hidesWhenStopped_; }
  void setHidesWhenStopped(bool h);
  const std::optional<Color>& color() const noexcept { return color_; }
  void setColor(std::optional<Color> c);

  std::string className() const override { return "ActivityIndicatorView"; }

 private:
  Style style_;
  bool animating_ = false;
  bool hidesWhenStopped_ = true;
  std::optional<Color> color_;
};

}  // namespace kit
