#include "kit/net/HTTPCookieStorage.h"

#include <algorithm>

#include "kit/foundation/Clock.h"
#include "kit/foundation/NotificationCenter.h"

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
    } else {
      cookies_.push_back(cookie);
    }
  }
  changed();
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
