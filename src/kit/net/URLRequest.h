#pragma once
// A URL load request: the URL, cache policy, time-out, HTTP method, headers
// and body. One mutable class; copy() gives an independent request.
//
// Header names compare without regard to case and keep the order they were
// first set in. A header name or value holding a line break (or a NUL) is
// refused, so no caller can smuggle extra header lines into a request.

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
  // Sets (replaces) a header; answers false, changing nothing, for a name or
  // value with a line break or NUL, or an empty name.
  bool setValue(std::string_view value, std::string_view field);
  // Appends to a header (comma-separated), or sets it.
  bool addValue(std::string_view value, std::string_view field);
  void removeHTTPHeaderField(std::string_view field);
  // Replaces every header (the valid ones of `fields`).
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
  Ref<URL> url_;
  CachePolicy policy_;
  double timeout_ = kDefaultTimeoutInterval;
  std::string method_ = "GET";
  std::vector<std::pair<std::string, std::string>> headers_;
  Ref<Data> body_;
  bool handleCookies_ = true;
  Ref<URL> mainDocument_;
};

}  // namespace kit
