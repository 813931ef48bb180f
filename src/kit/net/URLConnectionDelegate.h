#pragma once
// What a URLConnection tells its delegate, on the run loop the connection was scheduled on. Every
// call has a default, so a delegate overrides only what it needs.
//
// Order of one load: willSendRequest (for the request, then for each redirect), any number of
// authentication challenges, didReceiveResponse once, didReceiveData zero or more times, then
// willCacheResponse (only when the response may be cached) and didFinishLoading — or
// didFailWithError at any point instead. Nothing follows didFinishLoading, didFailWithError or
// cancel().

#include "kit/foundation/Data.h"
#include "kit/foundation/Error.h"
#include "kit/net/CachedURLResponse.h"
#include "kit/net/URLAuthenticationChallenge.h"
#include "kit/net/URLProtectionSpace.h"
#include "kit/net/URLRequest.h"
#include "kit/net/URLResponse.h"

namespace kit {

class URLConnection;

class URLConnectionDelegate {
 public:
  virtual ~URLConnectionDelegate() = default;

  // The request about to be sent: first the connection's own request (redirectResponse null), then
  // each redirect's new request with the response that asked for it. Answer the request to send (it
  // may be changed or replaced). Null: for the first request, the load stops quietly as by
  // cancel(); for a redirect, it is not followed and the redirect response itself is delivered.
  virtual Ref<URLRequest> willSendRequest(URLConnection& connection, Ref<URLRequest> request,
                                          URLResponse* redirectResponse) {
    (void)connection;
    (void)redirectResponse;
    return request;
  }

  // Whether this delegate wants challenges for the space; false means default handling.
  virtual bool canAuthenticateAgainstProtectionSpace(URLConnection& connection, URLProtectionSpace& space) {
    (void)connection;
    (void)space;
    return true;
  }
  // Answer through challenge.sender(), now or later. The default continues without a credential.
  virtual void didReceiveAuthenticationChallenge(URLConnection& connection, URLAuthenticationChallenge& challenge) {
    (void)connection;
    if (auto sender = challenge.sender()) sender->continueWithoutCredentialForAuthenticationChallenge(challenge);
  }

  virtual void didReceiveResponse(URLConnection& connection, URLResponse& response) {
    (void)connection;
    (void)response;
  }
  // The next piece of the body, decoded (gzip and deflate bodies arrive inflated).
  virtual void didReceiveData(URLConnection& connection, Data& data) {
    (void)connection;
    (void)data;
  }
  // The entry about to be stored in the URL cache; answer it, a replacement, or null to store nothing.
  virtual Ref<CachedURLResponse> willCacheResponse(URLConnection& connection, Ref<CachedURLResponse> cachedResponse) {
    (void)connection;
    return cachedResponse;
  }
  virtual void didFinishLoading(URLConnection& connection) { (void)connection; }
  // A URLError (see URLError.h).
  virtual void didFailWithError(URLConnection& connection, Error& error) {
    (void)connection;
    (void)error;
  }
};

}  // namespace kit
