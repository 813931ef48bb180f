#pragma once
// What the web sharers have in common: form values escaped with everything
// outside the unreserved set (a value can then never split a pair or carry a
// user name's "@" into a URL's host part), JSON string escaping, the login
// check with the service and the activity indicator's two states.

#include <functional>
#include <initializer_list>
#include <map>
#include <string>
#include <string_view>

#include "share/services/ShareRequest.h"

namespace tolva {

class ShareFormController;
class ShareSharer;

namespace ShareWebSupport {

// "&amp;" read as "&", then every byte outside the unreserved set escaped.
std::string formValue(std::string_view text);
// A URL's absolute string escaped the same way, taken as it is; "" for none.
std::string urlValue(const kit::URL* url);
// A URL's text (or a JSON string holding one) escaped the same way, as it is.
std::string urlValue(std::string_view urlText);
// The text as the inside of a JSON string.
std::string jsonEscape(std::string_view text);
// The reply's header (case-insensitive), "" when absent.
std::string header(const ShareRequest& request, std::string_view name);

// The sharing error with `text` for a failed request; when the service gave
// no answer it carries the connection's error, and when the answer says
// "later" (408, 429, 5xx) Share::laterError: either marks the failure as one
// that may pass (a queued share then stays queued).
kit::Ref<kit::Error> failure(const ShareRequest& request, const std::string& text);

// Starts a request whose callback reaches `sharer` (kept alive until then).
kit::Ref<ShareRequest> start(ShareSharer* sharer, const std::string& url, std::string params, std::string method,
                             std::function<void(ShareRequest&)> finished,
                             kit::Ref<kit::Dictionary> headerFields = nullptr);

// The activity indicator: "Logging In..." (unless quiet) and hidden.
void showActivity(const ShareSharer& sharer, const std::string& text);
void hideActivity();

// The text of a failed login's "Login Error" alert, chosen by the reply.
using LoginAlert = std::function<std::string(const ShareRequest&)>;
// `refused` when the service answered 403, `failed` for any other failure.
LoginAlert loginAlert(std::string refused, std::string failed);

// A login check's start: "Logging In..." shown and the form kept pending
// until the service's answer; the form's values.
std::map<std::string, std::string> beginLogin(ShareSharer& sharer, ShareFormController& form);
// Its end: the activity hidden, then the pending form saved when the service
// took the login, or the alert; the sharer told either way.
void finishLogin(ShareSharer& sharer, ShareRequest& request, const LoginAlert& alertText);
// The whole check for a service that takes the form's `fields` (its keys, in
// this order) POSTed to `url`, after the pairs of `leading` ("a=b" or "").
void postLogin(ShareSharer& sharer, ShareFormController* form, const std::string& url, std::string leading,
               std::initializer_list<const char*> fields, LoginAlert alertText);

}  // namespace ShareWebSupport
}  // namespace tolva
