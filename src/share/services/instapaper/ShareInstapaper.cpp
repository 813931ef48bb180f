#include "share/services/instapaper/ShareInstapaper.h"

#include "kit/foundation/Format.h"
#include "share/core/Share.h"
#include "share/core/ShareFunctions.h"
#include "share/ui/ShareFormController.h"
#include "share/services/ShareWebSupport.h"

namespace tolva {

using namespace ShareWebSupport;

ShareInstapaper::Hosts& ShareInstapaper::hosts() {
  static Hosts h;
  return h;
}

std::string ShareInstapaper::authorizationFormCaption() const {
  return ShareLocalizedFormat("Create a free account at %@", {hosts().signUp});
}

void ShareInstapaper::authorizationFormValidate(ShareFormController* form) {
  postLogin(*this, form, "https://" + hosts().api + "/api/authenticate", "", {"username", "password"},
            loginAlert(ShareLocalizedFormat("Sorry, Instapaper did not accept your credentials. Please try again."),
                       ShareLocalizedFormat("Sorry, Instapaper encountered an error. Please try again.")));
}

bool ShareInstapaper::send() {
  if (!validateItem()) return false;
  std::string params = kit::format(
      "url=%@&title=%@&selection=%@&username=%@&password=%@", urlValue(item()->URL()), formValue(item()->title()),
      formValue(ShareStripHTML(item()->text(), true)), formValue(getAuthValueForKey("username").value_or("")),
      formValue(getAuthValueForKey("password").value_or("")));
  kit::Ref<ShareInstapaper> self(this);
  setRequest(start(this, "https://" + hosts().api + "/api/add", std::move(params), "POST",
                   [self](ShareRequest& r) { self->sendFinished(r); }));
  sendDidStart();
  return true;
}

void ShareInstapaper::sendFinished(ShareRequest& request) {
  if (request.success())
    sendDidFinish();
  else if (request.statusCode() == 403)
    shouldReloginWithPendingAction(SharePendingActionSend);
  else if (request.statusCode() == 500)
    sendDidFailWithError(failure(request, ShareLocalizedFormat("The service encountered an error. Please try again later.")).get());
  else
    sendDidFailWithError(failure(request, ShareLocalizedFormat("There was a problem saving to Instapaper.")).get());
}

}  // namespace tolva
