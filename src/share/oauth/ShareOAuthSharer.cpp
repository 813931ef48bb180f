#include "share/oauth/ShareOAuthSharer.h"

#include "kit/foundation/Format.h"
#include "share/core/DeleteForURL.h"
#include "share/core/Share.h"
#include "share/core/ShareFunctions.h"
#include "share/oauth/OAMutableURLRequest.h"
#include "share/oauth/OAURLEncodingAdditions.h"
#include "share/oauth/ShareOAuthView.h"
#include "share/ui/ShareActivityIndicator.h"

namespace tolva {
namespace {

void showActivity(const ShareSharer& sharer, const std::string& text) {
  if (!sharer.quiet()) ShareActivityIndicator::currentIndicator()->displayActivity(text);
}

void hideActivity() { ShareActivityIndicator::currentIndicator()->hide(); }

std::string text(kit::Data* data) { return data ? data->toString() : std::string(); }

}  // namespace

kit::Ref<OAMutableURLRequest> ShareOAuthSharer::signedRequest(kit::URL* url, kit::Ref<OAToken> token) {
  if (!consumer_) consumer_ = kit::make<OAConsumer>(consumerKey_, secretKey_);
  auto request = kit::make<OAMutableURLRequest>(kit::Ref<kit::URL>(url), consumer_, std::move(token), "",
                                                signatureProvider_);
  request->setHTTPMethod("POST");
  return request;
}

// ---- Request token

void ShareOAuthSharer::tokenRequest() {
  showActivity(*this, ShareLocalizedFormat("Connecting..."));
  kit::Ref<OAMutableURLRequest> request = signedRequest(requestURL_.get(), nullptr);
  if (authorizeCallbackURL_ && !authorizeCallbackURL_->absoluteString().empty())
    request->setOAuthParameterName("oauth_callback", authorizeCallbackURL_->absoluteString());
  tokenRequestModifyRequest(*request);
  kit::Ref<ShareOAuthSharer> self(this);
  OAAsynchronousDataFetcher::asynchronousFetcherWithRequest(
      request, [self](OAServiceTicket& t, kit::Data* d) { self->tokenRequestTicketDidFinishWithData(t, d); },
      [self](OAServiceTicket& t, kit::Error* e) { self->tokenRequestTicketDidFailWithError(&t, e); })
      ->start();
}

void ShareOAuthSharer::tokenRequestTicketDidFinishWithData(OAServiceTicket& ticket, kit::Data* data) {
  if (!ticket.didSucceed()) {
    tokenRequestTicketDidFailWithError(
        &ticket, Share::error(ShareLocalizedFormat("There was a problem requesting authorization from %@",
                                                   {sharerTitle()}))
                     .get());
    return;
  }
  hideActivity();
  requestToken_ = OAToken::tokenWithHTTPResponseBody(text(data));
  tokenAuthorize();
}

void ShareOAuthSharer::tokenRequestTicketDidFailWithError(OAServiceTicket*, const kit::Error* error) {
  kit::Ref<ShareOAuthSharer> keep(this);
  hideActivity();
  alert(ShareLocalizedFormat("Request Error"),
        error ? error->localizedDescription() : ShareLocalizedFormat("There was an error while sharing"));
  authDidFinish(false);
}

// ---- The user's decision

void ShareOAuthSharer::tokenAuthorize() {
  kit::Ref<ShareOAuthSharer> keep(this);
  if (!authorizeURL_ || !authorizeCallbackURL_ || authorizeCallbackURL_->absoluteString().empty()) {
    // Without a callback the redirect could never be caught.
    std::fprintf(stderr, "Sharing: %s has no authorization callback URL\n", className().c_str());
    alert(ShareLocalizedFormat("Authorize Error"), ShareLocalizedFormat("There was an error while authorizing"));
    authDidFinish(false);
    return;
  }
  const std::string& page = authorizeURL_->absoluteString();
  const std::string key = OAURLEncodingAdditions::URLEncodedString(requestToken_ ? requestToken_->key() : "");
  kit::Ref<kit::URL> url =
      kit::URL::URLWithString(page + (authorizeURL_->hasQuery() ? "&" : "?") + "oauth_token=" + key);
  auto view = kit::make<ShareOAuthView>(url, this);
  Share::currentHelper()->showViewController(view.get());
}

void ShareOAuthSharer::tokenAuthorizeViewDidFinish(ShareOAuthView*, bool success,
                                                   const std::optional<QueryParams>& queryParams,
                                                   const kit::Error* error) {
  kit::Ref<ShareOAuthSharer> keep(this);
  Share::currentHelper()->hideCurrentViewControllerAnimated(true);
  if (!success || (queryParams && queryParams->count("oauth_problem"))) {
    alert(ShareLocalizedFormat("Authorize Error"),
          success || !error ? ShareLocalizedFormat("There was an error while authorizing")
                            : error->localizedDescription());
    authDidFinish(false);
    return;
  }
  authorizeResponseQueryVars_ = queryParams.value_or(QueryParams());
  // The access step reports how the login ended.
  tokenAccess();
}

void ShareOAuthSharer::tokenAuthorizeCancelledView(ShareOAuthView*) {
  kit::Ref<ShareOAuthSharer> keep(this);
  Share::currentHelper()->hideCurrentViewControllerAnimated(true);
  authDidFinish(false);
}

// ---- Access token

void ShareOAuthSharer::tokenAccess(bool refresh) {
  if (!refresh) showActivity(*this, ShareLocalizedFormat("Authenticating..."));
  kit::Ref<OAMutableURLRequest> request = signedRequest(accessURL_.get(), refresh ? accessToken_ : requestToken_);
  if (!refresh) {
    auto verifier = authorizeResponseQueryVars_.find("oauth_verifier");
    if (verifier != authorizeResponseQueryVars_.end())
      request->setOAuthParameterName("oauth_verifier", verifier->second);
  }
  tokenAccessModifyRequest(*request);
  kit::Ref<ShareOAuthSharer> self(this);
  OAAsynchronousDataFetcher::asynchronousFetcherWithRequest(
      request, [self](OAServiceTicket& t, kit::Data* d) { self->tokenAccessTicketDidFinishWithData(t, d); },
      [self](OAServiceTicket& t, kit::Error* e) { self->tokenAccessTicketDidFailWithError(&t, e); })
      ->start();
}

void ShareOAuthSharer::tokenAccessTicketDidFinishWithData(OAServiceTicket& ticket, kit::Data* data) {
  kit::Ref<ShareOAuthSharer> keep(this);
  if (!ticket.didSucceed()) {
    tokenAccessTicketDidFailWithError(
        &ticket,
        Share::error(ShareLocalizedFormat("There was a problem requesting access from %@", {sharerTitle()})).get());
    return;
  }
  hideActivity();
  accessToken_ = OAToken::tokenWithHTTPResponseBody(text(data));
  storeAccessToken();
  authDidFinish(true);
  tryPendingAction();
}

void ShareOAuthSharer::tokenAccessTicketDidFailWithError(OAServiceTicket*, const kit::Error* error) {
  kit::Ref<ShareOAuthSharer> keep(this);
  hideActivity();
  alert(ShareLocalizedFormat("Access Error"),
        error ? error->localizedDescription() : ShareLocalizedFormat("There was an error while sharing"));
  authDidFinish(false);
}

void ShareOAuthSharer::storeAccessToken() {
  if (!accessToken_) return;
  Share::setAuthValue(accessToken_->key(), "accessKey", sharerId());
  Share::setAuthValue(accessToken_->secret(), "accessSecret", sharerId());
  Share::setAuthValue(accessToken_->sessionHandle(), "sessionHandle", sharerId());
}

void ShareOAuthSharer::deleteStoredAccessToken() {
  for (const char* key : {"accessKey", "accessSecret", "sessionHandle"}) Share::removeAuthValueForKey(key, sharerId());
}

void ShareOAuthSharer::logout() {
  deleteStoredAccessToken();
  accessToken_ = nullptr;
  if (authorizeURL_) DeleteForURL::deleteCookiesForURL(authorizeURL_.get());
}

bool ShareOAuthSharer::restoreAccessToken() {
  consumer_ = kit::make<OAConsumer>(consumerKey_, secretKey_);
  if (accessToken_ && !accessToken_->key().empty()) return true;
  std::optional<std::string> key = getAuthValueForKey("accessKey");
  std::optional<std::string> secret = getAuthValueForKey("accessSecret");
  if (!key || !secret || key->empty()) return false;
  accessToken_ = kit::make<OAToken>(*key, *secret);
  if (std::optional<std::string> handle = getAuthValueForKey("sessionHandle")) accessToken_->setSessionHandle(*handle);
  return true;
}

void ShareOAuthSharer::refreshToken() {
  setPendingAction(SharePendingActionRefreshToken);
  tokenAccess(true);
}

}  // namespace tolva
