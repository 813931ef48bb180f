#include "share/social/ShareFacebook.h"

#include "share/ui/ShareFormControllerLargeTextField.h"

#include <cmath>
#include <mutex>
#include <random>

#include "json/small/SmallJSON.h"
#include "kit/foundation/Clock.h"
#include "kit/foundation/Date.h"
#include "kit/foundation/FileManager.h"
#include "kit/foundation/Paths.h"
#include "kit/foundation/String.h"
#include "kit/foundation/UserDefaults.h"
#include "share/core/NSNullsToEmptyStrings.h"
#include "share/core/Share.h"
#include "share/core/ShareConfiguration.h"
#include "share/core/ShareFunctions.h"
#include "share/ui/ShareCustomFormController.h"

namespace tolva {
namespace {

std::mutex gClientMutex;
kit::Ref<SocialClient> gClient;

kit::UserDefaults& defaults() { return kit::UserDefaults::standardUserDefaults(); }

SocialClient* existingClient() {
  std::lock_guard<std::mutex> lock(gClientMutex);
  return gClient.get();
}

kit::Ref<kit::MutableDictionary> mutableCopyOf(const kit::Dictionary& dictionary) {
  kit::Ref<kit::Object> copy = dictionary.mutableCopy();
  return kit::Ref<kit::MutableDictionary>(dynamic_cast<kit::MutableDictionary*>(copy.get()));
}

SNDialog::Params dialogParams(const SNRequest::Params& params) {
  SNDialog::Params out;
  for (const auto& [name, value] : params)
    if (auto* text = kit::cast<kit::String>(value)) out[name] = text->str();
  return out;
}

}  // namespace

ShareFacebook::~ShareFacebook() {
  SocialClient* client = existingClient();
  if (client && client->sessionDelegate() == static_cast<SNSessionDelegate*>(this)) client->setSessionDelegate(nullptr);
}

SocialClient* ShareFacebook::facebook() {
  const std::string appId = ShareConfiguration::stringValue("facebookAppId");
  // Any text is a suffix, the empty one included; only no value is none.
  kit::Ref<kit::Object> suffix = ShareConfiguration::sharedInstance()->configurationValue("facebookLocalAppId", nullptr);
  std::optional<std::string> urlSchemeSuffix;
  if (auto* text = kit::cast<kit::String>(suffix)) urlSchemeSuffix = text->str();
  std::lock_guard<std::mutex> lock(gClientMutex);
  // A new configuration (a test's) gets its own client; the program has one.
  if (!gClient || gClient->appId() != appId || gClient->urlSchemeSuffix() != urlSchemeSuffix)
    gClient = kit::Ref<SocialClient>(new SocialClient(appId, urlSchemeSuffix, nullptr));
  return gClient.get();
}

void ShareFacebook::resetForTesting() {
  std::lock_guard<std::mutex> lock(gClientMutex);
  gClient = nullptr;
}

void ShareFacebook::flushAccessToken() {
  SocialClient* client = facebook();
  client->setAccessToken("");
  client->setExpirationDate(0);
  defaults().removeObjectForKey(kAccessTokenKey);
  defaults().removeObjectForKey(kExpiryDateKey);
  defaults().removeObjectForKey(kUserInfoKey);
  defaults().synchronize();
}

std::string ShareFacebook::storedImagePath(const kit::Image& image) {
  const std::string folder = kit::Paths::cachesDirectory() + "/ShareImage";
  kit::Ref<kit::Data> png = image.pngData();
  if (!png || !kit::FileManager::createDirectory(folder, true)) return "";
  static std::mt19937 random{std::random_device{}()};
  char name[64];
  std::snprintf(name, sizeof name, "img-%lld-%u",
                static_cast<long long>(std::floor(kit::Clock::now() + kit::Clock::kReferenceDateOffset1970)),
                static_cast<unsigned>(random()));
  const std::string path = folder + "/" + name;
  return kit::FileManager::writeFile(path, png->view()) ? path : "";
}

kit::Ref<kit::Image> ShareFacebook::storedImage(const std::string& path) {
  if (path.empty()) return nullptr;
  kit::Ref<kit::Image> image = kit::Image::imageWithContentsOfFile(path);
  kit::FileManager::removeItem(path);
  return image;
}

void ShareFacebook::removeStoredItem() {
  if (kit::Ref<kit::Dictionary> stored = defaults().dictionaryForKey(kStoredItemKey))
    if (auto* path = kit::cast<kit::String>(stored->objectForKey("imagePath"))) kit::FileManager::removeItem(path->str());
  defaults().removeObjectForKey(kStoredItemKey);
}

bool ShareFacebook::handleOpenURL(const kit::URL* url) {
  if (!url) return false;
  SocialClient* client = facebook();
  // A login that ended after the program restarted finds nobody waiting: a
  // fresh sharer takes the token and shares the parked item.
  kit::Ref<ShareFacebook> fresh;
  if (!client->sessionDelegate()) {
    fresh = kit::make<ShareFacebook>();
    fresh->setPendingAction(SharePendingActionShare);
    fresh->loginHold_ = fresh;
    client->setSessionDelegate(fresh.get());
  }
  bool handled = client->handleOpenURL(*url);
  if (fresh && !handled) {
    if (client->sessionDelegate() == static_cast<SNSessionDelegate*>(fresh.get())) client->setSessionDelegate(nullptr);
    fresh->loginHold_ = nullptr;
  }
  return handled;
}

// ---- Authorisation

bool ShareFacebook::isAuthorized() {
  SocialClient* client = facebook();
  if (client->isSessionValid()) return true;
  client->setAccessToken(defaults().stringForKey(kAccessTokenKey));
  auto* expiry = kit::cast<kit::Date>(defaults().objectForKey(kExpiryDateKey));
  client->setExpirationDate(expiry ? expiry->timeIntervalSinceReferenceDate() : 0);
  return client->isSessionValid();
}

void ShareFacebook::promptAuthorization() {
  removeStoredItem();
  kit::Ref<kit::MutableDictionary> parked = mutableCopyOf(*item()->dictionaryRepresentation());
  if (kit::Image* image = item()->image()) {
    std::string path = storedImagePath(*image);
    if (!path.empty()) parked->setObject(kit::String::string(path), "imagePath");
  }
  defaults().setObject(parked.get(), kStoredItemKey);
  defaults().synchronize();
  SocialClient* client = facebook();
  client->setSessionDelegate(this);
  loginHold_ = this;
  client->authorize(ShareConfiguration::stringListValue("facebookListOfPermissions"));
}

void ShareFacebook::fbDidLogin() {
  kit::Ref<ShareFacebook> keep(this);
  SocialClient* client = facebook();
  defaults().setString(client->accessToken(), kAccessTokenKey);
  defaults().setObject(kit::Date::dateWithTimeIntervalSinceReferenceDate(client->expirationDate()).get(),
                       kExpiryDateKey);
  kit::Ref<ShareItem> restored;
  if (kit::Ref<kit::Dictionary> stored = defaults().dictionaryForKey(kStoredItemKey)) {
    restored = ShareItem::itemFromDictionary(stored.get());
    if (auto* path = kit::cast<kit::String>(stored->objectForKey("imagePath")))
      if (restored) restored->setImage(storedImage(path->str()));
    defaults().removeObjectForKey(kStoredItemKey);
  }
  defaults().synchronize();
  if (client->sessionDelegate() == static_cast<SNSessionDelegate*>(this)) client->setSessionDelegate(nullptr);
  if (restored) setItem(restored.get());
  authDidFinish(true);
  if (restored) tryPendingAction();
  loginHold_ = nullptr;
}

void ShareFacebook::fbDidNotLogin(bool cancelled) {
  kit::Ref<ShareFacebook> keep(this);
  if (!cancelled) alert(ShareLocalizedFormat("Authorize Error"), ShareLocalizedFormat("There was an error while authorizing"));
  removeStoredItem();
  defaults().synchronize();
  SocialClient* client = facebook();
  if (client->sessionDelegate() == static_cast<SNSessionDelegate*>(this)) client->setSessionDelegate(nullptr);
  authDidFinish(false);
  loginHold_ = nullptr;
}

void ShareFacebook::logout() {
  removeStoredItem();
  flushAccessToken();
  facebook()->logout();
}

// ---- Showing and sending

void ShareFacebook::show() {
  const ShareShareType type = item()->shareType();
  if (type == ShareShareTypeText || type == ShareShareTypeImage)
    showFacebookForm();
  else
    tryToSend();
}

void ShareFacebook::showFacebookForm() {
  // The long-text editor without a limit: a photo's caption, or a post's text.
  auto form = kit::make<ShareFormControllerLargeTextField>(this);
  if (item()->shareType() == ShareShareTypeImage) {
    form->setImage(item()->image());
    form->setText(item()->title());
  } else {
    form->setText(item()->text());
  }
  pushViewController(form.get(), false);
  Share::currentHelper()->showViewController(this);
}

void ShareFacebook::sendForm(ShareFormControllerLargeTextField* form) {
  kit::Ref<ShareFacebook> keep(this);
  if (form) {
    const std::string text = form->textView() ? form->textView()->text() : form->text();
    if (item()->shareType() == ShareShareTypeImage)
      item()->setTitle(text);
    else
      item()->setText(text);
  }
  tryToSend();
}

void ShareFacebook::sendDidCancel() { ShareSharer::sendDidCancel(); }

bool ShareFacebook::send() {
  if (!validateItem()) return false;
  ShareItem& it = *item();
  auto actions = kit::MutableDictionary::dictionary();
  actions->setObject(kit::String::string(ShareLocalizedFormat("Get") + " " + ShareConfiguration::stringValue("appName")),
                     "name");
  actions->setObject(kit::String::string(ShareConfiguration::stringValue("appURL")), "link");
  SmallJSON json;
  kit::Ref<kit::String> actionsText = json.stringWithObject(actions.get());
  SNRequest::Params params;
  if (actionsText) params["actions"] = actionsText;
  auto text = [](const std::string& s) { return kit::Ref<kit::Object>(kit::String::string(s)); };
  SocialClient* client = facebook();
  kit::Ref<ShareFacebook> hold(this);
  switch (it.shareType()) {
    case ShareShareTypeURL: {
      if (!it.URL()) return false;
      const std::string url = it.URL()->absoluteString();
      params["link"] = text(url);
      params["name"] = text(it.title().empty() ? url : it.title());
      if (!it.text().empty()) params["message"] = text(it.text());
      const std::string picture = it.customStringForKey("picture");
      if (!picture.empty()) params["picture"] = text(picture);
      sendHold_ = hold;
      client->dialog("feed", dialogParams(params), this);
      return true;
    }
    case ShareShareTypeText:
      if (it.text().empty()) return false;
      params["message"] = text(it.text());
      sendHold_ = hold;
      client->requestWithGraphPath("me/feed", std::move(params), "POST", this);
      return true;
    case ShareShareTypeImage:
      if (!it.image()) return false;
      if (!it.title().empty()) params["caption"] = text(it.title());
      if (!it.text().empty()) params["message"] = text(it.text());
      params["picture"] = kit::Ref<kit::Object>(it.image());
      sendHold_ = hold;
      client->requestWithGraphPath("me/photos", std::move(params), "POST", this);
      return true;
    case ShareShareTypeUserInfo:
      setQuiet(true);
      sendHold_ = hold;
      client->requestWithGraphPath("me", {}, "GET", this);
      return true;
    default: return false;
  }
}

void ShareFacebook::releaseSendHold() {
  kit::Ref<ShareFacebook> last = std::move(sendHold_);
  (void)last;
}

// ---- Request results

void ShareFacebook::requestLoading(SNRequest&) { sendDidStart(); }

void ShareFacebook::requestDidLoad(SNRequest&, kit::Object* result) {
  kit::Ref<ShareFacebook> keep(this);
  if (auto* answer = kit::cast<kit::Dictionary>(result); answer && answer->objectForKey("username")) {
    kit::Ref<kit::MutableDictionary> profile = mutableCopyOf(*answer);
    NSNullsToEmptyStrings::convertNSNullsToEmptyStrings(profile.get());
    defaults().setObject(profile.get(), kUserInfoKey);
    defaults().synchronize();
  }
  sendDidFinish();
  releaseSendHold();
}

void ShareFacebook::requestDidFailWithError(SNRequest&, kit::Error* error) {
  kit::Ref<ShareFacebook> keep(this);
  if (error && error->domain() == SNRequest::kErrorDomain && error->code() == SNRequest::kGenericErrorCode)
    shouldReloginWithPendingAction(SharePendingActionSend);
  else
    sendDidFailWithError(error);
  releaseSendHold();
}

// ---- Dialog results

void ShareFacebook::dialogDidComplete(SNDialog&) {
  kit::Ref<ShareFacebook> keep(this);
  sendDidFinish();
  releaseSendHold();
}

void ShareFacebook::dialogDidNotComplete(SNDialog&) {
  kit::Ref<ShareFacebook> keep(this);
  sendDidCancel();
  releaseSendHold();
}

void ShareFacebook::dialogCompleteWithUrl(kit::URL* url) {
  if (url && url->absoluteString() == SocialClient::kRedirectURL) setQuiet(true);
}

void ShareFacebook::dialogDidFailWithError(SNDialog&, kit::Error* error) {
  kit::Ref<ShareFacebook> keep(this);
  if (error && error->code() == 190) {
    // The token expired or was revoked: log in again and send after it.
    flushAccessToken();
    setPendingAction(SharePendingActionSend);
    authorize();
  } else if (!error || error->code() != -999) {
    sendDidFailWithError(error);
  }
  releaseSendHold();
}

bool ShareFacebook::dialogShouldOpenURLInExternalBrowser(SNDialog&, kit::URL& url) {
  return url.schemeIs("http") || url.schemeIs("https");
}

}  // namespace tolva
