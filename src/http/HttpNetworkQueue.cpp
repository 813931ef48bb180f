#include "http/HttpNetworkQueue.h"

#include "kit/foundation/Exception.h"

namespace tolva {

using kit::Ref;

HttpNetworkQueue::HttpNetworkQueue() {
  setMaxConcurrentOperationCount(4);
  setSuspended(true);
}

HttpNetworkQueue::~HttpNetworkQueue() {
  for (const Ref<kit::Operation>& op : operations()) {
    if (auto* r = dynamic_cast<HttpRequest*>(op.get())) r->setQueue(nullptr);
  }
}

Ref<HttpNetworkQueue> HttpNetworkQueue::queue() { return kit::make<HttpNetworkQueue>(); }

void HttpNetworkQueue::reset() {
  cancelAllOperations();
  delegate_ = nullptr;
  uploadProgressDelegate_ = nullptr;
  downloadProgressDelegate_ = nullptr;
  requestDidStartSelector_ = nullptr;
  requestDidReceiveResponseHeadersSelector_ = nullptr;
  requestDidFailSelector_ = nullptr;
  requestDidFinishSelector_ = nullptr;
  queueDidFinishSelector_ = nullptr;
  setSuspended(true);
}

void HttpNetworkQueue::go() { setSuspended(false); }

void HttpNetworkQueue::cancelAllOperations() {
  bytesUploadedSoFar_ = 0;
  totalBytesToUpload_ = 0;
  bytesDownloadedSoFar_ = 0;
  totalBytesToDownload_ = 0;
  kit::OperationQueue::cancelAllOperations();
}

void HttpNetworkQueue::setUploadProgressDelegate(HttpProgressDelegate* delegate) {
  uploadProgressDelegate_ = delegate;
  resetProgressDelegate(delegate);
}

void HttpNetworkQueue::setDownloadProgressDelegate(HttpProgressDelegate* delegate) {
  downloadProgressDelegate_ = delegate;
  resetProgressDelegate(delegate);
}

void HttpNetworkQueue::resetProgressDelegate(HttpProgressDelegate* delegate) {
  if (!delegate || !delegate->respondsToSelector(HttpProgressDelegate::kSetProgress)) return;
  HttpRequest::performOnMainThread([delegate] { delegate->setProgress(0.0f); });
}

void HttpNetworkQueue::addHEADOperation(kit::Operation* operation) {
  auto* request = dynamic_cast<HttpRequest*>(operation);
  if (!request) return;
  request->setRequestMethod("HEAD");
  request->setQueuePriority(10);
  request->setShowAccurateProgress(true);
  request->setQueue(Ref<kit::Object>(this));
  {
    std::lock_guard<std::mutex> g(helpersMutex_);
    helpers_[request] = Ref<HttpRequest>(request);
  }
  kit::OperationQueue::addOperation(request);
}

void HttpNetworkQueue::addOperation(kit::Operation* operation) {
  auto* request = dynamic_cast<HttpRequest*>(operation);
  if (!request) {
    throw kit::Exception("AttemptToAddInvalidRequest",
                         "Attempted to add an object that was not an HttpRequest to an HttpNetworkQueue");
  }
  ++requestsCount_;
  if (showAccurateProgress_) {
    request->buildPostBody();
    if (request->requestMethod() == "GET" && isSuspended()) {
      Ref<HttpRequest> head = request->HEADRequest();
      addHEADOperation(head);
      request->addDependency(head);
      if (request->shouldResetDownloadProgress()) {
        resetProgressDelegate(downloadProgressDelegate_);
        request->setShouldResetDownloadProgress(false);
      }
    }
    totalBytesToUpload_ += request->postLength();
  } else {
    totalBytesToDownload_ += 1;
    totalBytesToUpload_ += 1;
  }
  if (request->shouldResetUploadProgress()) {
    resetProgressDelegate(uploadProgressDelegate_);
    request->setShouldResetUploadProgress(false);
  }
  request->setShowAccurateProgress(showAccurateProgress_);
  request->setQueue(Ref<kit::Object>(this));
  kit::OperationQueue::addOperation(request);
}

bool HttpNetworkQueue::isHelper(const HttpRequest* request) const {
  std::lock_guard<std::mutex> g(helpersMutex_);
  return helpers_.count(request) != 0;
}

bool HttpNetworkQueue::helperEnded(const HttpRequest* request) {
  Ref<HttpRequest> ended;  // released after the lock
  std::lock_guard<std::mutex> g(helpersMutex_);
  auto it = helpers_.find(request);
  if (it == helpers_.end()) return false;
  ended = std::move(it->second);
  helpers_.erase(it);
  return true;
}

bool HttpNetworkQueue::respondsToSelector(std::string_view selector) const {
  if (selector == kAuthenticationNeededForRequest || selector == kProxyAuthenticationNeededForRequest) {
    return delegate_ && delegate_->respondsToSelector(selector);
  }
  if (selector == kRequestWillRedirectToURL) {
    return requestWillRedirectSelector_ && delegate_ && delegate_->respondsToSelector(selector);
  }
  if (selector == kSetProgress) return false;
  return selector == kRequestStarted || selector == kRequestDidReceiveResponseHeaders || selector == kRequestFinished ||
         selector == kRequestFailed || selector == kRequestDidReceiveBytes || selector == kRequestDidSendBytes ||
         selector == kRequestIncrementDownloadSizeBy || selector == kRequestIncrementUploadSizeBy;
}

void HttpNetworkQueue::requestStarted(HttpRequest* request) {
  if (isHelper(request)) return;
  if (delegate_ && requestDidStartSelector_) requestDidStartSelector_(request);
}

void HttpNetworkQueue::requestDidReceiveResponseHeaders(HttpRequest* request, kit::Dictionary* headers) {
  if (isHelper(request)) return;
  if (delegate_ && requestDidReceiveResponseHeadersSelector_) requestDidReceiveResponseHeadersSelector_(request, headers);
}

void HttpNetworkQueue::requestWillRedirectToURL(HttpRequest* request, kit::URL* url) {
  if (delegate_ && requestWillRedirectSelector_) requestWillRedirectSelector_(request, url);
}

void HttpNetworkQueue::requestFinished(HttpRequest* request) {
  if (helperEnded(request)) return;
  Ref<HttpNetworkQueue> self(this);
  --requestsCount_;
  if (delegate_ && requestDidFinishSelector_) requestDidFinishSelector_(request);
  if (requestsCount_ == 0 && delegate_ && queueDidFinishSelector_) queueDidFinishSelector_(this);
}

void HttpNetworkQueue::requestFailed(HttpRequest* request) {
  if (helperEnded(request)) return;
  Ref<HttpNetworkQueue> self(this);
  --requestsCount_;
  if (delegate_ && requestDidFailSelector_) requestDidFailSelector_(request);
  if (requestsCount_ == 0 && delegate_ && queueDidFinishSelector_) queueDidFinishSelector_(this);
  if (shouldCancelAllRequestsOnFailure_ && requestsCount_ > 0) cancelAllOperations();
}

void HttpNetworkQueue::authenticationNeededForRequest(HttpRequest* request) {
  if (delegate_ && delegate_->respondsToSelector(kAuthenticationNeededForRequest)) {
    delegate_->authenticationNeededForRequest(request);
  }
}

void HttpNetworkQueue::proxyAuthenticationNeededForRequest(HttpRequest* request) {
  if (delegate_ && delegate_->respondsToSelector(kProxyAuthenticationNeededForRequest)) {
    delegate_->proxyAuthenticationNeededForRequest(request);
  }
}

void HttpNetworkQueue::requestDidReceiveBytes(HttpRequest*, int64_t bytes) {
  bytesDownloadedSoFar_ += static_cast<uint64_t>(bytes);
  HttpRequest::updateProgressIndicator(downloadProgressDelegate_, bytesDownloadedSoFar_, totalBytesToDownload_);
}

void HttpNetworkQueue::requestDidSendBytes(HttpRequest*, int64_t bytes) {
  bytesUploadedSoFar_ += static_cast<uint64_t>(bytes);
  HttpRequest::updateProgressIndicator(uploadProgressDelegate_, bytesUploadedSoFar_, totalBytesToUpload_);
}

void HttpNetworkQueue::requestIncrementDownloadSizeBy(HttpRequest*, int64_t newLength) {
  totalBytesToDownload_ += static_cast<uint64_t>(newLength);
}

void HttpNetworkQueue::requestIncrementUploadSizeBy(HttpRequest*, int64_t newLength) {
  totalBytesToUpload_ += static_cast<uint64_t>(newLength);
}

Ref<kit::Object> HttpNetworkQueue::copy() const {
  Ref<HttpNetworkQueue> q = kit::make<HttpNetworkQueue>();
  q->delegate_ = delegate_;
  q->requestDidStartSelector_ = requestDidStartSelector_;
  q->requestDidReceiveResponseHeadersSelector_ = requestDidReceiveResponseHeadersSelector_;
  q->requestWillRedirectSelector_ = requestWillRedirectSelector_;
  q->requestDidFinishSelector_ = requestDidFinishSelector_;
  q->requestDidFailSelector_ = requestDidFailSelector_;
  q->queueDidFinishSelector_ = queueDidFinishSelector_;
  q->uploadProgressDelegate_ = uploadProgressDelegate_;
  q->downloadProgressDelegate_ = downloadProgressDelegate_;
  q->shouldCancelAllRequestsOnFailure_ = shouldCancelAllRequestsOnFailure_;
  q->showAccurateProgress_ = showAccurateProgress_;
  if (userInfo_) q->userInfo_ = kit::cast<kit::Dictionary>(userInfo_->copy());
  return q;
}

}  // namespace tolva
