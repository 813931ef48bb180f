#include "share/core/ShareOfflineSharer.h"

#include "http/HttpErrorType.h"
#include "kit/net/BackgroundWork.h"
#include "kit/foundation/Clock.h"
#include "kit/foundation/FileManager.h"
#include "kit/net/URLError.h"
#include "share/core/Share.h"

namespace tolva {

// The sharer keeps its delegate (this reporter), and the reporter keeps the
// operation, so a report arriving after the time limit still reaches it.
class ShareOfflineSharer::Reporter : public ShareSharerDelegate {
 public:
  explicit Reporter(ShareOfflineSharer* op) : op_(op) {}
  void sharerStartedSending(ShareSharer*) override {}
  void sharerFinishedSending(ShareSharer*) override { end(true); }
  void sharer(ShareSharer*, const kit::Error* error, bool shouldRelogin) override {
    if (!shouldRelogin && isTooManyRequests(error)) Share::stopOfflineFlush();
    end(shouldRelogin || !isTemporaryFailure(error));
  }
  void sharerCancelledSending(ShareSharer*) override { end(true); }
  void sharerAuthDidFinish(ShareSharer*, bool) override {}
  void detach() { op_ = nullptr; }

 private:
  void end(bool dropEntry) {
    kit::Ref<ShareOfflineSharer> op = op_;
    if (op) op->ended(dropEntry);
  }
  kit::Ref<ShareOfflineSharer> op_;
};

ShareOfflineSharer::ShareOfflineSharer(kit::Ref<ShareItem> item, std::string sharerId, std::string uid)
    : item_(std::move(item)), sharerId_(std::move(sharerId)), uid_(std::move(uid)) {}

ShareOfflineSharer::~ShareOfflineSharer() = default;

bool ShareOfflineSharer::isTemporaryFailure(const kit::Error* error) {
  // A sharer's own error carries the connection's when the service gave no
  // answer, or the service's own "later". A URL that cannot be loaded at all
  // never gets better.
  for (; error; error = error->underlyingError()) {
    if (error->domain() == Share::kLaterDomain) return true;
    if (error->domain() == kit::URLError::kDomain)
      return error->code() != kit::URLError::kBadURL && error->code() != kit::URLError::kUnsupportedURL;
    if (error->domain() == kHttpRequestErrorDomain)
      return error->code() == kConnectionFailureErrorType || error->code() == kRequestTimedOutErrorType;
  }
  return false;
}

bool ShareOfflineSharer::isTooManyRequests(const kit::Error* error) {
  for (; error; error = error->underlyingError())
    if (error->domain() == Share::kLaterDomain) return error->code() == 429;
  return false;
}

bool ShareOfflineSharer::shouldRun() const { return !isCancelled() && !isFinished() && !readyToFinish_.load(); }

void ShareOfflineSharer::main() {
  if (!shouldRun()) return;
  kit::RunLoop& loop = kit::RunLoop::current();
  {
    std::lock_guard<std::mutex> g(loopMutex_);
    runLoopThread_ = loop.weak_from_this();
  }
  // The time limit counts from the start of the replay.
  const double deadline = kit::Clock::now() + kTimeLimit;
  kit::Ref<ShareOfflineSharer> self(this);
  if (!kit::RunLoop::performOnMainThread([self] { self->share(); }, true)) return;
  // The wake-up is a call posted to this loop: posted before the wait starts,
  // it still ends the wait.
  while (shouldRun() && kit::Clock::now() < deadline) loop.runMode(kit::RunLoop::kDefaultMode, deadline);
  // Past the time limit the entry stays, marked as replaying until the
  // sharer reports, so no later flush sends it a second time.
}

void ShareOfflineSharer::cancel() {
  kit::Operation::cancel();
  wake();
}

void ShareOfflineSharer::wake() {
  std::shared_ptr<kit::RunLoop> loop;
  {
    std::lock_guard<std::mutex> g(loopMutex_);
    loop = runLoopThread_.lock();
  }
  kit::Ref<ShareOfflineSharer> self(this);
  if (loop) loop->perform([self] { self->lastSpin(); });
}

void ShareOfflineSharer::share() {
  // A service asked this flush to slow down, or the program is ending: the
  // entry waits for the next flush.
  if (Share::offlineFlushStopped() || isCancelled() || kit::BackgroundWork::stopping()) {
    ended(false);
    return;
  }
  sharer_ = ShareSharer::sharerWithClassName(sharerId_);
  if (!sharer_) {
    ended(true);
    return;
  }
  reporter_ = kit::make<Reporter>(this);
  sharer_->setItem(item_.get());
  sharer_->setQuiet(true);
  sharer_->setShareDelegate(reporter_.get());
  if (!sharer_->isAuthorized()) {
    ended(true);
    return;
  }
  // The blob stays until the entry leaves the list, so a crash mid-send loses nothing.
  const std::string blob = Share::offlineQueuePath() + "/" + uid_;
  if (item_->shareType() == ShareShareTypeImage) {
    if (kit::Ref<kit::Data> bytes = kit::FileManager::readFile(blob)) item_->setImage(kit::Image::imageWithData(bytes));
  } else if (item_->shareType() == ShareShareTypeFile) {
    if (kit::Ref<kit::Data> bytes = kit::FileManager::readFile(blob)) item_->setData(bytes);
  }
  // Sending straight away rather than through tryToSend: offline again, the
  // sharer would queue the entry a second time.
  if (sharer_->shareRequiresInternetConnection() && !Share::connected()) {
    ended(false);
    return;
  }
  const bool started = sharer_->send();
  if (!started && !outcomeDelivered_) ended(true);
}

void ShareOfflineSharer::ended(bool dropEntry) {
  if (outcomeDelivered_) return;
  outcomeDelivered_ = true;
  kit::Ref<ShareOfflineSharer> keep(this);
  if (sharer_) sharer_->setShareDelegate(nullptr);
  if (reporter_) reporter_->detach();
  Share::offlineReplayEnded(uid_, dropEntry);
  finish();
}

void ShareOfflineSharer::finish() {
  readyToFinish_.store(true);
  sharer_ = nullptr;
  reporter_ = nullptr;
  wake();
}

}  // namespace tolva
