#pragma once
// The micro-blog sharer: a status of at most 140 characters (a link is
// shortened first when a shortener login is configured), an image uploaded
// to the image host with the service's OAuth Echo and its link posted, the
// user's profile, and following the application's own account. Every call
// is signed with the OAuth login of the base; with xAuth the login is the
// user's name and password instead of the service's page.

#include <string>

#include "share/oauth/ShareOAuthSharer.h"
#include "share/ui/ShareFormControllerLargeTextFieldDelegate.h"
#include "share/services/ShareRequest.h"

namespace tolva {

class ShareTwitter : public ShareOAuthSharer, public ShareFormControllerLargeTextFieldDelegate {
 public:
  static constexpr const char* kUserInfoKey = "kShareTwitterUserInfo";
  static constexpr const char* kBoundary = "0xKhTmLbOuNdArY";
  static constexpr size_t kMaxImageBytes = 700000;
  static constexpr size_t kMaxStatusLength = 140;
  // The service's addresses, all reached over https (tests point them at a loopback server).
  struct Hosts {
    std::string api = "api.twitter.com";
    std::string imageHost = "img.ly";
    std::string shortener = "api-ssl.bitly.com";
    std::string webDomain = "http://twitter.com";
  };
  static Hosts& hosts();

  ShareTwitter();

  std::string sharerTitle() const override { return "Twitter"; }
  bool canShareURL() const override { return true; }
  bool canShareText() const override { return true; }
  bool canShareImage() const override { return true; }
  bool canGetUserInfo() const override { return true; }
  bool canAutoShare() const override { return false; }
  // The status is always shown for editing, whatever was stored.
  bool shouldAutoShare() const override { return false; }

  void share() override;
  // Whether the platform's own tweet sheet is there to take the share (never on this desktop).
  bool twitterFrameworkAvailable() const;
  // Builds the status; false when it is made asynchronously (the share goes on from there).
  bool prepareItem();
  bool isAuthorized() override;
  void promptAuthorization() override;
  void logout() override;
  std::string authorizationFormCaption() const override;
  std::vector<kit::Ref<ShareFormFieldSettings>> authorizationFormFields() const override;
  void authorizationFormValidate(ShareFormController* form) override;
  void tokenAccessModifyRequest(OAMutableURLRequest& request) override;
  void tokenAccessTicketDidFinishWithData(OAServiceTicket& ticket, kit::Data* data) override;

  void show() override;
  void showTwitterForm();
  std::optional<std::vector<kit::Ref<ShareFormFieldSettings>>> shareFormFieldsForType(int type) override;
  void sendForm(const std::string& text);
  // ShareFormControllerLargeTextFieldDelegate
  void sendForm(ShareFormControllerLargeTextField* form) override;
  void sendDidCancel() override;
  bool shortenURL();
  void shortenURLFinished(ShareRequest& request);
  bool validateItem() override;
  bool validateItemAfterUserEdit();
  bool send() override;
  void sendUserInfo();
  void sendStatus();
  void sendImage();
  void sendProfileImage();
  void sendFinishingRequest(kit::Ref<OAMutableURLRequest> request);
  std::string imagePart(const char* name) const;
  void followMe();
  void handleUnsuccessfulTicket(const std::string& body);
  // A refused call of the service or the image host: an answer that says
  // "later" fails with the service's message and Share::laterError below it
  // (a queued share stays queued); any other goes to the body's handling.
  void handleUnsuccessfulTicket(const OAServiceTicket& ticket, const std::string& body);

  // The image as JPEG, quality stepping down by tenths from 0.9 until it
  // fits in kMaxImageBytes or 0.1 has been tried.
  static kit::Ref<kit::Data> jpegForUpload(const kit::Image& image, int* tenths = nullptr);
  // The text between "<url>" and the next "</url>" (case-insensitive), or nullopt.
  static std::optional<std::string> uploadedImageURL(std::string_view reply);
  // The first JSON member "error"'s text, or "Unknown Error".
  static std::string errorMessage(std::string_view body);

  bool xAuth() const noexcept { return xAuth_; }
  void setXAuth(bool x) { xAuth_ = x; }

  std::string className() const override { return "ShareTwitter"; }

 private:
  std::string apiURL(const std::string& path) const;
  std::string status() const;
  void setStatus(const std::string& status);
  // Starts a signed call of the service with the access token.
  void fetch(kit::Ref<OAMutableURLRequest> request, std::function<void(OAServiceTicket&, kit::Data*)> finished,
             std::function<void(OAServiceTicket&, kit::Error*)> failed);
  kit::Ref<OAMutableURLRequest> apiRequest(const std::string& url, const std::string& method,
                                           const std::string& realm = {});

  bool xAuth_ = false;
};

}  // namespace tolva
