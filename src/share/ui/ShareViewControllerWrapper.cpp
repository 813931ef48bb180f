#include "share/ui/ShareViewControllerWrapper.h"

#include "settings/PrefAutorotation.h"

namespace tolva {

bool ShareViewControllerWrapper::shouldAutorotateToInterfaceOrientation(kit::InterfaceOrientation o) {
  return PrefAutorotation::shouldAutorotate(this, o);
}

}  // namespace tolva
