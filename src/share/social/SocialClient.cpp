#include "share/social/SocialClient.h"

#include <algorithm>
#include <cstdio>
#include <mutex>

#include "kit/foundation/Clock.h"
#include "kit/foundation/Date.h"
#include "kit/foundation/Number.h"
#include "kit/foundation/RunLoop.h"
#include "kit/foundation/String.h"
#include "kit/foundation/UserDefaults.h"
#include "kit/net/HTTPCookieStorage.h"
#include "kit/ui/Application.h"
#include "kit/ui/Device.h"
#include "share/oauth/OAURLEncodingAdditions.h"

namespace tolva {
namespace {

std::mutex gMutex;
SocialClient::Endpoints gEndpoints;
bool gOutsideLogin = false;

constexpr const char* kAccessTokenKey = "SNAccessTokenKey";
constexpr const char* kExpirationDateKey = "SNExpirationDateKey";

SNRequest::Params textParams(const SNDialog::Params& params) {
  SNRequest::Params out;
  for (const auto& [name, value] : params) out[name] = kit::String::string(value);
  return out;
}

double expiryFrom(const std::map<std::string, std::string>& params) {
  auto it = params.find("expires_in");
  long seconds = it == params.end() ? 0 : std::strtol(it->second.c_str(), nullptr, 10);
  return seconds != 0 ? kit::Clock::now() + double(seconds) : kit::RunLoop::kDistantFuture;
}

}  // namespace

SocialClient::Endpoints SocialClient::endpoints() {
  std::lock_guard<std::mutex> lock(gMutex);
  return gEndpoints;
}

void SocialClient::setEndpoints(Endpoints e) {
  std::lock_guard<std::mutex> lock(gMutex);
  gEndpoints = std::move(e);
}

void SocialClient::setOutsideLoginAllowed(bool allowed) {
  std::lock_guard<std::mutex> lock(gMutex);
  gOutsideLogin = allowed;
}

bool SocialClient::outsideLoginAllowed() {
  std::lock_guard<std::mutex> lock(gMutex);
  return gOutsideLogin;
}

SocialClient* SocialClient::sharedInstance() {
  static SocialClient* client = [] {
    auto* c = new SocialClient(kDefaultAppId, nullptr);
    c->retain();  // kept for the life of the process
    return c;
  }();
  return client;
}

SocialClient::SocialClient(std::string appId, SNSessionDelegate* delegate)
    : SocialClient(std::move(appId), std::nullopt, delegate) {}

SocialClient::SocialClient(std::string appId, std::optional<std::string> urlSchemeSuffix, SNSessionDelegate* delegate)
    : sessionDelegate_(delegate), appId_(std::move(appId)), urlSchemeSuffix_(std::move(urlSchemeSuffix)) {}

SocialClient::~SocialClient() {
  for (const auto& r : requests_) r->setStateObserver(nullptr);
  // A dialog still on screen outlives us: it must not report to a freed client.
  if (loginDialog_) loginDialog_->setLoginDelegate(nullptr);
  if (auto* login = dynamic_cast<SNLoginDialog*>(fbDialog_.get())) login->setLoginDelegate(nullptr);
}

bool SocialClient::isSessionValid() const {
  return !accessToken_.empty() && expirationDate_ > 0 && expirationDate_ > kit::Clock::now();
}

void SocialClient::invalidateSession() {
  accessToken_.clear();
  expirationDate_ = 0;
  // Every cookie of the login domain goes, whatever its scheme or Secure flag,
  // else the service would still know the user.
  const std::string host = endpoints().loginHost;
  kit::HTTPCookieStorage& storage = kit::HTTPCookieStorage::sharedHTTPCookieStorage();
  for (const kit::Ref<kit::HTTPCookie>& cookie : storage.cookies()) {
    std::string domain = cookie->domain();
    if (!domain.empty() && domain[0] == '.') domain.erase(0, 1);
    bool ours = domain == host || (host.size() > domain.size() && host.compare(host.size() - domain.size(), domain.size(), domain) == 0 &&
                                   host[host.size() - domain.size() - 1] == '.');
    if (ours) storage.deleteCookie(*cookie);
  }
}

void SocialClient::logout() {
  invalidateSession();
  if (sessionDelegate_) sessionDelegate_->fbDidLogout();
}

void SocialClient::saveToken() const {
  kit::UserDefaults& defaults = kit::UserDefaults::standardUserDefaults();
  defaults.setString(accessToken_, kAccessTokenKey);
  defaults.setObject(kit::Date::dateWithTimeIntervalSinceReferenceDate(expirationDate_).get(), kExpirationDateKey);
  defaults.synchronize();
}

void SocialClient::clearToken() const {
  kit::UserDefaults& defaults = kit::UserDefaults::standardUserDefaults();
  defaults.removeObjectForKey(kAccessTokenKey);
  defaults.removeObjectForKey(kExpirationDateKey);
  defaults.synchronize();
}

std::string SocialClient::getOwnBaseUrl() const {
  return "fb" + appId_ + urlSchemeSuffix_.value_or("") + "://authorize";
}

void SocialClient::authorize(std::vector<std::string> permissions) {
  permissions_ = std::move(permissions);
  authorizeWithSNAppAuth(true, true);
}

void SocialClient::authorizeWithSNAppAuth(bool tryAppAuth, bool trySafariAuth) {
  SNDialog::Params params = {{"client_id", appId_},
                             {"type", "user_agent"},
                             {"redirect_uri", kRedirectURL},
                             {"display", "touch"},
                             {"sdk", "ios"}};
  if (!permissions_.empty()) {
    std::string scope;
    for (const std::string& p : permissions_) scope += (scope.empty() ? "" : ",") + p;
    params["scope"] = scope;
  }
  if (urlSchemeSuffix_) params["local_client_id"] = *urlSchemeSuffix_;
  const std::string loginURL = endpoints().dialogBase + "oauth";

  if (kit::Device::currentDevice().isMultitaskingSupported() && outsideLoginAllowed()) {
    kit::Application* app = kit::Application::sharedApplication();
    bool opened = false;
    if (tryAppAuth) {
      std::string scheme = urlSchemeSuffix_ ? "fbauth2" : "fbauth";
      kit::Ref<kit::URL> url = kit::URL::URLWithString(
          SNRequest::serializeURL(scheme + "://authorize", textParams(params)));
      opened = url && app->canOpenURL(url.get()) && app->openURLInSystem(url.get());
    }
    if (!opened && trySafariAuth) {
      params["redirect_uri"] = getOwnBaseUrl();
      kit::Ref<kit::URL> url = kit::URL::URLWithString(SNRequest::serializeURL(loginURL, textParams(params)));
      opened = url && app->openURLInSystem(url.get());
    }
    if (opened) return;
  }
  if (loginDialog_) loginDialog_->setDelegate(nullptr);
  loginDialog_ = kit::Ref<SNLoginDialog>(new SNLoginDialog(loginURL, params, this));
  loginDialog_->show();
}

std::map<std::string, std::string> SocialClient::parseURLParams(const std::string& query) {
  std::map<std::string, std::string> out;
  size_t at = 0;
  while (at <= query.size()) {
    size_t amp = query.find('&', at);
    std::string pair = query.substr(at, amp == std::string::npos ? std::string::npos : amp - at);
    size_t eq = pair.find('=');
    if (eq != std::string::npos)
      out[pair.substr(0, eq)] = OAURLEncodingAdditions::URLDecodedString(pair.substr(eq + 1));
    if (amp == std::string::npos) break;
    at = amp + 1;
  }
  return out;
}

bool SocialClient::handleOpenURL(const kit::URL& url) {
  const std::string own = getOwnBaseUrl();
  const std::string& text = url.absoluteString();
  if (text.size() < own.size() || text.compare(0, own.size(), own) != 0) return false;
  // The fragment wins over the query.
  std::string query = url.hasFragment() ? url.fragment() : url.query();
  std::map<std::string, std::string> params = parseURLParams(query);
  auto token = params.find("access_token");
  if (token != params.end() && !token->second.empty()) {
    fbDialogLogin(token->second, expiryFrom(params));
    return true;
  }
  auto error = params.find("error");
  std::string errorText = error == params.end() ? std::string() : error->second;
  if (errorText == "service_disabled_use_browser") {
    authorizeWithSNAppAuth(false, true);
  } else if (errorText == "service_disabled") {
    authorizeWithSNAppAuth(false, false);
  } else {
    bool cancelled = !params.count("error_code") && (error == params.end() || errorText == "access_denied");
    fbDialogNotLogin(cancelled);
  }
  return true;
}

void SocialClient::fbDialogLogin(const std::string& token, double expirationDate) {
  accessToken_ = token;
  expirationDate_ = expirationDate;
  if (sessionDelegate_) sessionDelegate_->fbDidLogin();
}

void SocialClient::fbDialogNotLogin(bool cancelled) {
  if (sessionDelegate_) sessionDelegate_->fbDidNotLogin(cancelled);
}

kit::Ref<SNRequest> SocialClient::openUrl(const std::string& url, SNRequest::Params params,
                                          const std::string& httpMethod, SNRequestDelegate* delegate) {
  params["format"] = kit::String::string("json");
  params["sdk"] = kit::String::string("ios");
  params["sdk_version"] = kit::String::string("2");
  if (isSessionValid()) params["access_token"] = kit::String::string(accessToken_);
  kit::Ref<SNRequest> request = SNRequest::getRequestWithParams(std::move(params), httpMethod, delegate, url);
  requests_.push_back(request);
  request->setStateObserver([this](SNRequest& r) { requestStateChanged(r); });
  request->connect();
  return request;
}

void SocialClient::requestStateChanged(SNRequest& request) {
  if (request.state() == SNRequest::Error) {
    invalidateSession();
    if (sessionDelegate_) sessionDelegate_->fbSessionInvalidated();
  }
  if (request.state() == SNRequest::Complete || request.state() == SNRequest::Error) {
    request.setStateObserver(nullptr);
    // The request keeps itself alive for the rest of its own callback.
    requests_.erase(std::remove_if(requests_.begin(), requests_.end(),
                                   [&](const kit::Ref<SNRequest>& r) { return r.get() == &request; }),
                    requests_.end());
  }
}

kit::Ref<SNRequest> SocialClient::requestWithParams(SNRequest::Params params, SNRequestDelegate* delegate) {
  auto method = params.find("method");
  if (method == params.end()) {
    std::fprintf(stderr, "API Method must be specified\n");
    return {};
  }
  std::string name = method->second ? method->second->description() : std::string();
  if (auto* s = dynamic_cast<kit::String*>(method->second.get())) name = s->str();
  params.erase(method);
  return requestWithMethodName(name, std::move(params), "GET", delegate);
}

kit::Ref<SNRequest> SocialClient::requestWithMethodName(const std::string& method, SNRequest::Params params,
                                                        const std::string& httpMethod, SNRequestDelegate* delegate) {
  return openUrl(endpoints().restBase + method, std::move(params), httpMethod, delegate);
}

kit::Ref<SNRequest> SocialClient::requestWithGraphPath(const std::string& path, SNRequestDelegate* delegate) {
  return requestWithGraphPath(path, {}, "GET", delegate);
}

kit::Ref<SNRequest> SocialClient::requestWithGraphPath(const std::string& path, SNRequest::Params params,
                                                       SNRequestDelegate* delegate) {
  return requestWithGraphPath(path, std::move(params), "GET", delegate);
}

kit::Ref<SNRequest> SocialClient::requestWithGraphPath(const std::string& path, SNRequest::Params params,
                                                       const std::string& httpMethod, SNRequestDelegate* delegate) {
  return openUrl(endpoints().graphBase + path, std::move(params), httpMethod, delegate);
}

void SocialClient::dialog(const std::string& action, SNDialogDelegate* delegate) { dialog(action, {}, delegate); }

void SocialClient::dialog(const std::string& action, SNDialog::Params params, SNDialogDelegate* delegate) {
  if (fbDialog_) fbDialog_->setDelegate(nullptr);
  fbDialog_ = nullptr;
  const std::string url = endpoints().dialogBase + action;
  params["display"] = "touch";
  params["sdk"] = "2";
  params["redirect_uri"] = kRedirectURL;
  if (action == "oauth") {
    params["type"] = "user_agent";
    fbDialog_ = kit::Ref<SNDialog>(new SNLoginDialog(url, std::move(params), this));
  } else {
    params["app_id"] = appId_;
    if (isSessionValid()) params["access_token"] = OAURLEncodingAdditions::URLDecodedString(accessToken_);
    fbDialog_ = kit::Ref<SNDialog>(new SNDialog(url, std::move(params), delegate));
  }
  fbDialog_->show();
}

}  // namespace tolva
