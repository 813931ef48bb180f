#include "share/services/ShareWebSupport.h"

#include <cstdio>

#include "share/core/Share.h"
#include "share/core/ShareFunctions.h"
#include "share/core/ShareSharer.h"
#include "share/oauth/OAURLEncodingAdditions.h"
#include "share/ui/ShareActivityIndicator.h"
#include "share/ui/ShareFormController.h"

namespace tolva::ShareWebSupport {

std::string formValue(std::string_view text) {
  std::string s;
  s.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text.substr(i, 5) == "&amp;") {
      s += '&';
      i += 4;
    } else {
      s += text[i];
    }
  }
  return OAURLEncodingAdditions::URLEncodedString(s);
}

std::string urlValue(const kit::URL* url) { return url ? urlValue(url->absoluteString()) : std::string(); }

std::string urlValue(std::string_view urlText) { return OAURLEncodingAdditions::URLEncodedString(std::string(urlText)); }

std::string jsonEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(static_cast<unsigned char>(c)));
          out += buf;
        } else {
          out += c;
        }
    }
  }
  return out;
}

std::string header(const ShareRequest& request, std::string_view name) {
  const kit::HTTPURLResponse* response = request.response();
  if (!response) return {};
  return response->valueForHTTPHeaderField(name).value_or(std::string());
}

kit::Ref<kit::Error> failure(const ShareRequest& request, const std::string& text) {
  kit::Ref<kit::Error> below(request.error());
  // An answer that says "later" (a gateway's for a service it could not
  // reach, a busy or failing service's own) leaves the share to go out again.
  if (kit::Ref<kit::Error> later = Share::laterError(request.statusCode())) below = later;
  return Share::error(text, below);
}

kit::Ref<ShareRequest> start(ShareSharer* sharer, const std::string& url, std::string params, std::string method,
                             std::function<void(ShareRequest&)> finished, kit::Ref<kit::Dictionary> headerFields) {
  kit::Ref<ShareSharer> keep(sharer);
  kit::Ref<ShareRequest> request(new ShareRequest(
      kit::URL::URLWithString(url), std::move(params),
      [keep, finished = std::move(finished)](ShareRequest& r) { finished(r); }, std::move(method), false));
  request->setHeaderFields(std::move(headerFields));
  request->start();
  return request;
}

void showActivity(const ShareSharer& sharer, const std::string& text) {
  if (!sharer.quiet()) ShareActivityIndicator::currentIndicator()->displayActivity(text);
}

void hideActivity() { ShareActivityIndicator::currentIndicator()->hide(); }

LoginAlert loginAlert(std::string refused, std::string failed) {
  return [refused = std::move(refused), failed = std::move(failed)](const ShareRequest& request) {
    return request.statusCode() == 403 ? refused : failed;
  };
}

std::map<std::string, std::string> beginLogin(ShareSharer& sharer, ShareFormController& form) {
  showActivity(sharer, ShareLocalizedFormat("Logging In..."));
  ShareFormController::Values values = form.formValues();
  sharer.setPendingForm(&form);
  return values;
}

void finishLogin(ShareSharer& sharer, ShareRequest& request, const LoginAlert& alertText) {
  kit::Ref<ShareSharer> keep(&sharer);
  hideActivity();
  if (request.success()) {
    if (sharer.pendingForm()) sharer.pendingForm()->saveForm();
  } else {
    sharer.alert(ShareLocalizedFormat("Login Error"), alertText(request));
  }
  sharer.authDidFinish(request.success());
}

void postLogin(ShareSharer& sharer, ShareFormController* form, const std::string& url, std::string leading,
               std::initializer_list<const char*> fields, LoginAlert alertText) {
  if (!form) return;
  const ShareFormController::Values values = beginLogin(sharer, *form);
  std::string params = std::move(leading);
  for (const char* field : fields) {
    if (!params.empty()) params += '&';
    params += std::string(field) + "=" + formValue(ShareFormController::valueOf(values, field));
  }
  kit::Ref<ShareSharer> self(&sharer);
  start(&sharer, url, std::move(params), "POST",
        [self, alertText = std::move(alertText)](ShareRequest& r) { finishLogin(*self, r, alertText); });
}

}  // namespace tolva::ShareWebSupport
