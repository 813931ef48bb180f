#include "shell/VeskRecentlyClosedTableViewController.h"

namespace tolva {

void VeskRecentlyClosedTableViewController::select(const std::string& url) {
  if (delegate_) delegate_->onSelect(url);
}

}  // namespace tolva
