#pragma once
// A plain screen that turns only as the rotation lock allows.

#include "kit/ui/ViewController.h"

namespace tolva {

class ShareViewControllerWrapper : public kit::ViewController {
 public:
  using kit::ViewController::ViewController;
  bool shouldAutorotateToInterfaceOrientation(kit::InterfaceOrientation orientation) override;
  std::string className() const override { return "ShareViewControllerWrapper"; }
};

}  // namespace tolva
