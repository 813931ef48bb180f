// Progress reports and bandwidth throttling in their smallest form (no reports are made and
// nothing is throttled), and the network activity indicator, which is real: attached streams
// are counted under the connection lock and the indicator changes on the main thread only.

#include "http/HttpRequest.h"
#include "http/HttpRequestShared.h"
#include "kit/foundation/RunLoop.h"

namespace tolva {

void HttpRequest::updateProgressIndicators() {}
void HttpRequest::updateDownloadProgress() {}
void HttpRequest::updateUploadProgress() {}
void HttpRequest::incrementDownloadSizeBy(int64_t) {}
void HttpRequest::incrementUploadSizeBy(int64_t) {}
void HttpRequest::removeUploadProgressSoFar() {}
void HttpRequest::performThrottling() {}

bool HttpRequest::isBandwidthThrottled() { return false; }
unsigned long HttpRequest::maxBandwidthPerSecond() { return 0; }
void HttpRequest::setMaxBandwidthPerSecond(unsigned long) {}
void HttpRequest::incrementBandwidthUsedInLastSecond(unsigned long) {}
void HttpRequest::recordBandwidthUsage() {}
unsigned long HttpRequest::averageBandwidthUsedPerSecond() { return 0; }
void HttpRequest::measureBandwidthUsage() {}
unsigned long HttpRequest::maxUploadReadLength() { return 0; }
void HttpRequest::setShouldThrottleBandwidthForWWAN(bool) {}
void HttpRequest::throttleBandwidthForWWANUsingLimit(unsigned long) {}
void HttpRequest::registerForNetworkReachabilityNotifications() {}
void HttpRequest::unsubscribeFromNetworkReachabilityNotifications() {}
bool HttpRequest::isNetworkReachableViaWWAN() { return false; }
void HttpRequest::reachabilityChanged() {}

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
