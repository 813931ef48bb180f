#pragma once
// A bar filled to a fraction between 0 and 1.

#include <optional>

#include "kit/ui/View.h"

namespace kit {

class ProgressView : public View {
 public:
  enum class Style { Default = 0, Bar = 1 };

  explicit ProgressView(Style style = Style::Default);
  explicit ProgressView(Rect frame);

  double progress() const noexcept { return progress_; }
  // Clamped to 0..1; NaN counts as 0.
  void setProgress(double p, bool animated = false);
  Style style() const noexcept { return style_; }
  void setStyle(Style s);
  const std::optional<Color>& progressTintColor() const noexcept { return progressTint_; }
  void setProgressTintColor(std::optional<Color> c);
  const std::optional<Color>& trackTintColor() const noexcept { return trackTint_; }
  void setTrackTintColor(std::optional<Color> c);

  std::string className() const override { return "ProgressView"; }

 private:
  Style style_;
  double progress_ = 0;
  std::optional<Color> progressTint_;
  std::optional<Color> trackTint_;
};

}  // namespace kit
