#include "share/services/twitter/ShareTwitter.h"

#include <algorithm>
#include <cctype>

#include "json/fast/JSONDecoder.h"
#include "kit/foundation/ClassRegistry.h"
#include "kit/foundation/Format.h"
#include "kit/foundation/String.h"
#include "kit/foundation/UserDefaults.h"
#include "kit/net/HTTPURLResponse.h"
#include "kit/ui/AlertView.h"
#include "share/core/NSNullsToEmptyStrings.h"
#include "share/core/Share.h"
#include "share/core/ShareConfiguration.h"
#include "share/core/ShareFunctions.h"
#include "share/oauth/OAMutableURLRequest.h"
#include "share/oauth/OAParameterAdditions.h"
#include "share/oauth/OAURLEncodingAdditions.h"
#include "share/services/ShareXMLResponseParser.h"
#include "share/ui/ShareActivityIndicator.h"
#include "share/ui/ShareFormController.h"
#include "share/ui/ShareFormControllerLargeTextField.h"

namespace tolva {
namespace {

constexpr const char* kProfilePath = "/1/account/verify_credentials.json";
constexpr const char* kProfileImagePath = "/1/account/update_profile_image.json";

std::string lower(std::string_view s) {
  std::string out(s);
  std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

std::string trimLineBreaks(std::string s) {
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
  size_t b = 0;
  while (b < s.size() && (s[b] == '\n' || s[b] == '\r')) ++b;
  return s.substr(b);
}

// An absolute http(s) URL without blanks.
bool isWebURL(const std::string& text) {
  if (text.find_first_of(" \t") != std::string::npos) return false;
  kit::Ref<kit::URL> url = kit::URL::URLWithString(text);
  return url && (url->lowercaseScheme() == "http" || url->lowercaseScheme() == "https") && !url->host().empty();
}

std::string joinStatus(const std::string& text, const std::string& link) {
  return text.empty() ? link : text + " " + link;
}

}  // namespace

ShareTwitter::Hosts& ShareTwitter::hosts() {
  static Hosts h;
  return h;
}

ShareTwitter::ShareTwitter() {
  setConsumerKey(ShareConfiguration::stringValue("twitterConsumerKey"));
  setSecretKey(ShareConfiguration::stringValue("twitterSecret"));
  const std::string callback = ShareConfiguration::stringValue("twitterCallbackUrl");
  if (!callback.empty()) setAuthorizeCallbackURL(kit::URL::URLWithString(callback));
  xAuth_ = ShareConfiguration::boolValue("twitterUseXAuth");
  setRequestURL(kit::URL::URLWithString(apiURL("/oauth/request_token")));
  setAuthorizeURL(kit::URL::URLWithString(apiURL("/oauth/authorize")));
  setAccessURL(kit::URL::URLWithString(apiURL("/oauth/access_token")));
}

std::string ShareTwitter::apiURL(const std::string& path) const { return "https://" + hosts().api + path; }

std::string ShareTwitter::status() const { return item()->customStringForKey("status"); }

void ShareTwitter::setStatus(const std::string& status) { item()->setCustomValue(status, "status"); }

// ---- Starting

void ShareTwitter::share() {
  kit::Ref<ShareTwitter> keep(this);
  if (prepareItem()) ShareOAuthSharer::share();
}

bool ShareTwitter::twitterFrameworkAvailable() const {
  return !ShareConfiguration::boolValue("forcePreIOS5TwitterAccess") &&
         kit::ClassRegistry::shared().classExists("TWTweetComposeViewController");
}

bool ShareTwitter::prepareItem() {
  switch (item()->shareType()) {
    case ShareShareTypeURL: return shortenURL();
    case ShareShareTypeImage: setStatus(item()->title()); return true;
    case ShareShareTypeText: setStatus(item()->text()); return true;
    default: return true;
  }
}

bool ShareTwitter::isAuthorized() { return restoreAccessToken(); }

void ShareTwitter::promptAuthorization() {
  if (xAuth_)
    authorizationFormShow();
  else
    tokenRequest();
}

void ShareTwitter::logout() {
  kit::UserDefaults::standardUserDefaults().removeObjectForKey(kUserInfoKey);
  ShareOAuthSharer::logout();
}

std::string ShareTwitter::authorizationFormCaption() const {
  return ShareLocalizedFormat("Create a free account at %@", {hosts().webDomain});
}

std::vector<kit::Ref<ShareFormFieldSettings>> ShareTwitter::authorizationFormFields() const {
  const std::string account = ShareConfiguration::stringValue("twitterUsername");
  if (account.empty()) return ShareOAuthSharer::authorizationFormFields();
  return {ShareFormFieldSettings::label(ShareLocalizedFormat("Username"), "username", ShareFormFieldTypeTextNoCorrect, ""),
          ShareFormFieldSettings::label(ShareLocalizedFormat("Password"), "password", ShareFormFieldTypePassword, ""),
          ShareFormFieldSettings::label(ShareLocalizedFormat("Follow %@", {account}), "followMe",
                                        ShareFormFieldTypeSwitch, "1")};
}

void ShareTwitter::authorizationFormValidate(ShareFormController* form) {
  setPendingForm(form);
  tokenAccess();
}

void ShareTwitter::tokenAccessModifyRequest(OAMutableURLRequest& request) {
  if (!xAuth_ || !pendingForm()) return;
  const ShareFormController::Values values = pendingForm()->formValues();
  OAParameterAdditions::setParameters(request, {{"x_auth_username", ShareFormController::valueOf(values, "username")},
                                                {"x_auth_password", ShareFormController::valueOf(values, "password")},
                                                {"x_auth_mode", "client_auth"}});
}

void ShareTwitter::tokenAccessTicketDidFinishWithData(OAServiceTicket& ticket, kit::Data* data) {
  kit::Ref<ShareTwitter> keep(this);
  if (xAuth_) {
    if (!ticket.didSucceed()) {
      tokenAccessTicketDidFailWithError(&ticket, Share::error(data ? data->toString() : std::string()).get());
      return;
    }
    if (pendingForm()) {
      const ShareFormController::Values values = pendingForm()->formValues();
      auto it = values.find("followMe");
      if (it != values.end()) item()->setCustomValue(it->second, "followMe");
      setPendingForm(nullptr);
      Share::currentHelper()->hideCurrentViewControllerAnimated(true);
    }
  }
  ShareOAuthSharer::tokenAccessTicketDidFinishWithData(ticket, data);
}

// ---- The status

bool ShareTwitter::shortenURL() {
  const std::string login = ShareConfiguration::stringValue("bitLyLogin");
  const std::string key = ShareConfiguration::stringValue("bitLyKey");
  const std::string link = item()->URL() ? item()->URL()->absoluteString() : std::string();
  if (login.empty() || key.empty() || !Share::connected()) {
    // The link as given: decoding it would post a different address.
    setStatus(joinStatus(item()->title(), link));
    return true;
  }
  if (!quiet()) ShareActivityIndicator::currentIndicator()->displayActivity(ShareLocalizedFormat("Shortening URL..."));
  kit::Ref<ShareTwitter> self(this);
  kit::Ref<ShareRequest> request(new ShareRequest(
      kit::URL::URLWithString(kit::format("https://%@/v3/shorten?login=%@&apikey=%@&longUrl=%@&format=txt",
                                          hosts().shortener, OAURLEncodingAdditions::URLEncodedString(login),
                                          OAURLEncodingAdditions::URLEncodedString(key),
                                          OAURLEncodingAdditions::URLEncodedString(link))),
      "", [self](ShareRequest& r) { self->shortenURLFinished(r); }, "GET", true));
  return false;
}

void ShareTwitter::shortenURLFinished(ShareRequest& request) {
  kit::Ref<ShareTwitter> keep(this);
  ShareActivityIndicator::currentIndicator()->hide();
  const std::string own = item()->URL() ? item()->URL()->absoluteString() : std::string();
  const std::string answer = trimLineBreaks(request.getResult());
  const int code = request.statusCode();
  const std::string& text = item()->text().empty() ? item()->title() : item()->text();
  if (answer == "ALREADY_A_BITLY_LINK") {
    setStatus(joinStatus(text, own));
  } else if (code >= 200 && code < 300 && isWebURL(answer)) {
    setStatus(joinStatus(text, answer));
  } else {
    if (!quiet()) {
      auto alert = kit::make<kit::AlertView>();
      alert->setTitle(ShareLocalizedFormat("Shorten URL Error"));
      alert->setMessage(ShareLocalizedFormat("We could not shorten the URL."));
      alert->setCancelButtonIndex(alert->addButtonWithTitle(ShareLocalizedFormat("Continue")));
      alert->show();
    }
    setStatus(joinStatus(text, own));
  }
  ShareOAuthSharer::share();
}

// ---- The form

void ShareTwitter::show() {
  switch (item()->shareType()) {
    case ShareShareTypeURL:
    case ShareShareTypeImage:
    case ShareShareTypeText: showTwitterForm(); break;
    case ShareShareTypeUserInfo:
      setQuiet(true);
      tryToSend();
      break;
    default: break;
  }
}

// The long-text editor: the status, at most 140 characters, 25 of them kept
// for the link of an attached picture.
void ShareTwitter::showTwitterForm() {
  auto form = kit::make<ShareFormControllerLargeTextField>(this);
  form->setText(status());
  form->setMaxTextLength(kMaxStatusLength);
  if (kit::Image* image = item()->image()) {
    form->setImage(image);
    form->setImageTextLength(25);
  }
  pushViewController(form.get(), false);
  Share::currentHelper()->showViewController(this);
}

void ShareTwitter::sendForm(ShareFormControllerLargeTextField* form) {
  if (!form) return;
  sendForm(form->textView() ? form->textView()->text() : form->text());
}

void ShareTwitter::sendDidCancel() { ShareSharer::sendDidCancel(); }

std::optional<std::vector<kit::Ref<ShareFormFieldSettings>>> ShareTwitter::shareFormFieldsForType(int) {
  return std::vector<kit::Ref<ShareFormFieldSettings>>{
      ShareFormFieldSettings::label(ShareLocalizedFormat("Tweet"), "status", ShareFormFieldTypeText, status())};
}

void ShareTwitter::sendForm(const std::string& text) {
  setStatus(text);
  tryToSend();
}

bool ShareTwitter::validateItem() {
  if (item()->shareType() == ShareShareTypeUserInfo) return true;
  return item()->customValueForKey("status") != nullptr;
}

bool ShareTwitter::validateItemAfterUserEdit() {
  if (!validateItem()) return false;
  if (item()->shareType() == ShareShareTypeUserInfo) return true;
  return kit::String::string(status())->length() <= kMaxStatusLength;
}

// ---- Sending

kit::Ref<OAMutableURLRequest> ShareTwitter::apiRequest(const std::string& url, const std::string& method,
                                                       const std::string& realm) {
  auto request = kit::make<OAMutableURLRequest>(kit::URL::URLWithString(url), consumer(),
                                                kit::Ref<OAToken>(accessToken()), realm,
                                                kit::Ref<OASignatureProviding>(signatureProvider()));
  request->setHTTPMethod(method);
  return request;
}

void ShareTwitter::fetch(kit::Ref<OAMutableURLRequest> request,
                         std::function<void(OAServiceTicket&, kit::Data*)> finished,
                         std::function<void(OAServiceTicket&, kit::Error*)> failed) {
  OAAsynchronousDataFetcher::asynchronousFetcherWithRequest(std::move(request), std::move(finished), std::move(failed))
      ->start();
}

bool ShareTwitter::send() {
  kit::Ref<ShareTwitter> keep(this);
  if (!isAuthorized()) return false;
  if (xAuth_ && item()->customBoolForSwitchKey("followMe")) followMe();
  if (!validateItemAfterUserEdit()) return false;
  switch (item()->shareType()) {
    case ShareShareTypeUserInfo: sendUserInfo(); break;
    case ShareShareTypeImage: sendImage(); break;
    default: sendStatus(); break;
  }
  sendDidStart();
  return true;
}

void ShareTwitter::sendStatus() {
  kit::Ref<OAMutableURLRequest> request = apiRequest(apiURL("/1/statuses/update.json"), "POST");
  OAParameterAdditions::setParameters(*request, {{"status", status()}});
  sendFinishingRequest(request);
}

// A request whose success finishes the share; a refusal goes through the
// service's error handling.
void ShareTwitter::sendFinishingRequest(kit::Ref<OAMutableURLRequest> request) {
  kit::Ref<ShareTwitter> self(this);
  fetch(
      request,
      [self](OAServiceTicket& ticket, kit::Data* data) {
        if (ticket.didSucceed())
          self->sendDidFinish();
        else
          self->handleUnsuccessfulTicket(ticket, data ? data->toString() : std::string());
      },
      [self](OAServiceTicket&, kit::Error* error) { self->sendDidFailWithError(error); });
}

void ShareTwitter::sendUserInfo() {
  kit::Ref<ShareTwitter> self(this);
  fetch(
      apiRequest(apiURL(kProfilePath), "GET"),
      [self](OAServiceTicket& ticket, kit::Data* data) {
        if (!ticket.didSucceed()) {
          self->handleUnsuccessfulTicket(ticket, data ? data->toString() : std::string());
          return;
        }
        kit::Ref<kit::Object> parsed = JSONDecoder::decoder()->mutableObjectWithData(data);
        auto* profile = dynamic_cast<kit::MutableDictionary*>(parsed.get());
        if (!profile) {
          self->sendDidFailWithError(Share::error(ShareLocalizedFormat("Unknown Error")).get());
          return;
        }
        NSNullsToEmptyStrings::convertNSNullsToEmptyStrings(profile);
        kit::UserDefaults::standardUserDefaults().setDictionary(profile, kUserInfoKey);
        self->sendDidFinish();
      },
      [self](OAServiceTicket&, kit::Error* error) { self->sendDidFailWithError(error); });
}

void ShareTwitter::followMe() {
  item()->setCustomValue(kit::Ref<kit::Object>(), "followMe");
  kit::Ref<OAMutableURLRequest> request = apiRequest(
      apiURL(kit::format("/1/friendships/create/%@.json",
                         OAURLEncodingAdditions::URLEncodedString(ShareConfiguration::stringValue("twitterUsername")))),
      "POST");
  fetch(request, [](OAServiceTicket&, kit::Data*) {}, [](OAServiceTicket&, kit::Error*) {});
}

kit::Ref<kit::Data> ShareTwitter::jpegForUpload(const kit::Image& image, int* tenths) {
  int quality = 9;
  kit::Ref<kit::Data> jpeg = image.jpegData(quality / 10.0);
  while (jpeg && jpeg->length() > kMaxImageBytes && quality > 1) {
    --quality;
    jpeg = image.jpegData(quality / 10.0);
  }
  if (tenths) *tenths = quality;
  return jpeg;
}

void ShareTwitter::sendImage() {
  if (item()->customValueForKey("profile_update")) {
    sendProfileImage();
    return;
  }
  // OAuth Echo: the image host checks the user with the service itself.
  kit::Ref<OAMutableURLRequest> profile = apiRequest(apiURL(kProfilePath), "GET", apiURL("/"));
  profile->prepare();
  kit::Ref<OAMutableURLRequest> upload =
      apiRequest(kit::format("https://%@/api/2/upload.xml", hosts().imageHost), "POST");
  upload->setValue(apiURL(kProfilePath), "X-Auth-Service-Provider");
  upload->setValue(profile->valueForHTTPHeaderField("Authorization").value_or(""), "X-Verify-Credentials-Authorization");
  upload->setValue(kit::format("multipart/form-data; boundary=%@", kBoundary), "Content-Type");

  std::string body = kit::format("--%@\r\n", kBoundary);
  body += imagePart("media");
  body += kit::format("--%@\r\n", kBoundary);
  body += "Content-Disposition: form-data; name=\"message\"\r\n\r\n";
  body += status() + "\r\n";
  body += kit::format("--%@--\r\n", kBoundary);
  upload->setHTTPBody(kit::Data::dataWithString(body));

  kit::Ref<ShareTwitter> self(this);
  fetch(
      upload,
      [self](OAServiceTicket& ticket, kit::Data* data) {
        const std::string reply = data ? data->toString() : std::string();
        if (!ticket.didSucceed()) {
          self->handleUnsuccessfulTicket(ticket, reply);
          return;
        }
        if (std::optional<std::string> link = uploadedImageURL(reply)) {
          self->setStatus(joinStatus(self->status(), *link));
          self->sendStatus();
        } else {
          self->handleUnsuccessfulTicket(reply);
        }
      },
      [self](OAServiceTicket&, kit::Error* error) { self->sendDidFailWithError(error); });
}

// The picture as the account's profile image: the image part alone. It is
// sent as a POST, which a request carrying a body must be.
void ShareTwitter::sendProfileImage() {
  kit::Ref<OAMutableURLRequest> upload = apiRequest(apiURL(kProfileImagePath), "POST");
  upload->setValue(kit::format("multipart/form-data; boundary=%@", kBoundary), "Content-Type");
  std::string body = kit::format("--%@\r\n", kBoundary);
  body += imagePart("image");
  body += kit::format("--%@--\r\n", kBoundary);
  upload->setHTTPBody(kit::Data::dataWithString(body));
  sendFinishingRequest(upload);
}

// The item's picture as one multipart part named `name`, boundary line excluded.
std::string ShareTwitter::imagePart(const char* name) const {
  std::string part = kit::format("Content-Disposition: form-data; name=\"%@\"; filename=\"upload.jpg\"\r\n", name);
  part += "Content-Type: image/jpg\r\n\r\n";
  if (item()->image())
    if (kit::Ref<kit::Data> jpeg = jpegForUpload(*item()->image())) part += jpeg->toString();
  return part + "\r\n";
}

std::optional<std::string> ShareTwitter::uploadedImageURL(std::string_view reply) {
  const std::string folded = lower(reply);
  const size_t open = folded.find("<url>");
  if (open == std::string::npos) return std::nullopt;
  const size_t start = open + 5;
  const size_t close = folded.find("</url>", start);
  if (close == std::string::npos) return std::nullopt;
  return std::string(reply.substr(start, close - start));
}

std::string ShareTwitter::errorMessage(std::string_view body) {
  const size_t member = body.find("\"error\"");
  if (member != std::string_view::npos) {
    size_t at = member + 7;
    while (at < body.size() && (body[at] == ' ' || body[at] == ':')) ++at;
    if (at < body.size() && body[at] == '"') {
      const size_t end = body.find('"', at + 1);
      if (end != std::string_view::npos) return std::string(body.substr(at + 1, end - at - 1));
    }
  }
  return "Unknown Error";
}

void ShareTwitter::handleUnsuccessfulTicket(const OAServiceTicket& ticket, const std::string& body) {
  auto* http = dynamic_cast<kit::HTTPURLResponse*>(ticket.response());
  if (kit::Ref<kit::Error> later = Share::laterError(http ? http->statusCode() : 0)) {
    sendDidFailWithError(kit::Error::errorWithDescription("Twitter", 2, errorMessage(body), later).get());
    return;
  }
  handleUnsuccessfulTicket(body);
}

void ShareTwitter::handleUnsuccessfulTicket(const std::string& body) {
  kit::Ref<ShareTwitter> keep(this);
  const std::string message = errorMessage(body);
  if (message == "Invalid / used nonce" || message == "Could not authenticate with OAuth.") {
    // The relogin is the one failure report: the share goes again after the new login.
    shouldReloginWithPendingAction(SharePendingActionSend);
    return;
  }
  kit::Ref<kit::Object> code = ShareXMLResponseParser::getValueForElement("code", kit::Data::dataWithString(body).get());
  if (auto* text = dynamic_cast<kit::String*>(code.get()); text && text->str() == "401") {
    shouldReloginWithPendingAction(SharePendingActionSend);
    return;
  }
  sendDidFailWithError(kit::Error::errorWithDescription("Twitter", 2, message).get());
}

}  // namespace tolva
