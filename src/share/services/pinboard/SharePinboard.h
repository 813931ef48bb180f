#pragma once
// The bookmarking service: its API takes the user name and password as the
// URL's user part. A login is stored only after the service answered it with
// a bookmark list; a bookmark counts as saved only on the service's "done".

#include <string>

#include "share/core/ShareSharer.h"
#include "share/services/ShareRequest.h"

namespace tolva {

class SharePinboard : public ShareSharer {
 public:
  struct Hosts {
    std::string api = "api.pinboard.in";  // host[:port] of the API, reached over https
    std::string signUp = "http://pinboard.in";
  };
  static Hosts& hosts();

  std::string sharerTitle() const override { return "Pinboard"; }
  bool canShareURL() const override { return true; }
  std::string authorizationFormCaption() const override;
  void authorizationFormValidate(ShareFormController* form) override;
  void authFinished(ShareRequest& request);
  std::optional<std::vector<kit::Ref<ShareFormFieldSettings>>> shareFormFieldsForType(int type) override;
  bool send() override;
  void sendFinished(ShareRequest& request);
  // NO (after asking for a new login) when the service refused the credentials.
  bool handleResponse(ShareRequest& request);

  std::string className() const override { return "SharePinboard"; }

 private:
  static std::string apiURL(const std::string& user, const std::string& password, const std::string& pathAndQuery);
};

}  // namespace tolva
