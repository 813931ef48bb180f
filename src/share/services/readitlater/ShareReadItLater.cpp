#include "share/services/readitlater/ShareReadItLater.h"

#include "kit/foundation/Format.h"
#include "share/core/Share.h"
#include "share/core/ShareConfiguration.h"
#include "share/core/ShareFunctions.h"
#include "share/ui/ShareFormController.h"
#include "share/services/ShareWebSupport.h"

namespace tolva {

using namespace ShareWebSupport;

ShareReadItLater::Hosts& ShareReadItLater::hosts() {
  static Hosts h;
  return h;
}

std::string ShareReadItLater::authorizationFormCaption() const {
  return ShareLocalizedFormat("Create a free account at %@", {hosts().signUp});
}

std::string ShareReadItLater::errorText(const ShareRequest& request) {
  std::string text = header(request, "X-Error");
  return text.empty() ? ShareLocalizedFormat("The service encountered an error. Please try again later.") : text;
}

void ShareReadItLater::authorizationFormValidate(ShareFormController* form) {
  postLogin(*this, form, "https://" + hosts().api + "/v2/auth",
            "apikey=" + formValue(ShareConfiguration::stringValue("readItLaterKey")), {"username", "password"},
            &errorText);
}

std::optional<std::vector<kit::Ref<ShareFormFieldSettings>>> ShareReadItLater::shareFormFieldsForType(int type) {
  if (type != ShareShareTypeURL) return std::nullopt;
  return std::vector<kit::Ref<ShareFormFieldSettings>>{
      ShareFormFieldSettings::label(ShareLocalizedFormat("Title"), "title", ShareFormFieldTypeText, item()->title()),
      ShareFormFieldSettings::label(ShareLocalizedFormat("Tags"), "tags", ShareFormFieldTypeText, item()->tags())};
}

bool ShareReadItLater::send() {
  if (!validateItem()) return false;
  const std::string url = item()->URL() ? item()->URL()->absoluteString() : std::string();
  std::string params = kit::format(
      "apikey=%@&username=%@&password=%@%@%@", formValue(ShareConfiguration::stringValue("readItLaterKey")),
      formValue(getAuthValueForKey("username").value_or("")), formValue(getAuthValueForKey("password").value_or("")),
      kit::format("&new={\"0\":{\"url\":\"%@\",\"title\":\"%@\"}}", urlValue(jsonEscape(url)),
                  formValue(jsonEscape(item()->title()))),
      item()->tags().empty() ? std::string()
                             : kit::format("&update_tags={\"0\":{\"url\":\"%@\",\"tags\":\"%@\"}}",
                                           urlValue(jsonEscape(url)), formValue(jsonEscape(item()->tags()))));
  kit::Ref<ShareReadItLater> self(this);
  setRequest(start(this, "https://" + hosts().api + "/v2/send", std::move(params), "POST",
                   [self](ShareRequest& r) { self->sendFinished(r); }));
  sendDidStart();
  return true;
}

void ShareReadItLater::sendFinished(ShareRequest& request) {
  if (request.success())
    sendDidFinish();
  else if (request.statusCode() == 401)
    shouldReloginWithPendingAction(SharePendingActionSend);
  else
    sendDidFailWithError(failure(request, errorText(request)).get());
}

}  // namespace tolva
