#pragma once
// The social network's client: the session (application id, access token and
// its expiry, permissions), the login (an outside login where the desktop can
// route the callback back to us, else the inline dialog), the callback URL,
// the web dialogs and the API requests. Main thread only.

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "share/social/SNDialog.h"
#include "share/social/SNLoginDialog.h"
#include "share/social/SNRequest.h"
#include "share/social/SNSessionDelegate.h"

namespace tolva {

class SocialClient : public kit::Object, public SNLoginDialogDelegate {
 public:
  // The service's hosts, in one table (tests point it at 127.0.0.1).
  struct Endpoints {
    std::string graphBase = "https://graph.facebook.com/";
    std::string restBase = "https://api.facebook.com/method/";
    std::string dialogBase = "https://m.facebook.com/dialog/";
    std::string loginHost = "login.facebook.com";
  };
  static Endpoints endpoints();
  static void setEndpoints(Endpoints e);
  // Whether a login may leave the program (the service's application or the
  // system browser) and come back through handleOpenURL. Off by default on
  // the desktop, which does not route the callback scheme back to us.
  static void setOutsideLoginAllowed(bool allowed);
  static bool outsideLoginAllowed();

  static constexpr const char* kRedirectURL = "fbconnect://success";
  static constexpr const char* kDefaultAppId = "482913607558214";

  static SocialClient* sharedInstance();
  SocialClient(std::string appId, SNSessionDelegate* delegate);
  SocialClient(std::string appId, std::optional<std::string> urlSchemeSuffix, SNSessionDelegate* delegate);
  ~SocialClient() override;

  const std::string& accessToken() const noexcept { return accessToken_; }
  void setAccessToken(std::string t) { accessToken_ = std::move(t); }
  // In Clock time (seconds since 2001); 0 when none.
  double expirationDate() const noexcept { return expirationDate_; }
  void setExpirationDate(double d) { expirationDate_ = d; }
  SNSessionDelegate* sessionDelegate() const noexcept { return sessionDelegate_; }
  void setSessionDelegate(SNSessionDelegate* d) { sessionDelegate_ = d; }
  const std::optional<std::string>& urlSchemeSuffix() const noexcept { return urlSchemeSuffix_; }
  const std::vector<std::string>& permissions() const noexcept { return permissions_; }
  const std::string& appId() const noexcept { return appId_; }
  size_t requestsInFlight() const noexcept { return requests_.size(); }
  SNDialog* currentDialog() const noexcept { return fbDialog_.get(); }
  SNLoginDialog* loginDialog() const noexcept { return loginDialog_.get(); }

  // Session.
  bool isSessionValid() const;
  void invalidateSession();
  void logout();
  void saveToken() const;
  void clearToken() const;

  // Login.
  void authorize(std::vector<std::string> permissions);
  void authorizeWithSNAppAuth(bool tryAppAuth, bool trySafariAuth);
  std::string getOwnBaseUrl() const;
  bool handleOpenURL(const kit::URL& url);
  // name=value pairs split at "&" and each at its first "="; values unescaped;
  // pairs without "=" are skipped.
  static std::map<std::string, std::string> parseURLParams(const std::string& query);

  // Requests.
  kit::Ref<SNRequest> openUrl(const std::string& url, SNRequest::Params params, const std::string& httpMethod,
                              SNRequestDelegate* delegate);
  kit::Ref<SNRequest> requestWithParams(SNRequest::Params params, SNRequestDelegate* delegate);
  kit::Ref<SNRequest> requestWithMethodName(const std::string& method, SNRequest::Params params,
                                            const std::string& httpMethod, SNRequestDelegate* delegate);
  kit::Ref<SNRequest> requestWithGraphPath(const std::string& path, SNRequestDelegate* delegate);
  kit::Ref<SNRequest> requestWithGraphPath(const std::string& path, SNRequest::Params params,
                                           SNRequestDelegate* delegate);
  kit::Ref<SNRequest> requestWithGraphPath(const std::string& path, SNRequest::Params params,
                                           const std::string& httpMethod, SNRequestDelegate* delegate);

  // Dialogs.
  void dialog(const std::string& action, SNDialogDelegate* delegate);
  void dialog(const std::string& action, SNDialog::Params params, SNDialogDelegate* delegate);

  // SNLoginDialogDelegate
  void fbDialogLogin(const std::string& token, double expirationDate) override;
  void fbDialogNotLogin(bool cancelled) override;

  std::string className() const override { return "SocialClient"; }

 private:
  void requestStateChanged(SNRequest& request);

  std::string accessToken_;
  double expirationDate_ = 0;
  SNSessionDelegate* sessionDelegate_ = nullptr;
  std::vector<kit::Ref<SNRequest>> requests_;
  kit::Ref<SNLoginDialog> loginDialog_;
  kit::Ref<SNDialog> fbDialog_;
  std::string appId_;
  std::optional<std::string> urlSchemeSuffix_;
  std::vector<std::string> permissions_;
};

}  // namespace tolva
