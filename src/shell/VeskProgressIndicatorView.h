#pragma once
// The page's own vertical scroll indicator, shown beside the page while a
// trackpad scrolls it. A thumb fills the part of the view's height that
// matches the visible part of the page (at least kMinimumThumb points), in
// translucent black; pulling the page below its top shortens the track from
// above. The data source (the page view) tells sizes and offset.

#include <optional>

#include "kit/ui/Geometry.h"
#include "kit/ui/View.h"

namespace tolva {

class VeskProgressIndicatorDatasource {
 public:
  virtual ~VeskProgressIndicatorDatasource() = default;
  // Size of the scrolled content.
  virtual kit::Size contentSize() = 0;
  // Size of the visible part.
  virtual kit::Size visibleSize() = 0;
  // The content offset.
  virtual kit::Point offset() = 0;
};

class VeskProgressIndicatorView : public kit::View {
 public:
  static constexpr double kMinimumThumb = 30;
  static constexpr double kThumbAlpha = 0.6;

  explicit VeskProgressIndicatorView(kit::Rect frame = {});

  // Not owned: the page view owns this view and outlives its use.
  VeskProgressIndicatorDatasource* dataSource() const noexcept { return dataSource_; }
  void setDataSource(VeskProgressIndicatorDatasource* d);

  // The page scrolled or resized: draw again.
  void updateProgress();
  // Clears `rect` and draws the thumb in it (placed as the thumb view).
  void drawRect(kit::Rect rect);

  // Where the thumb goes in `rect` for that offset, visible height and
  // content height; none when there is nothing to show.
  static std::optional<kit::Rect> thumbRect(kit::Rect rect, kit::Point offset, double visibleHeight,
                                            double contentHeight);

  // The thumb as drawn last; hidden when none.
  kit::View* thumb() const noexcept { return thumb_.get(); }

  void layoutSubviews() override;
  std::string className() const override { return "VeskProgressIndicatorView"; }

 private:
  VeskProgressIndicatorDatasource* dataSource_ = nullptr;
  kit::Ref<kit::View> thumb_;
};

}  // namespace tolva
