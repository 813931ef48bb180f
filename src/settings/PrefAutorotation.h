#pragma once
// The rotation rule the settings screens answer with. The browser installs
// its rotation-lock rule at start; until then every orientation is allowed
// (what that rule answers while no lock is set).

#include <functional>

#include "kit/foundation/Object.h"
#include "kit/ui/InterfaceOrientation.h"

namespace tolva::PrefAutorotation {

using Rule = std::function<bool(const kit::Object* controller, kit::InterfaceOrientation orientation)>;

// Null restores the default.
void setRule(Rule rule);
bool shouldAutorotate(const kit::Object* controller, kit::InterfaceOrientation orientation);

}  // namespace tolva::PrefAutorotation
