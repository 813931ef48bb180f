// Progress reports, bandwidth throttling and the network activity indicator.
//
// Reports are worked out on the request's thread and delivered on the main thread. A busy
// download would otherwise queue one main-thread call per buffer, so each request keeps at most
// one delivery pending: amounts that arrive while it waits are added to it (exactly; nothing is
// dropped) and the fraction is the latest one. Receivers are read when the delivery runs, so a
// cleared delegate hears nothing more.
//
// Bandwidth is measured in one-second periods on kit's clock (virtual in tests). The activity
// indicator counts attached streams under the connection lock and changes on the main thread only.

#include <algorithm>
#include <deque>
#include <map>
#include <optional>
#include <utility>

#include "http/HttpRequest.h"
#include "http/HttpRequestShared.h"
#include "http/Reachability.h"
#include "kit/foundation/Clock.h"
#include "kit/foundation/NotificationCenter.h"
#include "kit/foundation/RunLoop.h"
#include "kit/ui/Application.h"

namespace tolva {

namespace {

// What one request has waiting for the main thread.
struct PendingProgress {
  kit::Ref<HttpRequest> request;  // kept alive until the delivery ran
  int64_t downloadSizeIncrement = 0;
  int64_t uploadSizeIncrement = 0;
  int64_t bytesReceived = 0;
  int64_t bytesSent = 0;
  bool hasDownloadSizeIncrement = false;
  bool hasUploadSizeIncrement = false;
  bool hasBytesReceived = false;
  bool hasBytesSent = false;
  // A new attempt starts the progress bars at 0 of 1.
  bool resetUploadFraction = false;
  bool resetDownloadFraction = false;
  // The latest position for a progress bar, and the totals the blocks are told.
  uint64_t downloadProgress = 0;
  uint64_t downloadFractionTotal = 0;
  uint64_t uploadProgress = 0;
  uint64_t uploadFractionTotal = 0;
  uint64_t downloadTotal = 0;
  uint64_t uploadTotal = 0;
};

// Guarded by the progress lock.
std::map<const HttpRequest*, PendingProgress>& pendingProgress() {
  static auto* pending = new std::map<const HttpRequest*, PendingProgress>();
  return *pending;
}

// Class-wide bandwidth state, guarded by the bandwidth lock.
struct BandwidthState {
  unsigned long limit = 0;
  unsigned long used = 0;
  std::optional<double> periodEnd;
  std::optional<double> wakeUp;
  std::deque<unsigned long> history;
  unsigned long average = 0;
  bool wwanOnly = false;
  bool onWWAN = false;
  // Kept while the class observes its notifications.
  kit::Ref<Reachability> monitor;
  kit::NotificationCenter::Token observer;
};

BandwidthState& bandwidth() {
  static auto* state = new BandwidthState();
  return *state;
}

bool throttlingApplies(const BandwidthState& b) { return b.onWWAN || (!b.wwanOnly && b.limit > 0); }

void recordLocked(BandwidthState& b, double now) {
  if (b.used == 0) {
    b.history.clear();
  } else {
    double interval = b.periodEnd ? *b.periodEnd - now : -1.0;
    while ((interval < 0 || b.history.size() > 5) && !b.history.empty()) {
      b.history.pop_front();
      interval += 1.0;
    }
  }
  b.history.push_back(b.used);
  b.periodEnd = now + 1.0;
  b.used = 0;
  unsigned long sum = 0;
  for (unsigned long v : b.history) sum += v;
  b.average = sum / b.history.size();
}

}  // namespace

// ---- Reports

// Adds to this request's pending delivery and posts one when none is waiting. Runs at once on the
// main thread (a synchronous request started there).
#define TOLVA_WITH_PENDING(body)                                                        \
  do {                                                                                  \
    if (!hasProgressListener()) break;                                                  \
    bool post = false;                                                                  \
    {                                                                                   \
      std::lock_guard<std::recursive_mutex> g(HttpRequestShared::get().progressLock);   \
      auto [it, fresh] = pendingProgress().try_emplace(this);                           \
      PendingProgress& p = it->second;                                                  \
      if (fresh) p.request = kit::Ref<HttpRequest>(this);                               \
      post = fresh;                                                                     \
      body;                                                                             \
    }                                                                                   \
    if (post) deliverPendingProgress();                                                 \
  } while (0)

// Nobody to tell: nothing goes to the main thread (a listener set later hears from then on).
bool HttpRequest::hasProgressListener() const {
  {
    std::lock_guard<std::recursive_mutex> g(cancelledLock_);
    if (uploadProgressDelegate_ || downloadProgressDelegate_ || dynamic_cast<HttpProgressDelegate*>(queue_.get())) {
      return true;
    }
  }
  std::lock_guard<std::mutex> p(propertyMutex_);
  return blocks_.bytesReceived || blocks_.bytesSent || blocks_.downloadSizeIncremented || blocks_.uploadSizeIncremented;
}

void HttpRequest::updateProgressIndicators() {
  if (mainRequest_) return;
  if (showAccurateProgress() || (complete() && !updatedProgress())) {
    updateUploadProgress();
    updateDownloadProgress();
  }
}

void HttpRequest::updateDownloadProgress() {
  if (!responseHeaders() || needsRedirect() || (contentLength() == 0 && !complete())) return;
  const uint64_t soFar = totalBytesRead() + partialDownloadSize();
  int64_t amount = 1;
  if (showAccurateProgress() && contentLength() > 0) {
    amount = static_cast<int64_t>(soFar) - static_cast<int64_t>(lastBytesRead());
  } else {
    setUpdatedProgress(true);
  }
  if (amount == 0) return;
  const uint64_t total = contentLength() + partialDownloadSize();
  TOLVA_WITH_PENDING({
    p.bytesReceived += amount;
    p.hasBytesReceived = true;
    p.downloadProgress = soFar;
    p.downloadFractionTotal = total;
    p.downloadTotal = total;
  });
  setLastBytesRead(soFar);
}

void HttpRequest::updateUploadProgress() {
  if (isCancelled() || totalBytesSent() == 0) return;
  if (uploadBufferSize() == 0 && totalBytesSent() != postLength()) {
    setUploadBufferSize(totalBytesSent());
    incrementUploadSizeBy(-static_cast<int64_t>(uploadBufferSize()));
  }
  int64_t amount = 1;
  if (showAccurateProgress()) {
    if (totalBytesSent() != postLength() && lastBytesSent() == 0) return;
    amount = static_cast<int64_t>(totalBytesSent()) - static_cast<int64_t>(lastBytesSent());
  } else {
    setUpdatedProgress(true);
  }
  if (amount == 0) return;
  const int64_t sent = static_cast<int64_t>(totalBytesSent()) - static_cast<int64_t>(uploadBufferSize());
  const int64_t toSend = static_cast<int64_t>(postLength()) - static_cast<int64_t>(uploadBufferSize());
  const uint64_t total = postLength();
  TOLVA_WITH_PENDING({
    p.bytesSent += amount;
    p.hasBytesSent = true;
    p.uploadProgress = sent > 0 ? static_cast<uint64_t>(sent) : 0;
    p.uploadFractionTotal = toSend > 0 ? static_cast<uint64_t>(toSend) : 0;
    p.uploadTotal = total;
  });
}

void HttpRequest::removeUploadProgressSoFar() {
  const int64_t amount = -static_cast<int64_t>(totalBytesSent());
  const uint64_t total = postLength();
  TOLVA_WITH_PENDING({
    p.bytesSent += amount;
    p.hasBytesSent = true;
    p.uploadProgress = 0;
    p.uploadFractionTotal = total;
    p.uploadTotal = total;
  });
}

void HttpRequest::resetProgressFractions(bool upload, bool download) {
  if (!upload && !download) return;
  TOLVA_WITH_PENDING({
    p.resetUploadFraction = p.resetUploadFraction || upload;
    p.resetDownloadFraction = p.resetDownloadFraction || download;
  });
}

void HttpRequest::incrementDownloadSizeBy(int64_t length) {
  TOLVA_WITH_PENDING({
    p.downloadSizeIncrement += length;
    p.hasDownloadSizeIncrement = true;
  });
}

void HttpRequest::incrementUploadSizeBy(int64_t length) {
  TOLVA_WITH_PENDING({
    p.uploadSizeIncrement += length;
    p.hasUploadSizeIncrement = true;
  });
}

#undef TOLVA_WITH_PENDING

void HttpRequest::deliverPendingProgress() {
  const HttpRequest* key = this;
  performOnMainThread([key] {
    PendingProgress p;
    {
      std::lock_guard<std::recursive_mutex> g(HttpRequestShared::get().progressLock);
      auto it = pendingProgress().find(key);
      if (it == pendingProgress().end()) return;
      p = std::move(it->second);
      pendingProgress().erase(it);
    }
    HttpRequest* r = p.request.get();
    kit::Ref<kit::Object> keep;
    {
      std::lock_guard<std::recursive_mutex> g(r->cancelledLock_);
      keep = r->queue_;
    }
    auto* queue = dynamic_cast<HttpProgressDelegate*>(keep.get());
    // Each receiver is asked again for every call: one may clear the delegates of another.
    auto tell = [&](HttpProgressDelegate* (HttpRequest::*which)() const, const char* selector, auto call) {
      if (queue && queue->respondsToSelector(selector)) call(*queue);
      HttpProgressDelegate* d = (r->*which)();
      if (d && d != queue && d->respondsToSelector(selector)) call(*d);
    };
    const Blocks blocks = r->blocks();
    if (p.resetUploadFraction) updateProgressIndicator(r->uploadProgressDelegate(), 0, 1);
    if (p.resetDownloadFraction) updateProgressIndicator(r->downloadProgressDelegate(), 0, 1);
    if (p.hasDownloadSizeIncrement) {
      tell(&HttpRequest::downloadProgressDelegate, HttpProgressDelegate::kRequestIncrementDownloadSizeBy,
           [&](HttpProgressDelegate& d) { d.requestIncrementDownloadSizeBy(r, p.downloadSizeIncrement); });
      if (blocks.downloadSizeIncremented) blocks.downloadSizeIncremented(p.downloadSizeIncrement);
    }
    if (p.hasUploadSizeIncrement) {
      tell(&HttpRequest::uploadProgressDelegate, HttpProgressDelegate::kRequestIncrementUploadSizeBy,
           [&](HttpProgressDelegate& d) { d.requestIncrementUploadSizeBy(r, p.uploadSizeIncrement); });
      if (blocks.uploadSizeIncremented) blocks.uploadSizeIncremented(p.uploadSizeIncrement);
    }
    if (p.hasBytesSent) {
      tell(&HttpRequest::uploadProgressDelegate, HttpProgressDelegate::kRequestDidSendBytes,
           [&](HttpProgressDelegate& d) { d.requestDidSendBytes(r, p.bytesSent); });
      updateProgressIndicator(r->uploadProgressDelegate(), p.uploadProgress, p.uploadFractionTotal);
      if (blocks.bytesSent) blocks.bytesSent(static_cast<uint64_t>(p.bytesSent), p.uploadTotal);
    }
    if (p.hasBytesReceived) {
      tell(&HttpRequest::downloadProgressDelegate, HttpProgressDelegate::kRequestDidReceiveBytes,
           [&](HttpProgressDelegate& d) { d.requestDidReceiveBytes(r, p.bytesReceived); });
      updateProgressIndicator(r->downloadProgressDelegate(), p.downloadProgress, p.downloadFractionTotal);
      if (blocks.bytesReceived) blocks.bytesReceived(static_cast<uint64_t>(p.bytesReceived), p.downloadTotal);
    }
  });
}

void HttpRequest::updateProgressIndicator(HttpProgressDelegate* delegate, uint64_t progress, uint64_t total) {
  if (delegate && delegate->respondsToSelector(HttpProgressDelegate::kSetProgress)) {
    delegate->setProgress(progressFraction(static_cast<int64_t>(progress), static_cast<int64_t>(total)));
  }
}

float HttpRequest::progressFraction(int64_t progress, int64_t total) {
  if (total <= 0 || progress <= 0) return 0.0f;
  const double f = static_cast<double>(progress) / static_cast<double>(total);
  return static_cast<float>(std::min(f, 1.0));
}

// ---- Bandwidth

bool HttpRequest::isBandwidthThrottled() {
  std::lock_guard<std::mutex> g(HttpRequestShared::get().bandwidthLock);
  return throttlingApplies(bandwidth());
}

unsigned long HttpRequest::maxBandwidthPerSecond() {
  std::lock_guard<std::mutex> g(HttpRequestShared::get().bandwidthLock);
  return bandwidth().limit;
}

void HttpRequest::setMaxBandwidthPerSecond(unsigned long bytes) {
  std::lock_guard<std::mutex> g(HttpRequestShared::get().bandwidthLock);
  bandwidth().limit = bytes;
}

void HttpRequest::incrementBandwidthUsedInLastSecond(unsigned long bytes) {
  std::lock_guard<std::mutex> g(HttpRequestShared::get().bandwidthLock);
  bandwidth().used += bytes;
}

void HttpRequest::recordBandwidthUsage() {
  std::lock_guard<std::mutex> g(HttpRequestShared::get().bandwidthLock);
  recordLocked(bandwidth(), kit::Clock::now());
}

unsigned long HttpRequest::averageBandwidthUsedPerSecond() {
  std::lock_guard<std::mutex> g(HttpRequestShared::get().bandwidthLock);
  return bandwidth().average;
}

void HttpRequest::measureBandwidthUsage() {
  std::lock_guard<std::mutex> g(HttpRequestShared::get().bandwidthLock);
  BandwidthState& b = bandwidth();
  const double now = kit::Clock::now();
  if (!b.periodEnd || *b.periodEnd <= now) recordLocked(b, now);
  // Going over the allowance costs extra sleep in proportion.
  if (throttlingApplies(b) && b.limit > 0 && b.used > b.limit) {
    b.wakeUp = *b.periodEnd + static_cast<double>(b.used - b.limit) / static_cast<double>(b.limit);
  }
}

unsigned long HttpRequest::maxUploadReadLength() {
  std::lock_guard<std::mutex> g(HttpRequestShared::get().bandwidthLock);
  BandwidthState& b = bandwidth();
  unsigned long toRead = b.limit / 4;
  if (b.limit > 0 && b.used + toRead > b.limit) toRead = b.used < b.limit ? b.limit - b.used : 0;
  if (toRead == 0 || !b.periodEnd || *b.periodEnd <= kit::Clock::now()) b.wakeUp = b.periodEnd;
  return toRead;
}

size_t HttpRequest::throttledReadBufferSize(size_t bufferSize) {
  if (!isBandwidthThrottled()) return bufferSize;
  std::lock_guard<std::mutex> g(HttpRequestShared::get().bandwidthLock);
  const BandwidthState& b = bandwidth();
  if (b.limit > 0) {
    if (b.used >= b.limit) return 1;
    bufferSize = std::min<size_t>(bufferSize, (b.limit - b.used) / 4);
  }
  return std::max<size_t>(bufferSize, 1);
}

bool HttpRequest::isThrottleWakeUpPending() {
  std::lock_guard<std::mutex> g(HttpRequestShared::get().bandwidthLock);
  const BandwidthState& b = bandwidth();
  return b.wakeUp && *b.wakeUp > kit::Clock::now();
}

void HttpRequest::performThrottling() {
  if (!readStream() || complete() || isCancelled()) return;
  measureBandwidthUsage();
  // Decided under the bandwidth lock, done outside it: attaching takes the connection lock.
  enum class Step { None, Attach, Detach } step = Step::None;
  {
    std::lock_guard<std::mutex> g(HttpRequestShared::get().bandwidthLock);
    const BandwidthState& b = bandwidth();
    if (throttlingApplies(b)) {
      if (b.wakeUp) {
        if (*b.wakeUp > kit::Clock::now()) {
          if (readStreamIsScheduled()) step = Step::Detach;
        } else if (!readStreamIsScheduled()) {
          step = Step::Attach;
        }
      }
    } else if (!readStreamIsScheduled()) {
      step = Step::Attach;
    }
  }
  if (step == Step::Detach) unscheduleReadStream();
  else if (step == Step::Attach) scheduleReadStream();
}

// ---- Mobile data

void HttpRequest::setShouldThrottleBandwidthForWWAN(bool throttle) {
  if (throttle) {
    throttleBandwidthForWWANUsingLimit(14800);
    return;
  }
  unsubscribeFromNetworkReachabilityNotifications();
  std::lock_guard<std::mutex> g(HttpRequestShared::get().bandwidthLock);
  BandwidthState& b = bandwidth();
  b.limit = 0;
  b.wwanOnly = false;
  b.onWWAN = false;
}

void HttpRequest::throttleBandwidthForWWANUsingLimit(unsigned long limit) {
  {
    std::lock_guard<std::mutex> g(HttpRequestShared::get().bandwidthLock);
    bandwidth().wwanOnly = true;
    bandwidth().limit = limit;
  }
  registerForNetworkReachabilityNotifications();
  reachabilityChanged();
}

void HttpRequest::registerForNetworkReachabilityNotifications() {
  kit::Ref<Reachability> monitor = Reachability::reachabilityForInternetConnection();
  if (monitor) monitor->startNotifier();
  kit::NotificationCenter::Token token = kit::NotificationCenter::defaultCenter().addObserver(
      kReachabilityChangedNotification, nullptr, [](const kit::Notification&) { reachabilityChanged(); });
  kit::Ref<Reachability> oldMonitor;
  kit::NotificationCenter::Token oldToken;
  {
    std::lock_guard<std::mutex> g(HttpRequestShared::get().bandwidthLock);
    BandwidthState& b = bandwidth();
    oldMonitor = std::move(b.monitor);
    oldToken = std::move(b.observer);
    b.monitor = monitor;
    b.observer = std::move(token);
  }
  if (oldMonitor && oldMonitor != monitor) oldMonitor->stopNotifier();
}

void HttpRequest::unsubscribeFromNetworkReachabilityNotifications() {
  kit::Ref<Reachability> monitor;
  kit::NotificationCenter::Token token;
  {
    std::lock_guard<std::mutex> g(HttpRequestShared::get().bandwidthLock);
    BandwidthState& b = bandwidth();
    monitor = std::move(b.monitor);
    token = std::move(b.observer);
  }
  if (monitor) monitor->stopNotifier();
}

bool HttpRequest::isNetworkReachableViaWWAN() {
  kit::Ref<Reachability> monitor;
  {
    std::lock_guard<std::mutex> g(HttpRequestShared::get().bandwidthLock);
    monitor = bandwidth().monitor;
  }
  if (!monitor) monitor = Reachability::reachabilityForInternetConnection();
  return monitor && monitor->currentReachabilityStatus() == NetworkStatusViaWWAN;
}

void HttpRequest::reachabilityChanged() {
  const bool wwan = isNetworkReachableViaWWAN();
  std::lock_guard<std::mutex> g(HttpRequestShared::get().bandwidthLock);
  bandwidth().onWWAN = wwan;
}

void HttpRequest::resetBandwidthForTesting() {
  unsubscribeFromNetworkReachabilityNotifications();
  std::lock_guard<std::mutex> g(HttpRequestShared::get().bandwidthLock);
  BandwidthState& b = bandwidth();
  b.limit = 0;
  b.used = 0;
  b.periodEnd.reset();
  b.wakeUp.reset();
  b.history.clear();
  b.average = 0;
  b.wwanOnly = false;
  b.onWWAN = false;
}

// ---- Activity indicator

bool HttpRequest::isNetworkInUse() {
  HttpRequestShared& s = HttpRequestShared::get();
  std::lock_guard<std::recursive_mutex> g(s.connectionLock);
  return s.runningRequestCount > 0;
}

void HttpRequest::setShouldUpdateNetworkActivityIndicator(bool update) {
  HttpRequestShared& s = HttpRequestShared::get();
  std::lock_guard<std::recursive_mutex> g(s.connectionLock);
  s.shouldUpdateNetworkActivityIndicator = update;
}

namespace {

void setIndicatorVisible(bool visible) {
  HttpRequestShared& s = HttpRequestShared::get();
  if (s.networkActivityIndicatorVisible == visible) return;
  s.networkActivityIndicatorVisible = visible;
  kit::Application::sharedApplication()->setNetworkActivityIndicatorVisible(visible);
  if (s.networkActivityIndicatorHandler) s.networkActivityIndicatorHandler(visible);
}

}  // namespace

void HttpRequest::showNetworkActivityIndicator() {
  performOnMainThread([] { setIndicatorVisible(true); });
}

void HttpRequest::hideNetworkActivityIndicator() {
  performOnMainThread([] { setIndicatorVisible(false); });
}

void HttpRequest::hideNetworkActivityIndicatorAfterDelay() {
  static const int target = 0;
  // One pending check is enough.
  kit::RunLoop::main().cancelPreviousPerformRequests(&target);
  kit::RunLoop::main().performAfterDelay(&target, "hideNetworkActivityIndicatorIfNeeeded", nullptr, 0.5,
                                         [] { hideNetworkActivityIndicatorIfNeeeded(); });
}

void HttpRequest::hideNetworkActivityIndicatorIfNeeeded() {
  HttpRequestShared& s = HttpRequestShared::get();
  std::lock_guard<std::recursive_mutex> g(s.connectionLock);
  s.networkActivityIndicatorHidePending = false;
  if (s.runningRequestCount == 0) {
    s.networkActivityIndicatorShown = false;
    hideNetworkActivityIndicator();
  }
}

bool HttpRequest::isNetworkActivityIndicatorVisible() {
  return HttpRequestShared::get().networkActivityIndicatorVisible;
}

void HttpRequest::setNetworkActivityIndicatorHandler(std::function<void(bool)> handler) {
  performOnMainThread([h = std::move(handler)]() mutable {
    HttpRequestShared::get().networkActivityIndicatorHandler = std::move(h);
  });
}

}  // namespace tolva
