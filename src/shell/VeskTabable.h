#pragma once
// What the tab strip asks of each of its pages.

#include <string>

#include "kit/ui/Geometry.h"
#include "kit/ui/Image.h"

namespace tolva {

class VeskTabable {
 public:
  virtual ~VeskTabable() = default;
  // A picture of the page at `size`; null while the page has no web view.
  virtual kit::Ref<kit::Image> getScreenShot(kit::Size size) = 0;
  virtual std::string getTitle() = 0;
  // The tab is closing: stop loading and stop listening.
  virtual void willBeDestoryed() = 0;
  virtual void willBeViewed() = 0;
  virtual void didView() = 0;
  virtual void willBeHidden() = 0;
  virtual void settingsUpdated() = 0;
};

}  // namespace tolva
