#pragma once
// One HTTP cookie (RFC 6265): name, value, domain, path, expiry, Secure, HttpOnly.
//
// Domain: a cookie set with a Domain attribute is a domain cookie and its domain() starts with a
// dot (".example.com", sent to example.com and every host below it); one set without is
// host-only and its domain() is the bare host ("www.example.com", sent to that host alone).
// A cookie without Expires or Max-Age is a session cookie (expiresDate() null).
// Two cookies are equal when name, domain (ignoring case) and path are.
// Immutable, so shareable between threads.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kit/foundation/Date.h"
#include "kit/foundation/Dictionary.h"
#include "kit/foundation/Object.h"
#include "kit/foundation/URL.h"

namespace kit {

class HTTPCookie : public Object {
 public:
  struct Properties {
    std::string name;
    std::string value;
    // ".example.com" for a domain cookie, "example.com" for a host-only one.
    std::string domain;
    std::string path = "/";
    // Seconds since 2001-01-01 (kit::Clock time); nullopt for a session cookie.
    std::optional<double> expires;
    bool secure = false;
    bool httpOnly = false;
  };

  // Null when the name is empty, the domain is empty, the path does not start with '/', or
  // name or value hold a control character or ';'.
  static Ref<HTTPCookie> cookieWithProperties(Properties properties);

  // Parses one Set-Cookie value received for `url`. Null when it must be ignored: no '=' or
  // an empty name, a Domain the URL's host does not domain-match, a Domain that is a bare
  // top-level name ("com") other than the host itself, a URL that is not http(s) with a host.
  // Times are taken from kit::Clock at `now` (default: Clock::now()).
  static Ref<HTTPCookie> cookieWithSetCookieHeader(std::string_view header, const URL& url,
                                                   std::optional<double> now = std::nullopt);
  // Every acceptable cookie of the given Set-Cookie values, in order.
  static std::vector<Ref<HTTPCookie>> cookiesWithSetCookieHeaders(const std::vector<std::string>& headers,
                                                                   const URL& url);
  // The cookies in a header dictionary's "Set-Cookie" entry (any case of the name), whose
  // values may have been joined with ", ": the text is split only at a comma that starts a new
  // "name=" pair, not at the comma of an Expires date.
  static std::vector<Ref<HTTPCookie>> cookiesWithResponseHeaderFields(const Dictionary* headers, const URL& url);
  // {"Cookie": "a=1; b=2"} for the cookies in order; empty when there are none.
  static Ref<Dictionary> requestHeaderFieldsWithCookies(const std::vector<Ref<HTTPCookie>>& cookies);
  // "a=1; b=2".
  static std::string cookieHeaderValue(const std::vector<Ref<HTTPCookie>>& cookies);

  const std::string& name() const noexcept { return p_.name; }
  const std::string& value() const noexcept { return p_.value; }
  const std::string& domain() const noexcept { return p_.domain; }
  const std::string& path() const noexcept { return p_.path; }
  // Null for a session cookie.
  Ref<Date> expiresDate() const;
  std::optional<double> expires() const noexcept { return p_.expires; }
  bool isSessionOnly() const noexcept { return !p_.expires.has_value(); }
  bool isSecure() const noexcept { return p_.secure; }
  bool isHTTPOnly() const noexcept { return p_.httpOnly; }
  bool isHostOnly() const noexcept { return p_.domain.empty() || p_.domain[0] != '.'; }
  // When the cookie was made (kit::Clock time); storage keeps the first one of a replaced cookie.
  double creationTime() const noexcept { return created_; }
  const Properties& properties() const noexcept { return p_; }

  bool isExpired(double now) const noexcept { return p_.expires && *p_.expires <= now; }
  // Whether the cookie goes with a request to `url`: domain, path and (for Secure) https.
  bool matchesURL(const URL& url) const;
  // RFC 6265 domain-match and path-match.
  static bool domainMatches(std::string_view host, std::string_view cookieDomain);
  static bool pathMatches(std::string_view requestPath, std::string_view cookiePath);
  // The path a cookie without Path attribute gets for a request path.
  static std::string defaultPath(std::string_view requestPath);

  std::string className() const override { return "HTTPCookie"; }
  size_t hash() const noexcept override;
  bool isEqual(const Object* other) const noexcept override;
  std::string description() const override;

 private:
  friend class HTTPCookieStorage;
  HTTPCookie(Properties p, double created) : p_(std::move(p)), created_(created) {}
  Properties p_;
  double created_;
};

}  // namespace kit
