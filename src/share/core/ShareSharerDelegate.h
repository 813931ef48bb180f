#pragma once
// What a sharer reports to. This class is also the default delegate: it
// shows the work on the activity indicator and a failure in an alert (both
// skipped for a quiet sharer) and asks for the login again when the service
// refused it. Others (the offline replay) override the reports.

#include "kit/foundation/Error.h"
#include "kit/foundation/Object.h"

namespace tolva {

class ShareSharer;

class ShareSharerDelegate : public kit::Object {
 public:
  virtual void sharerStartedSending(ShareSharer* sharer);
  virtual void sharerFinishedSending(ShareSharer* sharer);
  virtual void sharer(ShareSharer* sharer, const kit::Error* failedWithError, bool shouldRelogin);
  virtual void sharerCancelledSending(ShareSharer* sharer);
  virtual void sharerAuthDidFinish(ShareSharer* sharer, bool success);

  std::string className() const override { return "ShareSharerDelegate"; }
};

}  // namespace tolva
