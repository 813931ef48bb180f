#include "share/ShareRegistration.h"

#include "share/core/ShareSharer.h"

namespace tolva {

void registerShareClasses(kit::ClassRegistry& registry) { ShareSharer::registerBase(registry); }

}  // namespace tolva
