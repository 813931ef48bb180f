#pragma once
// Stand-in for the page's own scroll indicator: a view that knows its data
// source. Drawing the indicator from it comes with the real view.

#include "kit/ui/Geometry.h"
#include "kit/ui/View.h"

namespace tolva {

class VeskProgressIndicatorDatasource {
 public:
  virtual ~VeskProgressIndicatorDatasource() = default;
  virtual kit::Size contentSize() = 0;
  virtual kit::Size visibleSize() = 0;
  virtual kit::Point offset() = 0;
};

class VeskProgressIndicatorView : public kit::View {
 public:
  explicit VeskProgressIndicatorView(kit::Rect frame = {}) : kit::View(frame) {}

  VeskProgressIndicatorDatasource* dataSource() const noexcept { return dataSource_; }
  void setDataSource(VeskProgressIndicatorDatasource* d) { dataSource_ = d; }

  std::string className() const override { return "VeskProgressIndicatorView"; }

 private:
  VeskProgressIndicatorDatasource* dataSource_ = nullptr;  // not owned
};

}  // namespace tolva
