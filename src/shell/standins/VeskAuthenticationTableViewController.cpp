#include "shell/standins/VeskAuthenticationTableViewController.h"

#include "shell/VeskWebView.h"

namespace tolva {

VeskWebView* VeskAuthenticationTableViewController::veskWebView() const {
  return dynamic_cast<VeskWebView*>(page_.lock().get());
}

void VeskAuthenticationTableViewController::setVeskWebView(VeskWebView* page) { page_ = page; }

}  // namespace tolva
