#pragma once
// An operation queue for requests: one delegate with its own callbacks for the events of every
// request, a count of the requests still to end with a call when the whole queue is done,
// optional cancelling of the rest when one fails, and upload and download progress over all of
// them. Each request added names the queue as its `queue`, so the engine reports to it as well.
// Created suspended (nothing runs until go()), at most 4 requests at once. Callbacks, counts and
// progress are used on the main thread, where the engine reports.

#include <atomic>
#include <functional>
#include <mutex>
#include <map>

#include "http/HttpProgressDelegate.h"
#include "http/HttpRequest.h"
#include "http/HttpRequestDelegate.h"
#include "kit/foundation/OperationQueue.h"

namespace tolva {

class HttpNetworkQueue : public kit::OperationQueue, public HttpRequestDelegate, public HttpProgressDelegate {
 public:
  using RequestSelector = std::function<void(HttpRequest* request)>;
  using HeadersSelector = std::function<void(HttpRequest* request, kit::Dictionary* headers)>;
  using RedirectSelector = std::function<void(HttpRequest* request, kit::URL* url)>;
  using QueueSelector = std::function<void(HttpNetworkQueue* queue)>;

  HttpNetworkQueue();
  ~HttpNetworkQueue() override;
  static kit::Ref<HttpNetworkQueue> queue();

  void reset();
  void go();
  void cancelAllOperations() override;
  // Anything but a request raises "AttemptToAddInvalidRequest".
  void addOperation(kit::Operation* operation) override;
  void addHEADOperation(kit::Operation* operation);

  // ---- What requests report
  bool respondsToSelector(std::string_view selector) const override;
  void requestStarted(HttpRequest* request) override;
  void requestDidReceiveResponseHeaders(HttpRequest* request, kit::Dictionary* headers) override;
  void requestWillRedirectToURL(HttpRequest* request, kit::URL* url) override;
  void requestFinished(HttpRequest* request) override;
  void requestFailed(HttpRequest* request) override;
  void authenticationNeededForRequest(HttpRequest* request) override;
  void proxyAuthenticationNeededForRequest(HttpRequest* request) override;
  void requestDidReceiveBytes(HttpRequest* request, int64_t bytes) override;
  void requestDidSendBytes(HttpRequest* request, int64_t bytes) override;
  void requestIncrementDownloadSizeBy(HttpRequest* request, int64_t newLength) override;
  void requestIncrementUploadSizeBy(HttpRequest* request, int64_t newLength) override;

  // A new queue with the same delegate, callbacks, progress delegates and options (no requests).
  kit::Ref<kit::Object> copy() const override;

  HttpRequestDelegate* delegate() const noexcept { return delegate_; }
  void setDelegate(HttpRequestDelegate* delegate) noexcept { delegate_ = delegate; }
  void setRequestDidStartSelector(RequestSelector s) { requestDidStartSelector_ = std::move(s); }
  void setRequestDidReceiveResponseHeadersSelector(HeadersSelector s) { requestDidReceiveResponseHeadersSelector_ = std::move(s); }
  void setRequestWillRedirectSelector(RedirectSelector s) { requestWillRedirectSelector_ = std::move(s); }
  void setRequestDidFinishSelector(RequestSelector s) { requestDidFinishSelector_ = std::move(s); }
  void setRequestDidFailSelector(RequestSelector s) { requestDidFailSelector_ = std::move(s); }
  void setQueueDidFinishSelector(QueueSelector s) { queueDidFinishSelector_ = std::move(s); }
  HttpProgressDelegate* uploadProgressDelegate() const noexcept { return uploadProgressDelegate_; }
  void setUploadProgressDelegate(HttpProgressDelegate* delegate);
  HttpProgressDelegate* downloadProgressDelegate() const noexcept { return downloadProgressDelegate_; }
  void setDownloadProgressDelegate(HttpProgressDelegate* delegate);
  void resetProgressDelegate(HttpProgressDelegate* delegate);
  uint64_t bytesUploadedSoFar() const noexcept { return bytesUploadedSoFar_.load(); }
  uint64_t totalBytesToUpload() const noexcept { return totalBytesToUpload_.load(); }
  uint64_t bytesDownloadedSoFar() const noexcept { return bytesDownloadedSoFar_.load(); }
  uint64_t totalBytesToDownload() const noexcept { return totalBytesToDownload_.load(); }
  bool shouldCancelAllRequestsOnFailure() const noexcept { return shouldCancelAllRequestsOnFailure_; }
  void setShouldCancelAllRequestsOnFailure(bool cancel) noexcept { shouldCancelAllRequestsOnFailure_ = cancel; }
  int requestsCount() const noexcept { return requestsCount_.load(); }
  bool showAccurateProgress() const noexcept { return showAccurateProgress_; }
  void setShowAccurateProgress(bool accurate) noexcept { showAccurateProgress_ = accurate; }
  kit::Dictionary* userInfo() const noexcept { return userInfo_.get(); }
  void setUserInfo(kit::Ref<kit::Dictionary> info) { userInfo_ = std::move(info); }

  std::string className() const override { return "HttpNetworkQueue"; }

 private:
  // The HEAD requests added to measure sizes: their reports are not the queue's requests'.
  bool isHelper(const HttpRequest* request) const;
  // Whether this is a helper's last report; the helper is let go.
  bool helperEnded(const HttpRequest* request);

  HttpRequestDelegate* delegate_ = nullptr;
  RequestSelector requestDidStartSelector_;
  HeadersSelector requestDidReceiveResponseHeadersSelector_;
  RedirectSelector requestWillRedirectSelector_;
  RequestSelector requestDidFinishSelector_;
  RequestSelector requestDidFailSelector_;
  QueueSelector queueDidFinishSelector_;
  HttpProgressDelegate* uploadProgressDelegate_ = nullptr;
  std::atomic<uint64_t> bytesUploadedSoFar_{0};
  std::atomic<uint64_t> totalBytesToUpload_{0};
  HttpProgressDelegate* downloadProgressDelegate_ = nullptr;
  std::atomic<uint64_t> bytesDownloadedSoFar_{0};
  std::atomic<uint64_t> totalBytesToDownload_{0};
  bool shouldCancelAllRequestsOnFailure_ = true;
  std::atomic<int> requestsCount_{0};
  bool showAccurateProgress_ = false;
  kit::Ref<kit::Dictionary> userInfo_;
  mutable std::mutex helpersMutex_;
  // Held until their last report, so no other request can take a helper's address meanwhile.
  std::map<const HttpRequest*, kit::Ref<HttpRequest>> helpers_;
};

}  // namespace tolva
