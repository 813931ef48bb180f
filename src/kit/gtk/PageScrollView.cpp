#include "kit/gtk/PageScrollView.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "kit/gtk/WebKitView.h"

namespace kit::gtk {

PageScrollView::PageScrollView(WebKitView* owner, Rect frame) : ScrollView(frame), owner_(owner) {}

bool PageScrollView::parseMetrics(const std::string& text, Point& offset, Size& size) {
  double v[4];
  int used = 0;
  if (std::sscanf(text.c_str(), "%lf,%lf,%lf,%lf%n", &v[0], &v[1], &v[2], &v[3], &used) != 4) return false;
  if (static_cast<size_t>(used) != text.size()) return false;
  for (double d : v)
    if (!std::isfinite(d)) return false;
  if (v[2] < 0 || v[3] < 0) return false;
  offset = {v[0], v[1]};
  size = {v[2], v[3]};
  return true;
}

void PageScrollView::pageReported(Point offset, Size contentSize) {
  const double band = contentInset().top;
  offset.y -= band;
  contentSize.height = std::max(0.0, contentSize.height - band);
  fromPage_ = true;
  if (contentSize != this->contentSize()) setContentSize(contentSize);
  if (offset != contentOffset()) setContentOffset(offset);
  fromPage_ = false;
}

void PageScrollView::setBounds(Rect bounds) {
  const Point before = this->bounds().origin;
  ScrollView::setBounds(bounds);
  const Point now = this->bounds().origin;
  if (fromPage_ || !owner_ || now == before) return;
  char script[96];
  std::snprintf(script, sizeof script, "window.scrollTo(%d,%d)", static_cast<int>(std::lround(now.x)),
                static_cast<int>(std::lround(now.y + contentInset().top)));
  owner_->evaluateAsync(script, nullptr);
}

void PageScrollView::setContentInset(EdgeInsets e) {
  ScrollView::setContentInset(e);
  if (owner_) owner_->setTopBand(e.top);
}

}  // namespace kit::gtk
