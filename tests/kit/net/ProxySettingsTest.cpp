// Proxy settings from the environment and the program, no_proxy, script answers, and the
// script helper's failures and time limit.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

#include "kit/net/NetError.h"
#include "kit/net/PACEvaluator.h"
#include "kit/net/ProxySettings.h"

using kit::ProxySettings;
using Type = ProxySettings::Proxy::Type;

namespace {

ProxySettings::Proxy proxy(Type t, std::string host, int port) {
  ProxySettings::Proxy p;
  p.type = t;
  p.host = std::move(host);
  p.port = port;
  return p;
}

std::vector<ProxySettings::Proxy> forURL(const std::string& url, const ProxySettings::Settings& s) {
  return ProxySettings::proxiesForURL(*kit::URL::URLWithString(url), s).value_or(std::vector<ProxySettings::Proxy>{});
}

}  // namespace

TEST(ProxySettingsTest, EnvironmentNamesAProxyPerSchemeWithFallbackAndExemptions) {
  setenv("http_proxy", "http://user:pw@proxy.test:3128/", 1);
  setenv("HTTPS_PROXY", "secure.test:8443", 1);
  setenv("all_proxy", "socks5://socks.test", 1);
  setenv("no_proxy", "localhost, .internal.test,exact.test:8080", 1);
  ProxySettings::Settings s = ProxySettings::systemSettings();
  EXPECT_EQ(forURL("http://a.example/", s), std::vector{proxy(Type::HTTP, "proxy.test", 3128)});
  EXPECT_EQ(forURL("https://a.example/", s), std::vector{proxy(Type::HTTP, "secure.test", 8443)});
  EXPECT_TRUE(forURL("http://localhost/", s).empty());
  EXPECT_TRUE(forURL("http://deep.internal.test/", s).empty());
  EXPECT_TRUE(forURL("http://internal.test/", s).empty());
  EXPECT_FALSE(forURL("http://notinternal.test/", s).empty());
  EXPECT_TRUE(forURL("http://exact.test:8080/", s).empty());
  EXPECT_FALSE(forURL("http://exact.test/", s).empty());
  unsetenv("http_proxy");
  s = ProxySettings::systemSettings();
  EXPECT_EQ(forURL("http://a.example/", s), std::vector{proxy(Type::SOCKS, "socks.test", 1080)});

  // The program's settings win over the environment.
  ProxySettings::Settings mine;
  mine.httpProxy = "[::1]:81";
  ProxySettings::setSystemSettings(mine);
  EXPECT_EQ(forURL("http://a.example/", ProxySettings::systemSettings()), std::vector{proxy(Type::HTTP, "::1", 81)});
  EXPECT_TRUE(forURL("https://a.example/", ProxySettings::systemSettings()).empty());
  mine.noProxy = "*";
  EXPECT_TRUE(forURL("http://a.example/", mine).empty());
  mine.noProxy.clear();
  mine.httpProxy = "ftp://nope:1";
  EXPECT_FALSE(ProxySettings::proxiesForURL(*kit::URL::URLWithString("http://a.example/"), mine));
  for (const char* bad : {"host:99999", "host:4294967376", "host:80x", "[::1]:-80"}) {
    mine.httpProxy = bad;
    EXPECT_FALSE(ProxySettings::proxiesForURL(*kit::URL::URLWithString("http://a.example/"), mine)) << bad;
  }
  mine.autoConfigurationURL = "http://127.0.0.1/proxy.pac";
  auto list = forURL("http://a.example/", mine);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].type, Type::AutoConfiguration);
  EXPECT_EQ(list[0].autoConfigurationURL, "http://127.0.0.1/proxy.pac");
  ProxySettings::setSystemSettings(std::nullopt);
  unsetenv("HTTPS_PROXY");
  unsetenv("all_proxy");
  unsetenv("no_proxy");
}

TEST(ProxySettingsTest, ScriptAnswersAreReadInOrderSkippingWhatIsNotUnderstood) {
  auto list = ProxySettings::proxiesFromPACResult(" PROXY a:1;socks b:2; DIRECT ;BOGUS x:1; HTTPS c:3; PROXY nohostport; PROXY :5");
  ASSERT_EQ(list.size(), 5u);
  EXPECT_EQ(list[0], proxy(Type::HTTP, "a", 1));
  EXPECT_EQ(list[1], proxy(Type::SOCKS, "b", 2));
  EXPECT_EQ(list[2].type, Type::Direct);
  EXPECT_EQ(list[3], proxy(Type::HTTPS, "c", 3));
  EXPECT_EQ(list[4], proxy(Type::HTTP, "nohostport", 1080));
  EXPECT_TRUE(ProxySettings::proxiesFromPACResult("").empty());
}

TEST(PACEvaluatorTest, RunsTheScriptWithTheHelperFunctions) {
  const std::string script = R"(
    function FindProxyForURL(url, host) {
      if (isPlainHostName(host)) return "DIRECT";
      if (!dnsDomainIs(host, ".example.org") || localHostOrDomainIs("www", "www.example.org") !== true) return "PROXY wrong:1";
      if (!shExpMatch(url, "http://*.example.org/a?c*") || dnsDomainLevels(host) != 2) return "PROXY wrong:2";
      if (!isInNet("10.1.2.3", "10.0.0.0", "255.0.0.0") || isInNet("11.1.2.3", "10.0.0.0", "255.0.0.0")) return "PROXY wrong:3";
      if (dnsResolve("localhost") != "127.0.0.1" || !isResolvable("localhost") || typeof myIpAddress() != "string") return "PROXY wrong:4";
      if (!weekdayRange("SUN", "SAT") || !timeRange(0, 24) || !dateRange(1, 31)) return "PROXY wrong:5";
      return "PROXY " + host + ":8080; DIRECT";
    })";
  kit::Ref<kit::Error> error;
  auto answer = kit::PACEvaluator::findProxyForURL(script, "http://www.example.org/abc", "www.example.org", 10, &error);
  ASSERT_TRUE(answer) << (error ? error->localizedDescription() : "");
  EXPECT_EQ(*answer, "PROXY www.example.org:8080; DIRECT");
  EXPECT_EQ(kit::PACEvaluator::findProxyForURL(script, "http://intranet/", "intranet", 10), "DIRECT");
}

TEST(PACEvaluatorTest, BrokenScriptsFailAndEndlessOnesAreStopped) {
  kit::Ref<kit::Error> error;
  EXPECT_FALSE(kit::PACEvaluator::findProxyForURL("syntax error (", "http://a/", "a", 10, &error));
  ASSERT_TRUE(error);
  EXPECT_TRUE(kit::NetError::is(error, kit::NetError::kProxyScriptFailure));
  EXPECT_FALSE(kit::PACEvaluator::findProxyForURL("var x = 1;", "http://a/", "a", 10));
  EXPECT_FALSE(kit::PACEvaluator::findProxyForURL("function FindProxyForURL(u, h) { return 5; }", "http://a/", "a", 10));
  EXPECT_FALSE(kit::PACEvaluator::findProxyForURL("function FindProxyForURL(u, h) { throw 1; }", "http://a/", "a", 10));
  // A script that never ends is killed at the time limit.
  const auto start = std::chrono::steady_clock::now();
  error = nullptr;
  EXPECT_FALSE(kit::PACEvaluator::findProxyForURL("function FindProxyForURL(u, h) { for (;;) {} }", "http://a/", "a",
                                                  0.3, &error));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->localizedDescription(), "The proxy script took too long");
}
