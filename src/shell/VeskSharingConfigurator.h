#pragma once
// The browser's sharing configuration: its name and web page, the services'
// keys and the bar tints of the two services with a colour of their own.

#include "share/core/DefaultShareConfigurator.h"

namespace tolva {

class VeskSharingConfigurator : public DefaultShareConfigurator {
 public:
  std::string appName() const override { return "Tolva Browser"; }
  std::string appURL() const override;
  std::string vkontakteAppId() const override { return "3705182"; }
  std::string facebookAppId() const override { return "482913607558214"; }
  std::string facebookLocalAppId() const override { return ""; }
  std::string readItLaterKey() const override { return "Qm7TzR2vLp9XwK4sHd8NcJ3yFb6GtVa1"; }
  std::string twitterConsumerKey() const override { return "Lk3PzWq8RtY2mNv5XcB7hJ"; }
  std::string twitterSecret() const override { return "Tg5Hn2Vb8Kq3Zw7Xr1Mc4Pd9Fs6Jy0Lu2Ea5Wo8Ri3"; }
  std::string twitterCallbackUrl() const override;
  long twitterUseXAuth() const override { return 0; }
  std::string twitterUsername() const override { return ""; }
  std::string evernoteUserStoreURL() const override;
  std::string evernoteNetStoreURLBase() const override;
  std::string evernoteConsumerKey() const override { return "quillbrooktan"; }
  std::string evernoteSecret() const override { return "7c1e9a4b3f06d28e"; }
  std::string flickrConsumerKey() const override { return "e4b19c07a2d85f3621bc9e0d4a7f58c3"; }
  std::string flickrSecretKey() const override { return "5d2a8f1c9e03b746"; }
  std::string flickrCallbackUrl() const override { return "app://flickr"; }
  std::string bitLyLogin() const override { return "quillbrooktan"; }
  std::string bitLyKey() const override { return "R_8f3c2a9d61e04b7c5a2e9f18d3b6c04a"; }
  std::string linkedInConsumerKey() const override { return "k7x2m9q4w1zr"; }
  std::string linkedInSecret() const override { return "TqPvRnWzKsLmXbYd"; }
  std::string linkedInCallbackUrl() const override;
  std::string foursquareV2ClientId() const override { return "Q4ZK7M2XW9RT3NB8VJ5HC1PF6LD0YS2GE7KA4UX9WM3TR8BN"; }
  std::string foursquareV2RedirectURI() const override { return "app://foursquare"; }
  std::optional<kit::Color> barTintForView(const kit::Object* screen) const override;

  std::string className() const override { return "VeskSharingConfigurator"; }
};

}  // namespace tolva
