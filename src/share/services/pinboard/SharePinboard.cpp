#include "share/services/pinboard/SharePinboard.h"

#include "kit/foundation/Format.h"
#include "share/core/Share.h"
#include "share/core/ShareFunctions.h"
#include "share/ui/ShareFormController.h"
#include "share/services/ShareWebSupport.h"

namespace tolva {

using namespace ShareWebSupport;

SharePinboard::Hosts& SharePinboard::hosts() {
  static Hosts h;
  return h;
}

std::string SharePinboard::apiURL(const std::string& user, const std::string& password,
                                  const std::string& pathAndQuery) {
  return kit::format("https://%@:%@@", formValue(user), formValue(password)) + hosts().api + pathAndQuery;
}

std::string SharePinboard::authorizationFormCaption() const {
  return ShareLocalizedFormat("Create an account at %@", {hosts().signUp});
}

void SharePinboard::authorizationFormValidate(ShareFormController* form) {
  if (!form) return;
  const ShareFormController::Values values = beginLogin(*this, *form);
  kit::Ref<SharePinboard> self(this);
  start(this, apiURL(ShareFormController::valueOf(values, "username"), ShareFormController::valueOf(values, "password"), "/v1/posts/get"), "", "GET",
        [self](ShareRequest& r) { self->authFinished(r); });
}

void SharePinboard::authFinished(ShareRequest& request) {
  kit::Ref<SharePinboard> keep(this);
  hideActivity();
  if (!handleResponse(request)) return;
  // Only a real answer proves the login: a network failure or an empty reply stores nothing.
  if (request.success() && !request.getResult().empty()) {
    if (pendingForm()) pendingForm()->saveForm();
    return;
  }
  alert(ShareLocalizedFormat("Login Error"),
        ShareLocalizedFormat("The service encountered an error. Please try again later."));
}

bool SharePinboard::handleResponse(ShareRequest& request) {
  if (request.statusCode() == 401 || request.getResult() == ShareLocalizedFormat("401 Forbidden")) {
    sendDidFailWithError(nullptr, true);
    return false;
  }
  return true;
}

std::optional<std::vector<kit::Ref<ShareFormFieldSettings>>> SharePinboard::shareFormFieldsForType(int type) {
  if (type != ShareShareTypeURL) return std::nullopt;
  return std::vector<kit::Ref<ShareFormFieldSettings>>{
      ShareFormFieldSettings::label(ShareLocalizedFormat("Title"), "title", ShareFormFieldTypeText, item()->title()),
      ShareFormFieldSettings::label(ShareLocalizedFormat("Tags"), "tags", ShareFormFieldTypeText, item()->tags()),
      ShareFormFieldSettings::label(ShareLocalizedFormat("Notes"), "text", ShareFormFieldTypeText, item()->text()),
      ShareFormFieldSettings::label(ShareLocalizedFormat("Shared"), "shared", ShareFormFieldTypeSwitch, "0")};
}

bool SharePinboard::send() {
  if (!validateItem()) return false;
  std::string query = kit::format("/v1/posts/add?url=%@&description=%@&tags=%@&extended=%@&shared=%@",
                                  urlValue(item()->URL()), formValue(item()->title()), formValue(item()->tags()),
                                  formValue(item()->text()), item()->customBoolForSwitchKey("shared") ? "yes" : "no");
  kit::Ref<SharePinboard> self(this);
  setRequest(start(this,
                   apiURL(getAuthValueForKey("username").value_or(""), getAuthValueForKey("password").value_or(""),
                          query),
                   "", "GET", [self](ShareRequest& r) { self->sendFinished(r); }));
  sendDidStart();
  return true;
}

void SharePinboard::sendFinished(ShareRequest& request) {
  kit::Ref<SharePinboard> keep(this);
  if (request.statusCode() == 401 || request.getResult() == ShareLocalizedFormat("401 Forbidden")) {
    // One report: the relogin, which sends the share again once the new login is saved.
    shouldReloginWithPendingAction(SharePendingActionSend);
    return;
  }
  if (request.statusCode() == 200 && request.getResult().find("\"done\"") != std::string::npos) {
    sendDidFinish();
    return;
  }
  sendDidFailWithError(failure(request, ShareLocalizedFormat("There was an error saving to Pinboard")).get());
}

}  // namespace tolva
