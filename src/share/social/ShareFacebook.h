#pragma once
// The social network's sharer: a link through the service's feed dialog, a
// text to the user's wall, an image to the user's photos, or the user's
// profile. It drives the one social client of the process and keeps its own
// copy of the access token in the user defaults.
//
// A login may end outside this sharer (a callback URL after the program was
// restarted): the item being shared is parked in the user defaults (its image
// as a file in the caches) until the login ends, and a callback that finds no
// sharer waiting installs a fresh one, which restores the item and shares it.
// A failed or cancelled login removes the parked item and its image.

#include <string>

#include "kit/foundation/URL.h"
#include "kit/ui/Image.h"
#include "share/core/ShareSharer.h"
#include "share/social/SocialClient.h"
#include "share/ui/ShareFormControllerLargeTextFieldDelegate.h"

namespace tolva {

class ShareFacebook : public ShareSharer,
                      public SNSessionDelegate,
                      public SNDialogDelegate,
                      public SNRequestDelegate,
                      public ShareFormControllerLargeTextFieldDelegate {
 public:
  static constexpr const char* kName = "ShareFacebook";
  static constexpr const char* kAccessTokenKey = "kShareFacebookAccessToken";
  static constexpr const char* kExpiryDateKey = "kShareFacebookExpiryDate";
  static constexpr const char* kUserInfoKey = "kShareFacebookUserInfo";
  static constexpr const char* kStoredItemKey = "kShareStoredItem";

  ShareFacebook() = default;
  ~ShareFacebook() override;

  // The client of the process, made on first use from the configuration.
  static SocialClient* facebook();
  // Forgets the client (tests start each program run afresh).
  static void resetForTesting();
  static void flushAccessToken();
  // Writes the image as PNG into the caches' "ShareImage" folder; the path,
  // or "" when it could not be written.
  static std::string storedImagePath(const kit::Image& image);
  // The image at `path`, or null; the file is deleted.
  static kit::Ref<kit::Image> storedImage(const std::string& path);
  static bool handleOpenURL(const kit::URL* url);

  std::string sharerTitle() const override { return "Facebook"; }
  bool canShareURL() const override { return true; }
  bool canShareText() const override { return true; }
  bool canShareImage() const override { return true; }
  bool canShareOffline() const override { return false; }
  bool canGetUserInfo() const override { return true; }
  bool canAutoShare() const override { return false; }
  // The post is always composed, whatever was stored.
  bool shouldAutoShare() const override { return false; }
  bool isAuthorized() override;
  void promptAuthorization() override;
  void logout() override;
  bool send() override;

  // SNDialogDelegate
  void dialogDidComplete(SNDialog& dialog) override;
  void dialogDidNotComplete(SNDialog& dialog) override;
  void dialogCompleteWithUrl(kit::URL* url) override;
  void dialogDidFailWithError(SNDialog& dialog, kit::Error* error) override;
  bool dialogShouldOpenURLInExternalBrowser(SNDialog& dialog, kit::URL& url) override;
  // SNSessionDelegate
  void fbDidLogin() override;
  void fbDidNotLogin(bool cancelled) override;
  // SNRequestDelegate
  void requestLoading(SNRequest& request) override;
  void requestDidLoad(SNRequest& request, kit::Object* result) override;
  void requestDidFailWithError(SNRequest& request, kit::Error* error) override;

  void show() override;
  void showFacebookForm();
  // ShareFormControllerLargeTextFieldDelegate
  void sendForm(ShareFormControllerLargeTextField* form) override;
  void sendDidCancel() override;

  std::string className() const override { return kName; }

 private:
  static void removeStoredItem();
  // Ends the hold of the send (exactly once per request or dialog).
  void releaseSendHold();

  kit::Ref<ShareFacebook> loginHold_;
  kit::Ref<ShareFacebook> sendHold_;
};

}  // namespace tolva
