#include "share/ShareRegistration.h"

#include "share/core/ShareSharer.h"
#include "share/services/instapaper/ShareInstapaper.h"
#include "share/services/pinboard/SharePinboard.h"
#include "share/services/readitlater/ShareReadItLater.h"
#include "share/services/tumblr/ShareTumblr.h"
#include "share/services/twitter/ShareTwitter.h"

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
