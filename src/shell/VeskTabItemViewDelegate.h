#pragma once
// What a tab item tells the tab manager.

namespace tolva {

class VeskTabItemView;

class VeskTabItemViewDelegate {
 public:
  virtual ~VeskTabItemViewDelegate() = default;
  virtual void onCloseClicked(VeskTabItemView& item) = 0;
  virtual void onDoubleTapped(VeskTabItemView& item) = 0;
};

}  // namespace tolva
