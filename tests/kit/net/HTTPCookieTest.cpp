#include "kit/net/HTTPCookie.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "kit/foundation/Clock.h"
#include "kit/foundation/NotificationCenter.h"
#include "kit/foundation/String.h"
#include "kit/net/HTTPCookieStorage.h"
#include "kit/net/HTTPDate.h"

using namespace kit;

namespace {

// 2020-01-01 00:00:00 UTC in kit time.
constexpr double kNow = 1577836800.0 - Clock::kReferenceDateOffset1970;

Ref<URL> url(const char* text) { return URL::URLWithString(text); }

Ref<HTTPCookie> parse(const char* header, const char* from = "http://www.example.com/docs/page.html") {
  return HTTPCookie::cookieWithSetCookieHeader(header, *url(from), kNow);
}

std::vector<std::string> names(const std::vector<Ref<HTTPCookie>>& cookies) {
  std::vector<std::string> out;
  for (auto& c : cookies) out.push_back(c->name());
  return out;
}

class VirtualClock {
 public:
  VirtualClock() { Clock::setVirtual(kNow); }
  ~VirtualClock() { Clock::setReal(); }
};

}  // namespace

TEST(HTTPDate, ReadsTheThreeFormatsAndRejectsImpossibleDates) {
  const double expected = 784111777.0 - Clock::kReferenceDateOffset1970;  // 1994-11-06 08:49:37 UTC
  EXPECT_EQ(HTTPDate::parseCookieDate("Sun, 06 Nov 1994 08:49:37 GMT"), expected);
  EXPECT_EQ(HTTPDate::parseCookieDate("Sunday, 06-Nov-94 08:49:37 GMT"), expected);
  EXPECT_EQ(HTTPDate::parseCookieDate("Sun Nov  6 08:49:37 1994"), expected);
  EXPECT_EQ(HTTPDate::parseCookieDate("Thu, 01-Jan-2026 00:00:00 GMT"),
            1767225600.0 - Clock::kReferenceDateOffset1970);
  EXPECT_EQ(HTTPDate::parseCookieDate("Wed, 09 Jun 21 10:18:14 GMT"),
            1623233894.0 - Clock::kReferenceDateOffset1970);  // two-digit year below 70: 20xx
  EXPECT_FALSE(HTTPDate::parseCookieDate("Mon, 30 Feb 2015 10:00:00 GMT"));
  EXPECT_FALSE(HTTPDate::parseCookieDate("Mon, 12 Jan 2015 25:00:00 GMT"));
  EXPECT_FALSE(HTTPDate::parseCookieDate("Mon, 12 Jan 1600 10:00:00 GMT"));
  EXPECT_FALSE(HTTPDate::parseCookieDate("tomorrow"));
  EXPECT_EQ(HTTPDate::formatRFC1123(expected), "Sun, 06 Nov 1994 08:49:37 GMT");
  EXPECT_EQ(HTTPDate::parseCookieDate(HTTPDate::formatRFC1123(kNow + 12345)), kNow + 12345);
}

TEST(HTTPCookie, HostOnlyCookieWithDefaultPathIsASessionCookie) {
  auto c = parse("SID=31d4d96e407aad42");
  ASSERT_TRUE(c);
  EXPECT_EQ(c->name(), "SID");
  EXPECT_EQ(c->value(), "31d4d96e407aad42");
  EXPECT_EQ(c->domain(), "www.example.com");
  EXPECT_TRUE(c->isHostOnly());
  EXPECT_EQ(c->path(), "/docs");
  EXPECT_TRUE(c->isSessionOnly());
  EXPECT_FALSE(c->expiresDate());
  EXPECT_FALSE(c->isSecure());
  EXPECT_FALSE(c->isHTTPOnly());
}

TEST(HTTPCookie, DefaultPaths) {
  EXPECT_EQ(HTTPCookie::defaultPath(""), "/");
  EXPECT_EQ(HTTPCookie::defaultPath("/"), "/");
  EXPECT_EQ(HTTPCookie::defaultPath("/page"), "/");
  EXPECT_EQ(HTTPCookie::defaultPath("/a/b/c"), "/a/b");
  EXPECT_EQ(HTTPCookie::defaultPath("/a/b/"), "/a/b");
  EXPECT_EQ(parse("a=1; Path=relative")->path(), "/docs");
  EXPECT_EQ(parse("a=1; Path=")->path(), "/docs");
  EXPECT_EQ(parse("a=1; path=/x/")->path(), "/x/");
}

TEST(HTTPCookie, DomainAttributeMakesADomainCookieWithALeadingDot) {
  for (const char* d : {"example.com", ".example.com", "EXAMPLE.com", "www.example.com"}) {
    auto c = parse((std::string("a=1; Domain=") + d).c_str());
    ASSERT_TRUE(c) << d;
    EXPECT_FALSE(c->isHostOnly());
    EXPECT_EQ(c->domain()[0], '.');
  }
  EXPECT_EQ(parse("a=1; Domain=.Example.COM")->domain(), ".example.com");
  // The last Domain attribute counts; an empty one is ignored.
  EXPECT_EQ(parse("a=1; Domain=other.org; Domain=example.com")->domain(), ".example.com");
  EXPECT_EQ(parse("a=1; Domain=")->domain(), "www.example.com");
}

TEST(HTTPCookie, DomainsTheHostDoesNotMatchAreRejected) {
  EXPECT_FALSE(parse("a=1; Domain=other.com"));
  EXPECT_FALSE(parse("a=1; Domain=ample.com"));          // not on a label boundary
  EXPECT_FALSE(parse("a=1; Domain=sub.www.example.com")); // below the host
  // Bare top-level names are public suffixes, and so are the longer ones of the list.
  EXPECT_FALSE(parse("a=1; Domain=com"));
  EXPECT_FALSE(parse("a=1; Domain=.com"));
  EXPECT_FALSE(parse("a=1; Domain=co.uk", "http://x.co.uk/"));
  EXPECT_FALSE(parse("a=1; Domain=github.io", "https://someone.github.io/"));
  auto registrable = parse("a=1; Domain=example.co.uk", "http://www.example.co.uk/");
  ASSERT_TRUE(registrable);
  EXPECT_EQ(registrable->domain(), ".example.co.uk");
  auto suffixHost = parse("a=1; Domain=co.uk", "http://co.uk/");
  ASSERT_TRUE(suffixHost);
  EXPECT_TRUE(suffixHost->isHostOnly());
  // ... unless it is the host itself, which keeps the cookie host-only.
  auto local = parse("a=1; Domain=localhost", "http://localhost/");
  ASSERT_TRUE(local);
  EXPECT_TRUE(local->isHostOnly());
  EXPECT_EQ(local->domain(), "localhost");
  // IP addresses match only themselves.
  auto ip = parse("a=1; Domain=127.0.0.1", "http://127.0.0.1/");
  ASSERT_TRUE(ip);
  EXPECT_TRUE(ip->isHostOnly());
  EXPECT_FALSE(parse("a=1; Domain=0.0.1", "http://127.0.0.1/"));
}

TEST(HTTPCookie, ExpiresAndMaxAge) {
  auto e = parse("a=1; Expires=Wed, 01 Jan 2020 01:00:00 GMT");
  ASSERT_TRUE(e->expires());
  EXPECT_EQ(*e->expires(), kNow + 3600);
  EXPECT_FALSE(e->isSessionOnly());
  EXPECT_EQ(e->expiresDate()->timeIntervalSinceReferenceDate(), kNow + 3600);
  // Max-Age wins whichever comes first.
  EXPECT_EQ(*parse("a=1; Max-Age=60; Expires=Wed, 01 Jan 2020 01:00:00 GMT")->expires(), kNow + 60);
  EXPECT_EQ(*parse("a=1; Expires=Wed, 01 Jan 2020 01:00:00 GMT; max-age=60")->expires(), kNow + 60);
  // Zero and negative ages expire at once; malformed ones are ignored.
  EXPECT_TRUE(parse("a=1; Max-Age=0")->isExpired(kNow));
  EXPECT_TRUE(parse("a=1; Max-Age=-5")->isExpired(kNow));
  EXPECT_TRUE(parse("a=1; Max-Age=1x")->isSessionOnly());
  EXPECT_TRUE(parse("a=1; Max-Age=")->isSessionOnly());
  EXPECT_EQ(*parse("a=1; Max-Age=abc; Expires=Wed, 01 Jan 2020 01:00:00 GMT")->expires(), kNow + 3600);
  // An unreadable date leaves a session cookie.
  EXPECT_TRUE(parse("a=1; Expires=someday")->isSessionOnly());
}

TEST(HTTPCookie, FlagsAndIgnoredHeaders) {
  auto c = parse("a = 1 ; secure; HTTPONLY; Unknown=x");
  ASSERT_TRUE(c);
  EXPECT_EQ(c->name(), "a");
  EXPECT_EQ(c->value(), "1");
  EXPECT_TRUE(c->isSecure());
  EXPECT_TRUE(c->isHTTPOnly());
  EXPECT_EQ(parse("a=")->value(), "");
  EXPECT_EQ(parse("a=\"quoted\"")->value(), "\"quoted\"");
  EXPECT_FALSE(parse("novalue"));
  EXPECT_FALSE(parse("=1"));
  EXPECT_FALSE(parse("a=1\x01"));
  EXPECT_FALSE(parse("a=1", "ftp://example.com/"));
}

TEST(HTTPCookie, MatchingByDomainPathAndScheme) {
  auto hostOnly = parse("h=1; Path=/");
  auto domain = parse("d=1; Domain=example.com; Path=/docs");
  auto secure = parse("s=1; Secure; Path=/");
  EXPECT_TRUE(hostOnly->matchesURL(*url("http://www.example.com/x")));
  EXPECT_FALSE(hostOnly->matchesURL(*url("http://sub.www.example.com/x")));
  EXPECT_FALSE(hostOnly->matchesURL(*url("http://example.com/x")));
  EXPECT_TRUE(domain->matchesURL(*url("http://example.com/docs")));
  EXPECT_TRUE(domain->matchesURL(*url("http://a.b.example.com/docs/x")));
  EXPECT_FALSE(domain->matchesURL(*url("http://badexample.com/docs")));
  EXPECT_FALSE(domain->matchesURL(*url("http://example.com/docsx")));
  EXPECT_FALSE(domain->matchesURL(*url("http://example.com/")));
  EXPECT_FALSE(secure->matchesURL(*url("http://www.example.com/")));
  EXPECT_TRUE(secure->matchesURL(*url("https://www.example.com/")));
  EXPECT_TRUE(HTTPCookie::pathMatches("/docs/", "/docs/"));
  EXPECT_TRUE(HTTPCookie::pathMatches("/docs/x", "/docs/"));
  EXPECT_FALSE(HTTPCookie::pathMatches("/doc", "/docs"));
}

TEST(HTTPCookie, ResponseHeaderDictionaryWithJoinedValues) {
  auto headers = MutableDictionary::dictionary();
  headers->setObject(str("a=1; Expires=Wed, 01 Jan 2020 01:00:00 GMT; Path=/, b=2, c=3; Domain=evil.org, d=4"),
                     "set-cookie");
  auto cookies = HTTPCookie::cookiesWithResponseHeaderFields(headers, *url("http://www.example.com/"));
  EXPECT_EQ(names(cookies), (std::vector<std::string>{"a", "b", "d"}));
  EXPECT_FALSE(cookies[0]->isSessionOnly());
  EXPECT_EQ(HTTPCookie::cookieHeaderValue(cookies), "a=1; b=2; d=4");
  auto fields = HTTPCookie::requestHeaderFieldsWithCookies(cookies);
  EXPECT_EQ(fields->get<String>("Cookie")->str(), "a=1; b=2; d=4");
  EXPECT_TRUE(HTTPCookie::requestHeaderFieldsWithCookies({})->empty());
}

TEST(HTTPCookie, PropertiesAreValidated) {
  auto make = [](std::string name, std::string value, std::string domain, std::string path = "/") {
    HTTPCookie::Properties p;
    p.name = std::move(name);
    p.value = std::move(value);
    p.domain = std::move(domain);
    p.path = std::move(path);
    return HTTPCookie::cookieWithProperties(p);
  };
  EXPECT_TRUE(make("a", "1", ".x.org"));
  EXPECT_FALSE(make("", "1", "x.org"));
  EXPECT_FALSE(make("a", "1", ""));
  EXPECT_FALSE(make("a", "1", "x.org", "p"));
  EXPECT_FALSE(make("a", "1;b=2", "x.org"));
}

TEST(HTTPCookieStorage, SetReplaceDeleteAndOrderForURL) {
  VirtualClock clock;
  HTTPCookieStorage storage;
  auto page = url("http://www.example.com/docs/a/page");
  storage.setCookie(parse("root=1; Path=/; Domain=example.com"));
  Clock::advance(1);
  storage.setCookie(parse("deep=1; Path=/docs/a"));
  Clock::advance(1);
  storage.setCookie(parse("mid=1; Path=/docs"));
  Clock::advance(1);
  storage.setCookie(parse("mid2=1; Path=/docs"));
  storage.setCookie(parse("other=1; Path=/elsewhere"));
  EXPECT_EQ(names(storage.cookiesForURL(*page)), (std::vector<std::string>{"deep", "mid", "mid2", "root"}));

  // Replacing keeps the first creation time, hence the place among equals.
  Clock::advance(1);
  storage.setCookie(parse("mid=2; Path=/docs"));
  auto found = storage.cookiesForURL(*page);
  EXPECT_EQ(names(found), (std::vector<std::string>{"deep", "mid", "mid2", "root"}));
  EXPECT_EQ(found[1]->value(), "2");
  EXPECT_EQ(storage.cookies().size(), 5u);

  // A cookie differing in path or domain is another cookie.
  storage.setCookie(parse("mid=3; Path=/"));
  EXPECT_EQ(storage.cookies().size(), 6u);

  storage.deleteCookie(*parse("deep=x; Path=/docs/a"));
  EXPECT_EQ(names(storage.cookiesForURL(*page)), (std::vector<std::string>{"mid", "mid2", "root", "mid"}));
  storage.deleteAllCookies();
  EXPECT_TRUE(storage.cookies().empty());
}

TEST(HTTPCookieStorage, ExpiryRemovesCookies) {
  VirtualClock clock;
  HTTPCookieStorage storage;
  auto site = url("http://www.example.com/");
  storage.setCookie(parse("short=1; Max-Age=10; Path=/"));
  storage.setCookie(parse("session=1; Path=/"));
  EXPECT_EQ(storage.cookiesForURL(*site).size(), 2u);
  Clock::advance(10);
  EXPECT_EQ(names(storage.cookiesForURL(*site)), (std::vector<std::string>{"session"}));
  // A server deletes a cookie by sending it already expired.
  storage.setCookie(parse("session=gone; Path=/; Expires=Thu, 01 Jan 1970 00:00:00 GMT"));
  EXPECT_TRUE(storage.cookies().empty());
}

TEST(HTTPCookieStorage, AtMostThreeThousandInAllTheOldestDropped) {
  VirtualClock clock;
  HTTPCookieStorage storage;
  for (int d = 0; d < 61; ++d) {
    const std::string host = "http://www.site" + std::to_string(d) + ".com/";
    for (int i = 0; i < 50; ++i) {
      Clock::advance(1);
      storage.setCookie(HTTPCookie::cookieWithSetCookieHeader("n" + std::to_string(i) + "=1", *url(host.c_str())));
    }
  }
  EXPECT_EQ(storage.cookies().size(), 3000u);
  EXPECT_TRUE(storage.cookiesForURL(*url("http://www.site0.com/")).empty());
  EXPECT_EQ(storage.cookiesForURL(*url("http://www.site60.com/")).size(), 50u);

  // A host many labels deep fills each of its parent domains: what it collects across them is
  // bounded by its site's limit, the newest kept.
  HTTPCookieStorage deep;
  std::string host = "example.com";
  for (int d = 0; d < 60; ++d) host = "l" + std::to_string(d) + "." + host;
  const Ref<URL> deepURL = url(("http://" + host + "/").c_str());
  for (std::string_view domain = host; domain != "com"; domain.remove_prefix(domain.find('.') + 1)) {
    for (int i = 0; i < 50; ++i) {
      Clock::advance(1);
      const std::string h = "n" + std::to_string(i) + "=" + std::string(100, 'v') + "; Domain=" + std::string(domain);
      deep.setCookie(HTTPCookie::cookieWithSetCookieHeader(h, *deepURL));
    }
  }
  const auto sent = deep.cookiesForURL(*deepURL);
  EXPECT_EQ(sent.size(), HTTPCookieStorage::kMaxCookiesPerSite);
  EXPECT_EQ(deep.cookies().size(), HTTPCookieStorage::kMaxCookiesPerSite);
  EXPECT_EQ(deep.cookies().back()->domain(), ".example.com");
  // Another site's cookies are not counted against it.
  deep.setCookie(HTTPCookie::cookieWithSetCookieHeader("x=1", *url("http://www.badexample.com/")));
  EXPECT_EQ(deep.cookies().size(), HTTPCookieStorage::kMaxCookiesPerSite + 1);

  // Expired cookies take no room: they go before the oldest live ones would.
  HTTPCookieStorage one;
  auto site = url("http://www.example.com/");
  for (int i = 0; i < 50; ++i) {
    Clock::advance(1);
    const std::string h = "n" + std::to_string(i) + "=1" + (i >= 40 ? "; Max-Age=5" : "");
    one.setCookie(HTTPCookie::cookieWithSetCookieHeader(h, *site));
  }
  Clock::advance(10);
  for (int i = 0; i < 10; ++i) one.setCookie(HTTPCookie::cookieWithSetCookieHeader("m" + std::to_string(i) + "=1", *site));
  EXPECT_EQ(one.cookiesForURL(*site).size(), 50u);
  EXPECT_EQ(one.cookies().front()->name(), "n0");
}

TEST(HTTPCookieStorage, AcceptPolicyAndChangeNotifications) {
  HTTPCookieStorage storage;
  int changes = 0;
  auto token = NotificationCenter::defaultCenter().addObserver(HTTPCookieStorage::kCookiesChangedNotification, &storage,
                                                               [&](const Notification&) { ++changes; });
  auto site = url("http://ads.tracker.net/");
  auto main = url("http://www.example.com/");
  storage.setCookieAcceptPolicy(HTTPCookieStorage::AcceptPolicy::OnlyFromMainDocumentDomain);
  storage.setCookies({parse("t=1", "http://ads.tracker.net/")}, *site, main.get());
  EXPECT_TRUE(storage.cookies().empty());
  storage.setCookies({parse("e=1")}, *url("http://www.example.com/x"), main.get());
  EXPECT_EQ(storage.cookies().size(), 1u);
  storage.setCookieAcceptPolicy(HTTPCookieStorage::AcceptPolicy::Never);
  storage.setCookie(parse("n=1"));
  EXPECT_EQ(storage.cookies().size(), 1u);
  storage.deleteAllCookies();
  EXPECT_EQ(changes, 2);
}

TEST(HTTPCookieStorage, ConcurrentUse) {
  HTTPCookieStorage storage;
  std::vector<std::thread> threads;
  std::atomic<int> seen{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      auto u = url("http://www.example.com/");
      for (int i = 0; i < 200; ++i) {
        std::string h = "c" + std::to_string(t) + "_" + std::to_string(i % 20) + "=" + std::to_string(i);
        storage.setCookie(HTTPCookie::cookieWithSetCookieHeader(h, *u));
        seen += int(storage.cookiesForURL(*u).size() > 0);
        if (i % 7 == 0) storage.deleteCookie(*HTTPCookie::cookieWithSetCookieHeader(h, *u));
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(seen.load(), 800);
  EXPECT_LE(storage.cookies().size(), 80u);
}

TEST(HTTPCookieStorage, SharedInstanceIsOne) {
  EXPECT_EQ(&HTTPCookieStorage::sharedHTTPCookieStorage(), &HTTPCookieStorage::sharedHTTPCookieStorage());
}
