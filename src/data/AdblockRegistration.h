#pragma once
// What ad blocking offers by name: the filter list screen (a settings child
// screen, made by class name) and the pattern editor's interface file.

#include "kit/foundation/ClassRegistry.h"

namespace tolva {

void registerAdblockClasses(kit::ClassRegistry& registry);

}  // namespace tolva
