#include "share/ShareRegistration.h"

#include "share/core/ShareSharer.h"
#include "share/notes/ShareEvernote.h"
#include "share/social/ShareFacebook.h"

namespace tolva {

void registerShareClasses(kit::ClassRegistry& registry) {
  ShareSharer::registerBase(registry);
  ShareSharer::registerSharerClass<ShareEvernote>(registry, ShareEvernote::kName);
  ShareSharer::registerSharerClass<ShareFacebook>(registry, ShareFacebook::kName);
}

}  // namespace tolva
