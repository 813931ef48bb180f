#include "kit/ui/ActivityIndicatorView.h"

namespace kit {

namespace {

double sideOf(ActivityIndicatorView::Style s) { return s == ActivityIndicatorView::Style::WhiteLarge ? 37 : 20; }

}  // namespace

ActivityIndicatorView::ActivityIndicatorView(Style style) : View({0, 0, sideOf(style), sideOf(style)}), style_(style) {
  setHidden(true);
}

ActivityIndicatorView::ActivityIndicatorView(Rect frame) : View(frame), style_(Style::White) { setHidden(true); }

void ActivityIndicatorView::setStyle(Style s) {
  style_ = s;
  notify(ViewChange::Content);
}

void ActivityIndicatorView::startAnimating() {
  if (animating_) return;
  animating_ = true;
  setHidden(false);
  notify(ViewChange::State);
}

void ActivityIndicatorView::stopAnimating() {
  if (!animating_) return;
  animating_ = false;
  if (hidesWhenStopped_) setHidden(true);
  notify(ViewChange::State);
}

void ActivityIndicatorView::setHidesWhenStopped(bool h) {
  hidesWhenStopped_ = h;
  if (!animating_) setHidden(h);
}

void ActivityIndicatorView::setColor(std::optional<Color> c) {
  color_ = c;
  notify(ViewChange::Content);
}

}  // namespace kit
