// The request engine's failures: recording and reporting the first one, the status watchdog
// with its time-outs, and the retries after a time-out or on a dead reused connection.

#include "http/HttpRequest.h"
#include "http/HttpRequestShared.h"
#include "kit/foundation/Date.h"
#include "kit/foundation/Exception.h"
#include "kit/foundation/Format.h"
#include "kit/foundation/String.h"
#include "kit/net/NetError.h"

namespace tolva {

using kit::Error;
using kit::Ref;

void HttpRequest::failWithUnhandledException() noexcept {
  if (isFinished()) return;
  std::string name = "std::exception", reason = "An unknown exception occurred";
  try {
    throw;
  } catch (const kit::Exception& e) {
    name = e.name();
    reason = e.reason();
  } catch (const std::exception& e) {
    reason = e.what();
  } catch (...) {
  }
  try {
    auto info = kit::make<kit::MutableDictionary>();
    info->setObject(kit::str(name), Error::kLocalizedDescriptionKey);
    info->setObject(kit::str(reason), Error::kLocalizedFailureReasonKey);
    info->setObject(Error::errorWithDomain(kHttpRequestErrorDomain, kUnhandledExceptionError), Error::kUnderlyingErrorKey);
    Ref<Error> failure = Error::errorWithDomain(kHttpRequestErrorDomain, kUnhandledExceptionError, info);
    try {
      failWithError(failure);
      return;
    } catch (...) {
    }
    // Failing threw too (the cache it falls back on, say): the error is still the request's end.
    if (!error()) {
      setError(failure);
      Ref<HttpRequest> failed(mainRequest_ ? mainRequest_ : this);
      if (mainRequest_) mainRequest_->setError(failure);
      performOnMainThread([failed] { failed->reportFailure(); });
    }
    if (inProgress()) markAsFinished();
  } catch (...) {
    // Out of memory even for the report: the request is left to its time-out.
  }
}

void HttpRequest::failWithError(Ref<Error> theError) {
  // A request being destroyed reports nothing.
  if (destroying_) return;
  Ref<HttpRequest> self(this);
  setComplete(true);
  HttpRequestShared& shared = HttpRequestShared::get();

  // Authentication and redirect failures keep the connection; any other makes it untrustworthy.
  if (theError && theError->code() != kAuthenticationErrorType && theError->code() != kTooMuchRedirectionErrorType) {
    {
      std::lock_guard<std::recursive_mutex> g(shared.connectionLock);
      if (Ref<kit::MutableDictionary> record = connectionInfo()) {
        record->removeObjectForKey("request");
        shared.removeConnectionRecord(record.get());
      }
      // A record no longer in the pool is never this request's again (a retry would take its dead stream).
      setConnectionInfo(nullptr);
    }
    destroyReadStream();
  }
  if (connectionCanBeReused()) {
    std::lock_guard<std::recursive_mutex> g(shared.connectionLock);
    if (Ref<kit::MutableDictionary> record = connectionInfo()) {
      record->setObject(kit::Date::dateWithTimeIntervalSinceNow(persistentConnectionTimeoutSeconds()), "expires");
    }
  }

  if (isCancelled() || error()) return;

  if (Ref<HttpCacheDelegate> cache = downloadCache(); cache && (cachePolicy() & CachePolicyFallbackOnFailure)) {
    // Only an answer from the cache replaces the failure.
    if (cache->canUseCachedDataForRequest(this) && !useDataFromCache()) return;
  }

  setError(theError);
  Ref<HttpRequest> failed(mainRequest_ ? mainRequest_ : this);
  if (mainRequest_) mainRequest_->setError(theError);

  if (isPACFileRequest()) {
    failed->reportFailure();
  } else {
    performOnMainThread([failed] { failed->reportFailure(); });
  }
  if (inProgress()) markAsFinished();
}

bool HttpRequest::shouldTimeOut() {
  Ref<kit::Date> last = lastActivityTime();
  if (!readStream() || !readStreamIsScheduled() || !last) return false;
  const double idle = -last->timeIntervalSinceNow();
  const double limit = timeOutSeconds();
  if (limit <= 0 || idle <= limit) return false;
  if (postLength() == 0) return true;
  // A body still being sent is given half as long again, unless its start was already accepted.
  if (uploadBufferSize() != 0 && totalBytesSent() > uploadBufferSize()) return true;
  return idle > limit * 1.5;
}

void HttpRequest::checkRequestStatus() {
  Ref<HttpRequest> self(this);
  std::unique_lock<std::recursive_mutex> lock(cancelledLock_);
  if (isCancelled() || complete()) return;
  performThrottling();

  if (shouldTimeOut()) {
    if (retryCount() < numberOfTimesToRetryOnTimeout()) {
      updatePartialDownloadSize();
      if (partialDownloadSize() != 0 && request_) {
        request_->setHeaderField("Range", kit::format("bytes=%llu-", partialDownloadSize()));
      }
      setRetryCount(retryCount() + 1);
      // The stalled stream is closed, never kept for reuse: the new attempt gets a new
      // connection, and its response decides whether the file is continued or restarted.
      setConnectionCanBeReused(false);
      {
        HttpRequestShared& shared = HttpRequestShared::get();
        std::lock_guard<std::recursive_mutex> g(shared.connectionLock);
        if (Ref<kit::MutableDictionary> record = connectionInfo()) {
          record->removeObjectForKey("request");
          shared.removeConnectionRecord(record.get());
        }
        setConnectionInfo(nullptr);
      }
      destroyReadStream();
      if (Ref<kit::InputStream> body = postBodyReadStream()) {
        body->close();
        setPostBodyReadStream(nullptr);
      }
      lock.unlock();
      startRequest();
      return;
    }
    failWithError(HttpRequestShared::get().requestTimedOutError);
    cancelLoad();
    setComplete(true);
    return;
  }

  if (Ref<kit::HTTPReadStream> stream = readStream()) {
    if (postLength() != 0) {
      setLastBytesSent(totalBytesSent());
      setTotalBytesSent(stream->requestBytesWritten());
      if (totalBytesSent() > lastBytesSent()) {
        setLastActivityTime(kit::Date::date());
        incrementBandwidthUsedInLastSecond(static_cast<unsigned long>(totalBytesSent() - lastBytesSent()));
      }
    }
    updateProgressIndicators();
  }
}

void HttpRequest::handleStreamError() {
  Ref<HttpRequest> self(this);
  Ref<kit::HTTPReadStream> stream = readStream();
  Ref<Error> underlying = stream ? stream->streamError() : nullptr;

  // A dead reused connection is sent again at once; the body (and its files) must stay for that.
  if (!error() && kit::NetError::isDeadReusedConnection(underlying) && retryCount() == 0) {
    destroyReadStream();
    if (Ref<kit::InputStream> body = postBodyReadStream()) {
      body->close();
      setPostBodyReadStream(nullptr);
    }
    if (retryUsingNewConnection()) return;
  }
  // A proxy that cannot be reached gives way to the next one its script named.
  if (!error() && !responseHeaders() &&
      (kit::NetError::is(underlying, kit::NetError::kConnectionRefused) ||
       kit::NetError::is(underlying, kit::NetError::kConnectionFailed) ||
       kit::NetError::is(underlying, kit::NetError::kDNSFailure) ||
       kit::NetError::is(underlying, kit::NetError::kProxyFailure))) {
    if (Ref<kit::InputStream> body = postBodyReadStream()) {
      body->close();
      setPostBodyReadStream(nullptr);
    }
    if (tryNextProxy()) return;
  }
  cancelLoad();

  if (!error()) {
    std::string reason = "A connection failure occurred";
    if (kit::NetError::isTLSFailure(underlying)) {
      reason = kit::format("%@: SSL problem (possibly a bad/expired/self-signed certificate)", reason);
    }
    failWithError(Error::errorWithDescription(kHttpRequestErrorDomain, kConnectionFailureErrorType, reason, underlying));
  }
  checkRequestStatus();
}

bool HttpRequest::retryUsingNewConnection() {
  if (retryCount() != 0) return false;
  HttpRequestShared& shared = HttpRequestShared::get();
  {
    std::lock_guard<std::recursive_mutex> g(shared.connectionLock);
    if (Ref<kit::MutableDictionary> record = connectionInfo()) {
      record->removeObjectForKey("request");
      shared.removeConnectionRecord(record.get());
    }
    setConnectionInfo(nullptr);
  }
  setRetryCount(retryCount() + 1);
  startRequest();
  return true;
}

}  // namespace tolva
