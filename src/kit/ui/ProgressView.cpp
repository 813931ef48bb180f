#include "kit/ui/ProgressView.h"

#include <algorithm>
#include <cmath>

namespace kit {

ProgressView::ProgressView(Style style) : View({0, 0, 150, 9}), style_(style) {}

ProgressView::ProgressView(Rect frame) : View(frame), style_(Style::Default) {}

void ProgressView::setProgress(double p, bool) {
  p = std::isnan(p) ? 0 : std::clamp(p, 0.0, 1.0);
  if (p == progress_) return;
  progress_ = p;
  notify(ViewChange::Content);
}

void ProgressView::setStyle(Style s) {
  style_ = s;
  notify(ViewChange::Appearance);
}

void ProgressView::setProgressTintColor(std::optional<Color> c) {
  progressTint_ = c;
  notify(ViewChange::Appearance);
}

void ProgressView::setTrackTintColor(std::optional<Color> c) {
  trackTint_ = c;
  notify(ViewChange::Appearance);
}

}  // namespace kit
