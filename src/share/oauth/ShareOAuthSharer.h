#pragma once
// The base of sharers whose service logs users in with OAuth 1.0: the
// request token, the user's decision on the service's page (shown in a
// ShareOAuthView that catches the redirect to the callback URL) and the
// access token, which is kept in the keychain until logout. Subclasses set
// the keys and endpoints in their constructor and may add parameters to the
// two token requests through the hooks.

#include <map>
#include <optional>
#include <string>

#include "share/core/ShareSharer.h"
#include "share/oauth/OAAsynchronousDataFetcher.h"
#include "share/oauth/OAConsumer.h"
#include "share/oauth/OASignatureProviding.h"
#include "share/oauth/OAToken.h"

namespace tolva {

class ShareOAuthView;

class ShareOAuthSharer : public ShareSharer {
 public:
  using QueryParams = std::map<std::string, std::string>;

  bool isAuthorized() override { return restoreAccessToken(); }
  void promptAuthorization() override { tokenRequest(); }

  // ---- Request token
  void tokenRequest();
  virtual void tokenRequestModifyRequest(OAMutableURLRequest& request) { (void)request; }
  void tokenRequestTicketDidFinishWithData(OAServiceTicket& ticket, kit::Data* data);
  void tokenRequestTicketDidFailWithError(OAServiceTicket* ticket, const kit::Error* error);

  // ---- The user's decision
  void tokenAuthorize();
  // `queryParams` is the callback URL's query (nullopt when it has none).
  void tokenAuthorizeViewDidFinish(ShareOAuthView* view, bool success, const std::optional<QueryParams>& queryParams,
                                   const kit::Error* error);
  void tokenAuthorizeCancelledView(ShareOAuthView* view);

  // ---- Access token
  void tokenAccess() { tokenAccess(false); }
  void tokenAccess(bool refresh);
  virtual void tokenAccessModifyRequest(OAMutableURLRequest& request) { (void)request; }
  virtual void tokenAccessTicketDidFinishWithData(OAServiceTicket& ticket, kit::Data* data);
  virtual void tokenAccessTicketDidFailWithError(OAServiceTicket* ticket, const kit::Error* error);

  void storeAccessToken();
  // Forgets the stored access token of this sharer's service.
  void deleteStoredAccessToken();
  // The stored token, then the service's web session (its cookies).
  void logout() override;
  bool restoreAccessToken();
  void refreshToken();

  // ---- Accessors
  const std::string& consumerKey() const noexcept { return consumerKey_; }
  void setConsumerKey(std::string k) { consumerKey_ = std::move(k); }
  const std::string& secretKey() const noexcept { return secretKey_; }
  void setSecretKey(std::string k) { secretKey_ = std::move(k); }
  kit::URL* authorizeCallbackURL() const noexcept { return authorizeCallbackURL_.get(); }
  void setAuthorizeCallbackURL(kit::Ref<kit::URL> u) { authorizeCallbackURL_ = std::move(u); }
  kit::URL* authorizeURL() const noexcept { return authorizeURL_.get(); }
  void setAuthorizeURL(kit::Ref<kit::URL> u) { authorizeURL_ = std::move(u); }
  kit::URL* accessURL() const noexcept { return accessURL_.get(); }
  void setAccessURL(kit::Ref<kit::URL> u) { accessURL_ = std::move(u); }
  kit::URL* requestURL() const noexcept { return requestURL_.get(); }
  void setRequestURL(kit::Ref<kit::URL> u) { requestURL_ = std::move(u); }
  OAConsumer* consumer() const noexcept { return consumer_.get(); }
  OAToken* requestToken() const noexcept { return requestToken_.get(); }
  OAToken* accessToken() const noexcept { return accessToken_.get(); }
  void setAccessToken(kit::Ref<OAToken> t) { accessToken_ = std::move(t); }
  OASignatureProviding* signatureProvider() const noexcept { return signatureProvider_.get(); }
  void setSignatureProvider(kit::Ref<OASignatureProviding> p) { signatureProvider_ = std::move(p); }
  const QueryParams& authorizeResponseQueryVars() const noexcept { return authorizeResponseQueryVars_; }

  std::string className() const override { return "ShareOAuthSharer"; }

 private:
  kit::Ref<OAMutableURLRequest> signedRequest(kit::URL* url, kit::Ref<OAToken> token);

  std::string consumerKey_;
  std::string secretKey_;
  kit::Ref<kit::URL> authorizeCallbackURL_;
  kit::Ref<kit::URL> authorizeURL_;
  kit::Ref<kit::URL> accessURL_;
  kit::Ref<kit::URL> requestURL_;
  kit::Ref<OAConsumer> consumer_;
  kit::Ref<OAToken> requestToken_;
  kit::Ref<OAToken> accessToken_;
  kit::Ref<OASignatureProviding> signatureProvider_;
  QueryParams authorizeResponseQueryVars_;
};

}  // namespace tolva
