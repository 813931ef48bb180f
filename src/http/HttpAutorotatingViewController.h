#pragma once
// A plain view controller that turns as the program's rotation rule allows; the base of the
// login dialog and of the hidden controller that presents it.

#include "kit/ui/ViewController.h"

namespace tolva {

class HttpAutorotatingViewController : public kit::ViewController {
 public:
  bool shouldAutorotateToInterfaceOrientation(kit::InterfaceOrientation orientation) override;
  std::string className() const override { return "HttpAutorotatingViewController"; }
};

}  // namespace tolva
