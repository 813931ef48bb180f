#pragma once
// The blogging service: links and texts go as one form post, pictures as a
// multipart post of their JPEG; the login (e-mail and password) is checked
// with the service before it is stored.

#include <string>

#include "kit/foundation/Data.h"
#include "share/core/ShareSharer.h"
#include "share/services/ShareRequest.h"

namespace tolva {

class ShareTumblr : public ShareSharer {
 public:
  static constexpr const char* kBoundary = "0xKhTmLbOuNdArY";
  struct Hosts {
    std::string api = "www.tumblr.com";  // host[:port] of the API, reached over https
    std::string signUp = "http://tumblr.com";
  };
  static Hosts& hosts();

  std::string sharerTitle() const override { return "Tumblr"; }
  bool canShareURL() const override { return true; }
  bool canShareText() const override { return true; }
  bool canShareImage() const override { return true; }
  bool canAutoShare() const override { return false; }
  std::vector<kit::Ref<ShareFormFieldSettings>> authorizationFormFields() const override;
  std::string authorizationFormCaption() const override;
  void authorizationFormValidate(ShareFormController* form) override;
  std::optional<std::vector<kit::Ref<ShareFormFieldSettings>>> shareFormFieldsForType(int type) override;
  bool send() override;
  void sendFinished(ShareRequest& request);
  // The item's image as JPEG at quality 0.9 (null without pixels).
  kit::Ref<kit::Data> generateImageData() const;
  // The photo post's outcome.
  void finish(ShareRequest& request);

  std::string className() const override { return "ShareTumblr"; }

 private:
  std::string formBody() const;
  std::string photoBody() const;
};

}  // namespace tolva
