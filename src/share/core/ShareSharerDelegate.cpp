#include "share/core/ShareSharerDelegate.h"

#include "kit/ui/AlertView.h"
#include "share/core/ShareFunctions.h"
#include "share/core/ShareSharer.h"
#include "share/ui/ShareActivityIndicator.h"

namespace tolva {

void ShareSharerDelegate::sharerStartedSending(ShareSharer* sharer) {
  if (!sharer->quiet())
    ShareActivityIndicator::currentIndicator()->displayActivity(
        ShareLocalizedFormat("Saving to %@", {sharer->sharerTitle()}));
}

void ShareSharerDelegate::sharerFinishedSending(ShareSharer* sharer) {
  if (!sharer->quiet()) ShareActivityIndicator::currentIndicator()->displayCompleted(ShareLocalizedFormat("Saved!"));
}

void ShareSharerDelegate::sharer(ShareSharer* sharer, const kit::Error*, bool shouldRelogin) {
  ShareActivityIndicator::currentIndicator()->hide();
  const ShareSharerPendingAction pending = sharer->pendingAction();
  if (!sharer->quiet() && pending != SharePendingActionShare && pending != SharePendingActionSend) {
    auto alert = kit::make<kit::AlertView>();
    alert->setTitle(ShareLocalizedFormat("Error"));
    // The service's own text is shown as it stands, never used as a format.
    alert->setMessage(sharer->lastError() ? sharer->lastError()->localizedDescription()
                                          : ShareLocalizedFormat("There was an error while sharing"));
    alert->setCancelButtonIndex(alert->addButtonWithTitle(ShareLocalizedFormat("Close")));
    alert->show();
  }
  if (shouldRelogin) sharer->promptAuthorization();
}

void ShareSharerDelegate::sharerCancelledSending(ShareSharer*) {}

void ShareSharerDelegate::sharerAuthDidFinish(ShareSharer*, bool) {}

}  // namespace tolva
