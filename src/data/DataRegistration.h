#pragma once
// What the data subsystem offers by name: the bookmark-file import screen,
// which the settings open by its class name. Called with the shell's own
// registration (a static library's unreferenced registration objects would be
// dropped by the linker).

#include "kit/foundation/ClassRegistry.h"

namespace tolva {

void registerDataClasses(kit::ClassRegistry& registry);

}  // namespace tolva
