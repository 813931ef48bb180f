#include "data/BookmarkScreenParts.h"

#include "kit/ui/Color.h"
#include "kit/ui/Device.h"
#include "kit/ui/NavigationBar.h"
#include "kit/ui/NavigationController.h"
#include "kit/ui/Toolbar.h"

namespace tolva::BookmarkScreenParts {

void tintBarsOnPhone(kit::ViewController& screen) {
  if (kit::Device::currentDevice().isPad()) return;
  kit::NavigationController* nav = screen.navigationController();
  if (!nav) return;
  nav->toolbar()->setTintColor(kit::Color::lightGrayColor());
  nav->navigationBar()->setTintColor(kit::Color::lightGrayColor());
}

kit::Ref<kit::Image> picture(const std::string& name) { return kit::Image::imageNamed(name); }

}  // namespace tolva::BookmarkScreenParts
