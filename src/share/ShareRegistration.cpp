#include "share/ShareRegistration.h"

#include "share/core/ShareSharer.h"
#include "share/twitter/ShareTwitter.h"
#include "share/web/ShareInstapaper.h"
#include "share/web/SharePinboard.h"
#include "share/web/ShareReadItLater.h"
#include "share/web/ShareTumblr.h"

namespace tolva {

void registerShareClasses(kit::ClassRegistry& registry) {
  ShareSharer::registerBase(registry);
  ShareSharer::registerSharerClass<ShareInstapaper>(registry, "ShareInstapaper");
  ShareSharer::registerSharerClass<SharePinboard>(registry, "SharePinboard");
  ShareSharer::registerSharerClass<ShareReadItLater>(registry, "ShareReadItLater");
  ShareSharer::registerSharerClass<ShareTumblr>(registry, "ShareTumblr");
  ShareSharer::registerSharerClass<ShareTwitter>(registry, "ShareTwitter");
}

}  // namespace tolva
