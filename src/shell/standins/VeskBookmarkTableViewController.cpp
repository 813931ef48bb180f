#include "shell/standins/VeskBookmarkTableViewController.h"

#include "kit/ui/NavigationController.h"
#include "shell/VeskWebView.h"

namespace tolva {

VeskWebView* VeskBookmarkTableViewController::targetVeskView() const {
  return dynamic_cast<VeskWebView*>(page_.lock().get());
}

void VeskBookmarkTableViewController::setTargetVeskView(VeskWebView* page) { page_ = page; }

void VeskBookmarkTableViewController::onClose() {
  kit::ViewController* shown = navigationController();
  if (!shown) shown = this;
  if (kit::ViewController* presenter = shown->presentingViewController()) presenter->dismissViewControllerAnimated(true);
}

}  // namespace tolva
