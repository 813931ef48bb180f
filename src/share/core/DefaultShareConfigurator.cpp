#include "share/core/DefaultShareConfigurator.h"

#include <functional>
#include <unordered_map>

#include "kit/foundation/Array.h"
#include "kit/foundation/Number.h"
#include "kit/foundation/String.h"
#include "share/core/ShareColor.h"

namespace tolva {
namespace {

using C = DefaultShareConfigurator;
using Getter = std::function<kit::Ref<kit::Object>(const C&, const kit::Object*)>;

kit::Ref<kit::Object> box(const std::string& s) { return kit::str(s); }
kit::Ref<kit::Object> box(bool b) { return kit::boolean(b); }
kit::Ref<kit::Object> box(long n) { return kit::Number::numberWithLong(n); }
kit::Ref<kit::Object> box(const std::vector<std::string>& list) {
  auto out = kit::MutableArray::array();
  for (const auto& s : list) out->addObject(kit::str(s));
  return out;
}
kit::Ref<kit::Object> box(const std::optional<kit::Color>& c) {
  return c ? kit::Ref<kit::Object>(ShareColor::withColor(*c)) : nullptr;
}

template <class R>
Getter getter(R (C::*fn)() const) {
  return [fn](const C& c, const kit::Object*) { return box((c.*fn)()); };
}

const std::unordered_map<std::string_view, Getter>& table() {
  static const std::unordered_map<std::string_view, Getter> keys = {
      {"appName", getter(&C::appName)},
      {"appURL", getter(&C::appURL)},
      {"vkontakteAppId", getter(&C::vkontakteAppId)},
      {"facebookAppId", getter(&C::facebookAppId)},
      {"facebookLocalAppId", getter(&C::facebookLocalAppId)},
      {"facebookListOfPermissions", getter(&C::facebookListOfPermissions)},
      {"readItLaterKey", getter(&C::readItLaterKey)},
      {"forcePreIOS5TwitterAccess", getter(&C::forcePreIOS5TwitterAccess)},
      {"twitterConsumerKey", getter(&C::twitterConsumerKey)},
      {"twitterSecret", getter(&C::twitterSecret)},
      {"twitterCallbackUrl", getter(&C::twitterCallbackUrl)},
      {"twitterUseXAuth", getter(&C::twitterUseXAuth)},
      {"twitterUsername", getter(&C::twitterUsername)},
      {"evernoteUserStoreURL", getter(&C::evernoteUserStoreURL)},
      {"evernoteNetStoreURLBase", getter(&C::evernoteNetStoreURLBase)},
      {"evernoteConsumerKey", getter(&C::evernoteConsumerKey)},
      {"evernoteSecret", getter(&C::evernoteSecret)},
      {"flickrConsumerKey", getter(&C::flickrConsumerKey)},
      {"flickrSecretKey", getter(&C::flickrSecretKey)},
      {"flickrCallbackUrl", getter(&C::flickrCallbackUrl)},
      {"bitLyLogin", getter(&C::bitLyLogin)},
      {"bitLyKey", getter(&C::bitLyKey)},
      {"linkedInConsumerKey", getter(&C::linkedInConsumerKey)},
      {"linkedInSecret", getter(&C::linkedInSecret)},
      {"linkedInCallbackUrl", getter(&C::linkedInCallbackUrl)},
      {"foursquareV2ClientId", getter(&C::foursquareV2ClientId)},
      {"foursquareV2RedirectURI", getter(&C::foursquareV2RedirectURI)},
      {"barStyle", getter(&C::barStyle)},
      {"barTintForView:", [](const C& c, const kit::Object* screen) { return box(c.barTintForView(screen)); }},
      {"formFontColor", getter(&C::formFontColor)},
      {"formBackgroundColor", getter(&C::formBackgroundColor)},
      {"modalPresentationStyle", getter(&C::modalPresentationStyle)},
      {"modalTransitionStyle", getter(&C::modalTransitionStyle)},
      {"shareMenuAlphabeticalOrder", getter(&C::shareMenuAlphabeticalOrder)},
      {"sharedWithSignature", getter(&C::sharedWithSignature)},
      {"sharersPlistName", getter(&C::sharersPlistName)},
      {"showActionSheetMoreButton", getter(&C::showActionSheetMoreButton)},
      {"defaultFavoriteURLSharers", getter(&C::defaultFavoriteURLSharers)},
      {"defaultFavoriteImageSharers", getter(&C::defaultFavoriteImageSharers)},
      {"defaultFavoriteTextSharers", getter(&C::defaultFavoriteTextSharers)},
      {"defaultFavoriteFileSharers", getter(&C::defaultFavoriteFileSharers)},
      {"autoOrderFavoriteSharers", getter(&C::autoOrderFavoriteSharers)},
      {"usePlaceholders", getter(&C::usePlaceholders)},
      {"maxFavCount", getter(&C::maxFavCount)},
      {"favsPrefixKey", getter(&C::favsPrefixKey)},
      {"authPrefix", getter(&C::authPrefix)},
      {"allowOffline", getter(&C::allowOffline)},
      {"allowAutoShare", getter(&C::allowAutoShare)},
  };
  return keys;
}

}  // namespace

std::optional<kit::Color> DefaultShareConfigurator::barTintForView(const kit::Object*) const { return std::nullopt; }

std::vector<std::string> DefaultShareConfigurator::defaultFavoriteURLSharers() const {
  return {"ShareTwitter", "ShareFacebook", "ShareReadItLater", "ShareVkontakte"};
}

std::vector<std::string> DefaultShareConfigurator::defaultFavoriteImageSharers() const {
  return {"ShareMail", "ShareFacebook", "ShareCopy", "ShareVkontakte"};
}

std::vector<std::string> DefaultShareConfigurator::defaultFavoriteTextSharers() const {
  return {"ShareMail", "ShareTwitter", "ShareFacebook", "ShareVkontakte", "ShareLinkedIn"};
}

std::vector<std::string> DefaultShareConfigurator::defaultFavoriteFileSharers() const {
  return {"ShareMail", "ShareEvernote"};
}

kit::Ref<kit::Object> DefaultShareConfigurator::valueForKey(std::string_view key, const kit::Object* argument) const {
  auto it = table().find(key);
  if (it == table().end()) return nullptr;
  return it->second(*this, argument);
}

bool DefaultShareConfigurator::hasKey(std::string_view key) { return table().count(key) != 0; }

}  // namespace tolva
