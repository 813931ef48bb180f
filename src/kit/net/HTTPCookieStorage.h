#pragma once
// Keeps cookies and answers which go with a request. The shared instance serves the whole
// process; tests make their own. Thread-safe. Nothing is written to disk.
//
// Setting a cookie replaces the one with the same name, domain and path (keeping the first one's
// creation time); setting an already expired one deletes it. Expired cookies are never answered
// and are dropped as they are met. Every change posts kCookiesChangedNotification on the default
// notification centre, sent by the storage, on the changing thread.
//
// Limits, so that no server can fill the memory or every request's header: a cookie whose name
// and value together pass kMaxCookieLength bytes is refused; beyond kMaxCookiesPerDomain cookies
// of one domain (a leading dot ignored), kMaxCookiesPerSite of one registrable domain and the
// domains below it (so a host many labels deep collects no more across its parent domains), or
// kMaxCookies in all, the oldest go.

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "kit/foundation/Object.h"
#include "kit/foundation/URL.h"
#include "kit/net/HTTPCookie.h"

namespace kit {

class HTTPCookieStorage : public Object {
 public:
  static constexpr const char* kCookiesChangedNotification = "HTTPCookieStorageCookiesChangedNotification";

  enum class AcceptPolicy { Always, Never, OnlyFromMainDocumentDomain };
  static constexpr size_t kMaxCookieLength = 4096;
  static constexpr size_t kMaxCookiesPerDomain = 50;
  static constexpr size_t kMaxCookiesPerSite = 150;
  static constexpr size_t kMaxCookies = 3000;

  HTTPCookieStorage() = default;
  static HTTPCookieStorage& sharedHTTPCookieStorage();

  void setCookie(const Ref<HTTPCookie>& cookie);
  // Stores the cookies received for `url`, following the accept policy (for
  // OnlyFromMainDocumentDomain, only when url's host domain-matches the main document's host;
  // a null main document URL counts as url).
  void setCookies(const std::vector<Ref<HTTPCookie>>& cookies, const URL& url, const URL* mainDocumentURL);
  // Removes the stored cookie equal to this one (same name, domain and path).
  void deleteCookie(const HTTPCookie& cookie);
  void deleteAllCookies();
  // Every unexpired cookie, oldest first.
  std::vector<Ref<HTTPCookie>> cookies() const;
  // The unexpired cookies that go with a request to `url` (HttpOnly ones included), longest
  // path first, then oldest first.
  std::vector<Ref<HTTPCookie>> cookiesForURL(const URL& url) const;

  AcceptPolicy cookieAcceptPolicy() const;
  void setCookieAcceptPolicy(AcceptPolicy policy);

  std::string className() const override { return "HTTPCookieStorage"; }

 private:
  void changed();
  static std::string_view limitDomain(const HTTPCookie& cookie);
  // Removes the oldest cookies of the domain (any case; all cookies for an empty one), and with
  // `below` of the domains under it too, until at most `limit` remain.
  void dropOldest(std::string_view domain, size_t limit, bool below = false);
  mutable std::mutex mutex_;
  mutable std::vector<Ref<HTTPCookie>> cookies_;
  AcceptPolicy policy_ = AcceptPolicy::Always;
};

}  // namespace kit
