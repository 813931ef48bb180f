#include "share/ShareRegistration.h"

#include "share/core/ShareSharer.h"
#include "share/notes/ShareEvernote.h"

namespace tolva {

void registerShareClasses(kit::ClassRegistry& registry) {
  ShareSharer::registerBase(registry);
  ShareSharer::registerSharerClass<ShareEvernote>(registry, ShareEvernote::kName);
}

}  // namespace tolva
