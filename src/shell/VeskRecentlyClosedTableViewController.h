#pragma once
// Stand-in for the recently-closed list: a screen that knows its select
// delegate and its popover and hands a chosen URL to the delegate. The table
// of closed tabs comes with the real list.

#include <string>

#include "kit/ui/PopoverController.h"
#include "kit/ui/ViewController.h"

namespace tolva {

class VeskRecentlyClosedTableViewControllerDelegate {
 public:
  virtual ~VeskRecentlyClosedTableViewControllerDelegate() = default;
  virtual void onSelect(const std::string& url) = 0;
};

class VeskRecentlyClosedTableViewController : public kit::ViewController {
 public:
  VeskRecentlyClosedTableViewController() = default;

  VeskRecentlyClosedTableViewControllerDelegate* selectDelegate() const noexcept { return delegate_; }
  void setSelectDelegate(VeskRecentlyClosedTableViewControllerDelegate* d) { delegate_ = d; }
  kit::PopoverController* pop() const { return pop_.lock().get(); }
  void setPop(kit::PopoverController* p) { pop_ = p; }
  // The user picked an entry.
  void select(const std::string& url);

  // Only the upright portrait.
  bool shouldAutorotateToInterfaceOrientation(kit::InterfaceOrientation o) override {
    return o == kit::InterfaceOrientation::Portrait;
  }
  std::string className() const override { return "VeskRecentlyClosedTableViewController"; }

 private:
  VeskRecentlyClosedTableViewControllerDelegate* delegate_ = nullptr;
  kit::WeakRef<kit::PopoverController> pop_;  // the popover owns this screen
};

}  // namespace tolva
