#include "kit/net/HTTPCookieStorage.h"

#include <algorithm>
#include <cctype>

#include "kit/foundation/Clock.h"
#include "kit/foundation/NotificationCenter.h"
#include "kit/net/PublicSuffix.h"

namespace kit {

HTTPCookieStorage& HTTPCookieStorage::sharedHTTPCookieStorage() {
  static HTTPCookieStorage* storage = [] {
    auto* s = new HTTPCookieStorage();
    s->retain();  // lives for the process
    return s;
  }();
  return *storage;
}

void HTTPCookieStorage::changed() {
  NotificationCenter::defaultCenter().postNotification(kCookiesChangedNotification, this);
}

void HTTPCookieStorage::setCookie(const Ref<HTTPCookie>& cookie) {
  if (!cookie) return;
  {
    std::lock_guard<std::mutex> g(mutex_);
    if (policy_ == AcceptPolicy::Never) return;
    auto it = std::find_if(cookies_.begin(), cookies_.end(), [&](const Ref<HTTPCookie>& c) { return c->isEqual(cookie); });
    if (cookie->isExpired(Clock::now())) {
      // An expired cookie is how a server deletes one.
      if (it == cookies_.end()) return;
      cookies_.erase(it);
    } else if (it != cookies_.end()) {
      *it = Ref<HTTPCookie>(new HTTPCookie(cookie->properties(), (*it)->creationTime()));
    } else if (cookie->name().size() + cookie->value().size() > kMaxCookieLength) {
      return;
    } else {
      std::erase_if(cookies_, [now = Clock::now()](const Ref<HTTPCookie>& c) { return c->isExpired(now); });
      cookies_.push_back(cookie);
      dropOldest(limitDomain(*cookie), kMaxCookiesPerDomain);
      dropOldest(PublicSuffix::registrableDomain(limitDomain(*cookie)), kMaxCookiesPerSite, true);
      dropOldest({}, kMaxCookies);
    }
  }
  changed();
}

std::string_view HTTPCookieStorage::limitDomain(const HTTPCookie& cookie) {
  std::string_view d = cookie.domain();
  if (!d.empty() && d[0] == '.') d.remove_prefix(1);
  return d;
}

void HTTPCookieStorage::dropOldest(std::string_view domain, size_t limit, bool below) {
  auto counted = [&](const Ref<HTTPCookie>& c) {
    if (domain.empty()) return true;
    std::string_view d = limitDomain(*c);
    if (d.size() < domain.size()) return false;
    // "a.example.com" is below "example.com"; "badexample.com" is not.
    if (d.size() > domain.size()) {
      if (!below || d[d.size() - domain.size() - 1] != '.') return false;
      d.remove_prefix(d.size() - domain.size());
    }
    return std::equal(d.begin(), d.end(), domain.begin(), [](char a, char b) {
      return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
    });
  };
  if (cookies_.size() <= limit) return;
  size_t n = domain.empty() ? cookies_.size() : static_cast<size_t>(std::count_if(cookies_.begin(), cookies_.end(), counted));
  while (n > limit) {
    auto oldest = cookies_.end();
    for (auto it = cookies_.begin(); it != cookies_.end(); ++it) {
      if (counted(*it) && (oldest == cookies_.end() || (*it)->creationTime() < (*oldest)->creationTime())) oldest = it;
    }
    cookies_.erase(oldest);
    --n;
  }
}

void HTTPCookieStorage::setCookies(const std::vector<Ref<HTTPCookie>>& cookies, const URL& url, const URL* mainDocumentURL) {
  const AcceptPolicy policy = cookieAcceptPolicy();
  if (policy == AcceptPolicy::Never) return;
  if (policy == AcceptPolicy::OnlyFromMainDocumentDomain && mainDocumentURL &&
      !HTTPCookie::domainMatches(url.lowercaseHost(), mainDocumentURL->lowercaseHost()))
    return;
  for (const auto& c : cookies) setCookie(c);
}

void HTTPCookieStorage::deleteCookie(const HTTPCookie& cookie) {
  {
    std::lock_guard<std::mutex> g(mutex_);
    auto it = std::find_if(cookies_.begin(), cookies_.end(), [&](const Ref<HTTPCookie>& c) { return c->isEqual(&cookie); });
    if (it == cookies_.end()) return;
    cookies_.erase(it);
  }
  changed();
}

void HTTPCookieStorage::deleteAllCookies() {
  {
    std::lock_guard<std::mutex> g(mutex_);
    if (cookies_.empty()) return;
    cookies_.clear();
  }
  changed();
}

std::vector<Ref<HTTPCookie>> HTTPCookieStorage::cookies() const {
  std::lock_guard<std::mutex> g(mutex_);
  const double now = Clock::now();
  std::erase_if(cookies_, [&](const Ref<HTTPCookie>& c) { return c->isExpired(now); });
  std::vector<Ref<HTTPCookie>> out = cookies_;
  std::stable_sort(out.begin(), out.end(), [](const Ref<HTTPCookie>& a, const Ref<HTTPCookie>& b) {
    return a->creationTime() < b->creationTime();
  });
  return out;
}

std::vector<Ref<HTTPCookie>> HTTPCookieStorage::cookiesForURL(const URL& url) const {
  std::vector<Ref<HTTPCookie>> out;
  {
    std::lock_guard<std::mutex> g(mutex_);
    const double now = Clock::now();
    std::erase_if(cookies_, [&](const Ref<HTTPCookie>& c) { return c->isExpired(now); });
    for (const auto& c : cookies_)
      if (c->matchesURL(url)) out.push_back(c);
  }
  std::stable_sort(out.begin(), out.end(), [](const Ref<HTTPCookie>& a, const Ref<HTTPCookie>& b) {
    if (a->path().size() != b->path().size()) return a->path().size() > b->path().size();
    return a->creationTime() < b->creationTime();
  });
  return out;
}

HTTPCookieStorage::AcceptPolicy HTTPCookieStorage::cookieAcceptPolicy() const {
  std::lock_guard<std::mutex> g(mutex_);
  return policy_;
}

void HTTPCookieStorage::setCookieAcceptPolicy(AcceptPolicy policy) {
  std::lock_guard<std::mutex> g(mutex_);
  policy_ = policy;
}

}  // namespace kit
