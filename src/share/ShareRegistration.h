#pragma once
// Explicit registration of the sharers with kit's class registry (a static
// library's unreferenced registration objects would be dropped by the
// linker). The program calls it at start through the shell's registration;
// each sharer added to the kit adds its line here.

#include "kit/foundation/ClassRegistry.h"

namespace tolva {

void registerShareClasses(kit::ClassRegistry& registry);

}  // namespace tolva
