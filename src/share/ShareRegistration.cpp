#include "share/ShareRegistration.h"

#include "share/core/ShareSharer.h"
#include "share/local/ShareCopy.h"
#include "share/local/ShareMail.h"
#include "share/local/ShareMailPage.h"
#include "share/local/SharePhotoAlbum.h"
#include "share/local/ShareSafari.h"
#include "share/local/ShareTextMessage.h"
#include "share/services/instapaper/ShareInstapaper.h"
#include "share/services/pinboard/SharePinboard.h"
#include "share/services/readitlater/ShareReadItLater.h"
#include "share/services/tumblr/ShareTumblr.h"
#include "share/services/twitter/ShareTwitter.h"
#include "share/notes/ShareEvernote.h"
#include "share/social/ShareFacebook.h"

namespace tolva {

void registerShareClasses(kit::ClassRegistry& registry) {
  ShareSharer::registerBase(registry);
  ShareSharer::registerSharerClass<ShareCopy>(registry, "ShareCopy");
  ShareSharer::registerSharerClass<ShareMail>(registry, "ShareMail");
  ShareSharer::registerSharerClass<ShareMailPage>(registry, "ShareMailPage");
  ShareSharer::registerSharerClass<ShareTextMessage>(registry, "ShareTextMessage");
  ShareSharer::registerSharerClass<ShareSafari>(registry, "ShareSafari");
  ShareSharer::registerSharerClass<SharePhotoAlbum>(registry, "SharePhotoAlbum");
  ShareSharer::registerSharerClass<ShareInstapaper>(registry, "ShareInstapaper");
  ShareSharer::registerSharerClass<SharePinboard>(registry, "SharePinboard");
  ShareSharer::registerSharerClass<ShareReadItLater>(registry, "ShareReadItLater");
  ShareSharer::registerSharerClass<ShareTumblr>(registry, "ShareTumblr");
  ShareSharer::registerSharerClass<ShareTwitter>(registry, "ShareTwitter");
  ShareSharer::registerSharerClass<ShareEvernote>(registry, ShareEvernote::kName);
  ShareSharer::registerSharerClass<ShareFacebook>(registry, ShareFacebook::kName);
}

}  // namespace tolva
