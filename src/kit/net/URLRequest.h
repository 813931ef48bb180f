#pragma once
// A URL load request: the URL, cache policy, time-out, HTTP method, headers
// and body. One mutable class; copy() gives an independent request.
//
// Header names compare without regard to case and keep the order they were
// first set in. A header name or value holding a line break (or a NUL) is
// refused, so no caller can smuggle extra header lines into a request.
//
// Hook slots. Two operations run through process-wide, replaceable functions
// so that the program can change every request whoever builds it (the
// user-agent override, the ad-block filter):
//  - setting a header (setValue, and setAllHTTPHeaderFields for each field)
//    runs the set-value function; the built-in one is primitiveSetValue;
//  - creating a request (the public constructor and requestWithURL; not
//    copy()) runs the init function with the URL, cache policy and time-out;
//    the built-in one is primitiveInit.
// exchange...Function installs a replacement and answers the function it
// replaced, which the replacement calls to reach the former behaviour;
// exchanging back restores it. wrap...Function builds the replacement from
// the former function and installs it in one step, so no request ever meets
// a half-installed hook. A replacement must not call setValue (or construct
// a request) on the same path again, and the init function must not keep a
// reference to the request it is given (the request is being constructed).
// The slots are thread-safe; requests are built on any thread.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "kit/foundation/Data.h"
#include "kit/foundation/Object.h"
#include "kit/foundation/URL.h"

namespace kit {

class URLRequest : public Object {
 public:
  // The platform's values.
  enum class CachePolicy {
    UseProtocolCachePolicy = 0,
    ReloadIgnoringLocalCacheData = 1,
    ReturnCacheDataElseLoad = 2,
    ReturnCacheDataDontLoad = 3,
    ReloadIgnoringLocalAndRemoteCacheData = 4,
    ReloadRevalidatingCacheData = 5,
  };
  static constexpr double kDefaultTimeoutInterval = 60;

  // ---- Hook slots (see above)
  using SetValueFunction = std::function<bool(URLRequest& request, std::string_view value, std::string_view field)>;
  using InitFunction =
      std::function<void(URLRequest& request, Ref<URL> url, CachePolicy policy, double timeoutInterval)>;
  // Null restores the built-in function. Never answers null.
  static SetValueFunction exchangeSetValueFunction(SetValueFunction replacement);
  static SetValueFunction wrapSetValueFunction(const std::function<SetValueFunction(SetValueFunction former)>& wrap);
  static InitFunction exchangeInitFunction(InitFunction replacement);
  static InitFunction wrapInitFunction(const std::function<InitFunction(InitFunction former)>& wrap);
  // The built-in operations.
  static bool primitiveSetValue(URLRequest& request, std::string_view value, std::string_view field);
  static void primitiveInit(URLRequest& request, Ref<URL> url, CachePolicy policy, double timeoutInterval);

  explicit URLRequest(Ref<URL> url, CachePolicy policy = CachePolicy::UseProtocolCachePolicy,
                      double timeoutInterval = kDefaultTimeoutInterval);
  static Ref<URLRequest> requestWithURL(Ref<URL> url, CachePolicy policy = CachePolicy::UseProtocolCachePolicy,
                                        double timeoutInterval = kDefaultTimeoutInterval) {
    return Ref<URLRequest>(new URLRequest(std::move(url), policy, timeoutInterval));
  }

  URL* url() const noexcept { return url_.get(); }
  void setURL(Ref<URL> url) { url_ = std::move(url); }
  CachePolicy cachePolicy() const noexcept { return policy_; }
  void setCachePolicy(CachePolicy p) { policy_ = p; }
  // Seconds without activity before the load gives up; a value that is not
  // positive and finite leaves the current one.
  double timeoutInterval() const noexcept { return timeout_; }
  void setTimeoutInterval(double seconds);
  // "GET" by default; an empty method means "GET".
  const std::string& HTTPMethod() const noexcept { return method_; }
  void setHTTPMethod(std::string method);
  Data* HTTPBody() const noexcept { return body_.get(); }
  void setHTTPBody(Ref<Data> body) { body_ = std::move(body); }
  bool HTTPShouldHandleCookies() const noexcept { return handleCookies_; }
  void setHTTPShouldHandleCookies(bool h) { handleCookies_ = h; }
  URL* mainDocumentURL() const noexcept { return mainDocument_.get(); }
  void setMainDocumentURL(Ref<URL> url) { mainDocument_ = std::move(url); }

  // ---- Headers
  const std::vector<std::pair<std::string, std::string>>& allHTTPHeaderFields() const noexcept { return headers_; }
  std::optional<std::string> valueForHTTPHeaderField(std::string_view field) const;
  // Sets (replaces) a header through the set-value function; the built-in
  // one answers false, changing nothing, for a name or value with a line
  // break or NUL, or an empty name.
  bool setValue(std::string_view value, std::string_view field);
  // Appends to a header (comma-separated), or sets it.
  bool addValue(std::string_view value, std::string_view field);
  void removeHTTPHeaderField(std::string_view field);
  // Replaces every header (the valid ones of `fields`, each set through the
  // set-value function).
  void setAllHTTPHeaderFields(const std::vector<std::pair<std::string, std::string>>& fields);

  std::string className() const override { return "URLRequest"; }
  size_t hash() const noexcept override;
  // Same URL, method, headers, body, cache policy and time-out.
  bool isEqual(const Object* other) const noexcept override;
  std::string description() const override;
  // An independent request with the same contents.
  Ref<Object> copy() const override;
  Ref<Object> mutableCopy() const override { return copy(); }
  bool isMutable() const noexcept override { return true; }

 private:
  struct Uninitialised {};
  explicit URLRequest(Uninitialised) {}

  Ref<URL> url_;
  CachePolicy policy_ = CachePolicy::UseProtocolCachePolicy;
  double timeout_ = kDefaultTimeoutInterval;
  std::string method_ = "GET";
  std::vector<std::pair<std::string, std::string>> headers_;
  Ref<Data> body_;
  bool handleCookies_ = true;
  Ref<URL> mainDocument_;
};

}  // namespace kit
