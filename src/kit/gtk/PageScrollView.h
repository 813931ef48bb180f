#pragma once
// The scroll view a WebKit view offers: a kit scroll view laid over the page
// whose offset and content size follow the page's scroll position and
// document size (refreshed after loads and after the user scrolls), and
// whose offset, when kit code sets it, scrolls the page. A top content
// inset lays a transparent band of that height over the document's start,
// so that what kit puts into the inset scrolls with the page; the offset
// and content size leave the band out, as kit's scroll views do.

#include "kit/ui/ScrollView.h"

namespace kit::gtk {

class WebKitView;

class PageScrollView : public ScrollView {
 public:
  explicit PageScrollView(WebKitView* owner, Rect frame);

  // The page reported its metrics (from a "x,y,width,height" answer).
  void pageReported(Point offset, Size contentSize);
  // Parses "x,y,width,height"; false when it is not that.
  static bool parseMetrics(const std::string& text, Point& offset, Size& size);
  void ownerGone() { owner_ = nullptr; }

  void setBounds(Rect bounds) override;
  void setContentInset(EdgeInsets e) override;
  std::string className() const override { return "PageScrollView"; }

 private:
  WebKitView* owner_;
  bool fromPage_ = false;
};

}  // namespace kit::gtk
