#pragma once
// Every tunable value of the sharing kit, one virtual function per key, each
// answering the kit's default. An application derives from it and overrides
// what it needs; ShareConfiguration asks a key by its name (valueForKey).

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kit/foundation/Object.h"
#include "kit/ui/Color.h"

namespace tolva {

class DefaultShareConfigurator : public kit::Object {
 public:
  virtual std::string appName() const { return "My App Name"; }
  virtual std::string appURL() const { return "http://example.com"; }
  virtual std::string vkontakteAppId() const { return ""; }
  virtual std::string facebookAppId() const { return ""; }
  virtual std::string facebookLocalAppId() const { return ""; }
  virtual std::vector<std::string> facebookListOfPermissions() const { return {"publish_stream", "offline_access"}; }
  virtual std::string readItLaterKey() const { return ""; }
  virtual bool forcePreIOS5TwitterAccess() const { return false; }
  virtual std::string twitterConsumerKey() const { return ""; }
  virtual std::string twitterSecret() const { return ""; }
  virtual std::string twitterCallbackUrl() const { return ""; }
  virtual long twitterUseXAuth() const { return 0; }
  virtual std::string twitterUsername() const { return ""; }
  virtual std::string evernoteUserStoreURL() const { return ""; }
  virtual std::string evernoteNetStoreURLBase() const { return ""; }
  virtual std::string evernoteConsumerKey() const { return ""; }
  virtual std::string evernoteSecret() const { return ""; }
  virtual std::string flickrConsumerKey() const { return ""; }
  virtual std::string flickrSecretKey() const { return ""; }
  virtual std::string flickrCallbackUrl() const { return "app://flickr"; }
  virtual std::string bitLyLogin() const { return ""; }
  virtual std::string bitLyKey() const { return ""; }
  virtual std::string linkedInConsumerKey() const { return ""; }
  virtual std::string linkedInSecret() const { return ""; }
  virtual std::string linkedInCallbackUrl() const { return ""; }
  virtual std::string foursquareV2ClientId() const { return ""; }
  virtual std::string foursquareV2RedirectURI() const { return ""; }
  virtual std::string barStyle() const { return "UIBarStyleDefault"; }
  // The navigation bar's tint for a screen; none keeps the platform's.
  virtual std::optional<kit::Color> barTintForView(const kit::Object* screen) const;
  virtual std::optional<kit::Color> formFontColor() const { return std::nullopt; }
  virtual std::optional<kit::Color> formBackgroundColor() const { return std::nullopt; }
  virtual std::string modalPresentationStyle() const { return "UIModalPresentationFormSheet"; }
  virtual std::string modalTransitionStyle() const { return "UIModalTransitionStyleCoverVertical"; }
  virtual long shareMenuAlphabeticalOrder() const { return 0; }
  virtual long sharedWithSignature() const { return 0; }
  virtual std::string sharersPlistName() const { return "ShareSharers.plist"; }
  virtual bool showActionSheetMoreButton() const { return true; }
  virtual std::vector<std::string> defaultFavoriteURLSharers() const;
  virtual std::vector<std::string> defaultFavoriteImageSharers() const;
  virtual std::vector<std::string> defaultFavoriteTextSharers() const;
  virtual std::vector<std::string> defaultFavoriteFileSharers() const;
  virtual bool autoOrderFavoriteSharers() const { return true; }
  virtual bool usePlaceholders() const { return false; }
  virtual long maxFavCount() const { return 3; }
  virtual std::string favsPrefixKey() const { return "SHARE_FAVS_"; }
  virtual std::string authPrefix() const { return "SHARE_AUTH_"; }
  virtual bool allowOffline() const { return true; }
  virtual bool allowAutoShare() const { return true; }

  // The value of the key named `key` as an object (texts as strings, lists as
  // arrays of strings, switches and integers as numbers, colours as
  // ShareColor), or null for a name that is no key or a colour left unset.
  // Keys ending in ':' take `argument`.
  kit::Ref<kit::Object> valueForKey(std::string_view key, const kit::Object* argument) const;
  // Whether `key` names a configuration key.
  static bool hasKey(std::string_view key);

  std::string className() const override { return "DefaultShareConfigurator"; }
};

}  // namespace tolva
