#pragma once
// The form the kit instantiates, for an application to restyle.

#include "share/ui/ShareFormController.h"

namespace tolva {

class ShareCustomFormController : public ShareFormController {
 public:
  using ShareFormController::ShareFormController;
  std::string className() const override { return "ShareCustomFormController"; }
};

}  // namespace tolva
