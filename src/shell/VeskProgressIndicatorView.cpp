#include "shell/VeskProgressIndicatorView.h"

#include <algorithm>
#include <cmath>

#include "kit/ui/Color.h"

namespace tolva {

VeskProgressIndicatorView::VeskProgressIndicatorView(kit::Rect frame) : kit::View(frame) {
  setBackgroundColor(kit::Color::clearColor());
  thumb_ = kit::View::view();
  thumb_->setBackgroundColor(kit::Color::blackColor().withAlpha(kThumbAlpha));
  thumb_->setUserInteractionEnabled(false);
  thumb_->setHidden(true);
  addSubview(thumb_.get());
}

void VeskProgressIndicatorView::setDataSource(VeskProgressIndicatorDatasource* d) {
  dataSource_ = d;
  updateProgress();
}

void VeskProgressIndicatorView::updateProgress() {
  drawRect(bounds());
  setNeedsDisplay();
}

void VeskProgressIndicatorView::layoutSubviews() {
  kit::View::layoutSubviews();
  drawRect(bounds());
}

std::optional<kit::Rect> VeskProgressIndicatorView::thumbRect(kit::Rect rect, kit::Point offset, double visibleHeight,
                                                              double contentHeight) {
  double y = rect.y(), h = rect.height(), v = visibleHeight;
  const double oy = offset.y;
  // Pulled down beyond the top: the track and the visible part start that much lower.
  if (oy < 0) {
    y -= oy;
    h += oy;
    v += oy;
  }
  // No content, or a track pulled away entirely, has nothing to show (and
  // must not divide by zero).
  if (!(contentHeight > 0) || !(h > 0) || !std::isfinite(oy) || !std::isfinite(v)) return std::nullopt;
  const double top = y + (std::max(oy, 0.0) / contentHeight) * h;
  double length = std::max((v / contentHeight) * h, kMinimumThumb);
  if (top + length > y + h) length = y + h - top;
  if (!(length > 0)) return std::nullopt;
  return kit::Rect(rect.x(), top, rect.width(), length);
}

void VeskProgressIndicatorView::drawRect(kit::Rect rect) {
  // Clearing is hiding the thumb; drawing is placing it.
  thumb_->setHidden(true);
  if (!dataSource_) return;
  std::optional<kit::Rect> r =
      thumbRect(rect, dataSource_->offset(), dataSource_->visibleSize().height, dataSource_->contentSize().height);
  if (!r) return;
  thumb_->setFrame(*r);
  thumb_->setHidden(false);
}

}  // namespace tolva
