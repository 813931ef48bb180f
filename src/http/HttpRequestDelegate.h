#pragma once
// What a request tells its delegate (and its queue object), on the main thread. Every call is
// optional: a delegate answers respondsToSelector for the names it handles ("requestFinished:",
// "request:didReceiveResponseHeaders:", ...), and only those calls are made.

#include <string_view>

#include "http/HttpSelector.h"
#include "kit/foundation/Data.h"
#include "kit/foundation/Dictionary.h"
#include "kit/foundation/URL.h"

namespace tolva {

class HttpRequest;

class HttpRequestDelegate {
 public:
  static constexpr const char* kRequestStarted = "requestStarted:";
  static constexpr const char* kRequestDidReceiveResponseHeaders = "request:didReceiveResponseHeaders:";
  static constexpr const char* kRequestWillRedirectToURL = "request:willRedirectToURL:";
  static constexpr const char* kRequestRedirected = "requestRedirected:";
  static constexpr const char* kRequestFinished = "requestFinished:";
  static constexpr const char* kRequestFailed = "requestFailed:";
  static constexpr const char* kRequestDidReceiveData = "request:didReceiveData:";
  static constexpr const char* kAuthenticationNeededForRequest = "authenticationNeededForRequest:";
  static constexpr const char* kProxyAuthenticationNeededForRequest = "proxyAuthenticationNeededForRequest:";

  virtual ~HttpRequestDelegate() = default;

  // Whether the delegate answers the named call.
  virtual bool respondsToSelector(std::string_view selector) const {
    (void)selector;
    return false;
  }

  virtual void requestStarted(HttpRequest* request) { (void)request; }
  virtual void requestDidReceiveResponseHeaders(HttpRequest* request, kit::Dictionary* responseHeaders) {
    (void)request;
    (void)responseHeaders;
  }
  virtual void requestWillRedirectToURL(HttpRequest* request, kit::URL* newURL) {
    (void)request;
    (void)newURL;
  }
  virtual void requestRedirected(HttpRequest* request) { (void)request; }
  // The same report with the URL the request goes to next (the request's own redirect URL may
  // already be cleared on its thread when the report arrives).
  virtual void requestRedirectedToURL(HttpRequest* request, kit::URL* newURL) {
    (void)newURL;
    requestRedirected(request);
  }
  virtual void requestFinished(HttpRequest* request) { (void)request; }
  virtual void requestFailed(HttpRequest* request) { (void)request; }
  virtual void requestDidReceiveData(HttpRequest* request, kit::Data* data) {
    (void)request;
    (void)data;
  }
  virtual void authenticationNeededForRequest(HttpRequest* request) { (void)request; }
  virtual void proxyAuthenticationNeededForRequest(HttpRequest* request) { (void)request; }

  // The selectors a new request starts with, each calling the method of its name.
  static HttpSelector requestStartedSelector();
  static HttpSelector didReceiveResponseHeadersSelector();
  static HttpSelector willRedirectSelector();
  static HttpSelector requestFinishedSelector();
  static HttpSelector requestFailedSelector();
  static HttpSelector didReceiveDataSelector();
};

}  // namespace tolva
