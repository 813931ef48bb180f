#pragma once
// Loads one URL request asynchronously and reports to a delegate (URLConnectionDelegate.h) on the
// run loop it is scheduled on — the loop of the thread that starts it, unless scheduleInRunLoop()
// chose another before start(). sendSynchronousRequest() loads on the calling thread instead.
//
// Schemes:
//  - http, https: over kit's HTTPReadStream. TLS certificates are always verified (trust more
//    roots with HTTPReadStream::addTrustedCertificate). Redirects (301, 302, 303, 307, 308) are
//    followed up to kMaximumRedirects, only to http and https URLs; 303, and 301/302 after a
//    POST, continue as GET without body. Authorization leaves the request when a redirect goes
//    to another host or port, or from https to http. A 401 is answered with Basic credentials
//    from the URL's user information once; after that, challenges go to the delegate. A POST
//    body without Content-Type is sent as "application/x-www-form-urlencoded"; a POST, PUT or
//    PATCH without body sends "Content-Length: 0". "Accept-Encoding: gzip, deflate" is asked for
//    unless the request names an Accept-Encoding itself, and gzip or deflate bodies are inflated
//    (expectedContentLength is then unknown). Cookies of the shared HTTPCookieStorage go out with
//    requests that handle cookies (unless the request has a Cookie field of its own), and every
//    response's Set-Cookie fields, redirects included, go into it. Each exchange uses a
//    connection of its own ("Connection: close"); no proxy is used.
//  - file: the file's bytes (host empty or "localhost"); MIME type by extension.
//  - data: the decoded bytes (RFC 2397: base64 or percent-escaped; "text/plain" and charset
//    US-ASCII by default).
//  - anything else fails with URLError::kUnsupportedURL.
//
// Cache (URLCache::sharedURLCache() as it is when the load starts), by the request's policy:
//  0 UseProtocolCachePolicy, 5: a GET is answered from the cache while the cached response is
//    fresh (max-age or Expires against its Date), else loaded;
//  1 ReloadIgnoringLocalCacheData, 4: always loaded;
//  2 ReturnCacheDataElseLoad: answered from the cache when it holds the URL, else loaded;
//  3 ReturnCacheDataDontLoad: answered from the cache, or fails with kResourceUnavailable.
// A redirect's new request is made like any other request (so URLRequest's creation hook sees
// it) and looked up the same way. Loaded GET responses with status 200 are
// offered to the delegate's willCacheResponse and then stored, unless the response or request
// says "Cache-Control: no-store".
//
// Time-out: the request's timeoutInterval is an inactivity time-out: the load fails with
// kTimedOut when no byte was sent or received for that long (a pending authentication challenge
// stops the clock).
//
// Threads and lifetime: the connection keeps itself alive until it finishes, fails or is
// cancelled, so the caller need not hold it. The delegate is not owned; it must outlive the load
// or call cancel() first. Callbacks never run inside start() or cancel(). cancel() on the
// connection's loop thread stops everything at once: no delegate call follows; from another
// thread it is passed to the loop, and a call already under way may still complete.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "kit/foundation/Data.h"
#include "kit/foundation/Error.h"
#include "kit/foundation/RunLoop.h"
#include "kit/net/URLAuthenticationChallengeSender.h"
#include "kit/net/URLConnectionDelegate.h"
#include "kit/net/URLRequest.h"
#include "kit/net/URLResponse.h"

namespace kit {

class HTTPMessage;
class HTTPURLResponse;

class URLConnection : public URLAuthenticationChallengeSender {
 public:
  static constexpr int kMaximumRedirects = 16;
  // The private mode sendSynchronousRequest runs the calling thread's loop in.
  static constexpr const char* kSynchronousRunLoopMode = "kit.URLConnection.SynchronousMode";

  // Copies the request. With startImmediately, starts at once on the calling thread's run loop in
  // the default mode.
  URLConnection(const URLRequest& request, URLConnectionDelegate* delegate, bool startImmediately = true);
  static Ref<URLConnection> connectionWithRequest(const URLRequest& request, URLConnectionDelegate* delegate) {
    return Ref<URLConnection>(new URLConnection(request, delegate, true));
  }
  ~URLConnection() override;

  // Where the callbacks come (before start(); later calls are ignored).
  void scheduleInRunLoop(RunLoop& loop, const std::string& mode);
  // Starts the load; later calls are ignored, as is start() after cancel().
  void start();
  // Stops the load for good (see above). No effect once it ended.
  void cancel();
  // The request as given.
  URLRequest* originalRequest() const noexcept { return original_.get(); }
  // The request being loaded (after willSendRequest and redirects). Read on the loop's thread.
  URLRequest* currentRequest() const noexcept;
  // Whether a load of the request can be attempted at all (its scheme is supported).
  static bool canHandleRequest(const URLRequest& request);

  // Loads the request on the calling thread, running its run loop in kSynchronousRunLoopMode
  // until done (so nothing else of that loop runs meanwhile). Answers the data (empty, not null,
  // for an empty body) and the response, or null and the error. An HTTP error status is not an
  // error: its response and body are answered. A body (as inflated) longer than
  // maximumSynchronousDataLength(), or one there is no memory for, ends the load with
  // kDataLengthExceedsMaximum.
  static Ref<Data> sendSynchronousRequest(const URLRequest& request, Ref<URLResponse>* response,
                                          Ref<Error>* error);
  // The same with the load started and waited for by `run` (given the
  // connection and whether it is done), for a caller that may cancel it.
  using SynchronousRunner = std::function<void(URLConnection& connection, const std::function<bool()>& done)>;
  static Ref<Data> sendSynchronousRequest(const URLRequest& request, Ref<URLResponse>* response, Ref<Error>* error,
                                          const SynchronousRunner& run);
  static constexpr uint64_t kDefaultMaximumSynchronousDataLength = uint64_t(1) << 30;
  static uint64_t maximumSynchronousDataLength();
  // Tests lower it.
  static void setMaximumSynchronousDataLength(uint64_t length);

  // ---- URLAuthenticationChallengeSender
  void useCredential(URLCredential& credential, URLAuthenticationChallenge& challenge) override;
  void continueWithoutCredentialForAuthenticationChallenge(URLAuthenticationChallenge& challenge) override;
  void cancelAuthenticationChallenge(URLAuthenticationChallenge& challenge) override;
  void performDefaultHandlingForAuthenticationChallenge(URLAuthenticationChallenge& challenge) override;

  std::string className() const override { return "URLConnection"; }
  std::string description() const override;

 private:
  struct State;
  enum class Answer { UseCredential, ContinueWithout, Cancel, Default };

  // Everything below runs on the connection's loop.
  void begin();
  void load(Ref<URLRequest> request);
  void loadData();
  void loadFile();
  void readFileChunk();
  Ref<HTTPMessage> buildMessage();
  void startHTTP();
  void streamEvent(uint64_t exchange, unsigned event);
  void processHead();
  void redirectTo(Ref<HTTPURLResponse> response, const std::string& location);
  void challenge(Ref<HTTPURLResponse> response);
  void retryWithCredential(const URLCredential& credential, const std::string& spaceKey);
  void answer(URLAuthenticationChallenge& challenge, Answer kind, Ref<URLCredential> credential);
  void handleAnswer(const void* challenge, Answer kind, Ref<URLCredential> credential);
  void deliverHTTPResponse(Ref<HTTPURLResponse> response);
  void readAvailable();
  void completeHTTP();
  bool deliverResponse(Ref<URLResponse> response);
  bool deliverData(const void* bytes, size_t length);
  void succeed();
  void finishLoading();
  void fail(Ref<Error> error);
  void failWithCode(long code, const std::string& description = {}, Ref<Error> underlying = nullptr);
  void armTimer();
  void scheduleTimer(double seconds);
  void timerFired();
  void closeStream();
  void stop();

  const Ref<URLRequest> original_;
  std::unique_ptr<State> s_;
};

}  // namespace kit
