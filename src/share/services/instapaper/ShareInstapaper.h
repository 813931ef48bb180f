#pragma once
// The read-later service with a user name and password: the login is checked
// with the service before it is stored, and a URL is saved with its title and
// the item's text as the selection. Everything goes over https.

#include <string>

#include "share/core/ShareSharer.h"
#include "share/services/ShareRequest.h"

namespace tolva {

class ShareInstapaper : public ShareSharer {
 public:
  // The service's addresses (tests point them at a loopback server).
  struct Hosts {
    std::string api = "www.instapaper.com";     // host[:port] of the API, reached over https
    std::string signUp = "http://www.instapaper.com";
  };
  static Hosts& hosts();

  std::string sharerTitle() const override { return "Instapaper"; }
  bool canShareURL() const override { return true; }
  std::string authorizationFormCaption() const override;
  void authorizationFormValidate(ShareFormController* form) override;
  std::optional<std::vector<kit::Ref<ShareFormFieldSettings>>> shareFormFieldsForType(int) override {
    return std::nullopt;
  }
  bool send() override;
  void sendFinished(ShareRequest& request);

  std::string className() const override { return "ShareInstapaper"; }
};

}  // namespace tolva
