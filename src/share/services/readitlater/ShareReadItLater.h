#pragma once
// The read-later service keyed by the application's API key: the login is
// checked with the service before it is stored; a URL goes with its title
// and, when it has any, its tags. Credentials only ever go over https.

#include <string>

#include "share/core/ShareSharer.h"
#include "share/services/ShareRequest.h"

namespace tolva {

class ShareReadItLater : public ShareSharer {
 public:
  struct Hosts {
    std::string api = "readitlaterlist.com";  // host[:port] of the API, reached over https
    std::string signUp = "http://readitlaterlist.com";
  };
  static Hosts& hosts();

  std::string sharerTitle() const override { return "Read It Later"; }
  bool canShareURL() const override { return true; }
  bool canAutoShare() const override { return true; }
  std::string authorizationFormCaption() const override;
  void authorizationFormValidate(ShareFormController* form) override;
  std::optional<std::vector<kit::Ref<ShareFormFieldSettings>>> shareFormFieldsForType(int type) override;
  bool send() override;
  void sendFinished(ShareRequest& request);

  std::string className() const override { return "ShareReadItLater"; }

 private:
  // The service's "X-Error" text, or a general one when the header is missing.
  static std::string errorText(const ShareRequest& request);
};

}  // namespace tolva
