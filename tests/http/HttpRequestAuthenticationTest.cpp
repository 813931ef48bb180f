// Logins against loopback servers: Basic, Digest and NTLM answered from each source in turn
// (session store, URL, main request, request, keychain, delegate, dialog), refusals, retries,
// cancelling, a proxy login, and credentials that must not follow a redirect to another origin.

#include <cmath>
#include <map>
#include <atomic>
#include <mutex>
#include <thread>

#include "http/HttpAuthenticationDialog.h"
#include "http/HttpRequestTestSupport.h"
#include "kit/foundation/String.h"
#include "kit/net/HTTPAuthentication.h"
#include "kit/net/NTLM.h"
#include "kit/security/Base64.h"
#include "kit/security/Digest.h"
#include "kit/security/Keychain.h"
#include "kit/security/MemoryKeychainStore.h"
#include "kit/ui/Application.h"
#include "kit/ui/Device.h"
#include "kit/ui/GeometryValue.h"
#include "kit/ui/Screen.h"
#include "kit/ui/TextField.h"
#include "support/TestHTTPServer.h"
#include "support/TestProxyServer.h"

using namespace tolva;
using namespace tolvatest;
using kit::HTTPAuthentication;
using kit::Ref;

namespace {

std::string basic(const std::string& u, const std::string& p) { return "Basic " + kit::Base64::encode(u + ":" + p); }

TestResponse challenge(const std::string& value) {
  return TestResponse::withStatus(401, "login").header("WWW-Authenticate", value);
}

// Answers 200 only to the right Basic login.
void basicRoute(TestHTTPServer& server, const std::string& path, const std::string& user, const std::string& pass,
                const std::string& realm = "site") {
  server.route("GET", path, [=](const RecordedRequest& r) {
    if (r.headers.value("Authorization") == basic(user, pass)) return TestResponse::ok("secret");
    return challenge("Basic realm=\"" + realm + "\"");
  });
}

// A Digest (MD5, qop auth) server; `staleOnce` answers the first right login with a stale nonce.
struct DigestServer {
  std::string user, pass, realm = "digest-realm";
  bool staleOnce = false;
  bool alwaysStale = false;
  std::mutex m;
  int nonce = 0;

  TestResponse answer(const RecordedRequest& r) {
    std::lock_guard<std::mutex> g(m);
    const std::string current = "nonce" + std::to_string(nonce);
    const std::string auth = r.headers.value("Authorization");
    if (auth.rfind("Digest ", 0) == 0) {
      auto parsed = HTTPAuthentication::parseChallenges(auth);
      auto p = [&](const char* n) { return parsed.empty() ? std::string() : parsed[0].param(n).value_or(""); };
      const std::string ha1 = kit::Digest::md5Hex(user + ":" + realm + ":" + pass);
      const std::string ha2 = kit::Digest::md5Hex("GET:" + p("uri"));
      const std::string expected =
          kit::Digest::md5Hex(ha1 + ":" + p("nonce") + ":" + p("nc") + ":" + p("cnonce") + ":auth:" + ha2);
      if (p("response") == expected && p("nonce") == current && p("uri") == r.target) {
        if (alwaysStale || staleOnce) {
          staleOnce = false;
          ++nonce;
          return challenge("Digest realm=\"" + realm + "\", qop=\"auth\", nonce=\"nonce" + std::to_string(nonce) +
                           "\", stale=true");
        }
        return TestResponse::ok("digest ok");
      }
    }
    return challenge("Digest realm=\"" + realm + "\", qop=\"auth\", nonce=\"" + current + "\", opaque=\"op\"");
  }
};

// An NTLMv2 server: negotiate, challenge and authenticate on one connection.
struct NTLMServer {
  std::string user = "alice", pass = "wonder", domain = "CORP";
  std::mutex m;
  std::map<uint64_t, std::string> challenges;  // connection -> server challenge
  int authenticates = 0;

  static std::string message(const std::string& header) {
    auto raw = kit::Base64::decode(header.substr(5));
    return raw ? std::string(raw->begin(), raw->end()) : std::string();
  }
  static std::string field(const std::string& m, size_t at) {
    const size_t len = uint8_t(m[at]) | (uint8_t(m[at + 1]) << 8);
    const size_t off = uint8_t(m[at + 4]) | (uint8_t(m[at + 5]) << 8);
    return off + len <= m.size() ? m.substr(off, len) : std::string();
  }

  TestResponse answer(const RecordedRequest& r) {
    std::lock_guard<std::mutex> g(m);
    const std::string auth = r.headers.value("Authorization");
    if (auth.rfind("NTLM ", 0) == 0) {
      const std::string msg = message(auth);
      if (msg.size() >= 12 && msg[8] == 1) {
        std::string type2("NTLMSSP\0\2\0\0\0", 12);
        type2.resize(48, '\0');
        const std::string server = "\x11\x22\x33\x44\x55\x66\x77" + std::to_string(r.connectionId % 10);
        type2.replace(24, 8, server);
        challenges[r.connectionId] = server;
        return challenge("NTLM " + kit::Base64::encode(type2));
      }
      if (msg.size() >= 64 && msg[8] == 3 && challenges.count(r.connectionId)) {
        ++authenticates;
        const std::string nt = field(msg, 20);
        const auto key = kit::NTLM::ntowfv2(user, pass, domain);
        const std::string keyText(reinterpret_cast<const char*>(key.data()), key.size());
        const auto proof = kit::NTLM::hmacMd5(keyText, challenges[r.connectionId] + nt.substr(16));
        if (nt.size() > 16 && std::equal(proof.begin(), proof.end(), nt.begin(),
                                         [](uint8_t a, char b) { return a == uint8_t(b); }) &&
            field(msg, 36) == kit::NTLM::utf16le(user) && field(msg, 28) == kit::NTLM::utf16le(domain)) {
          return TestResponse::ok("ntlm ok");
        }
      }
    }
    return challenge("NTLM");
  }
};

// Answers a login question the way a test tells it to.
class LoginDelegate : public RecordingDelegate {
 public:
  LoginDelegate() { answersAuthentication = true; }
  void authenticationNeededForRequest(HttpRequest* request) override {
    ++asked;
    if (cancel) {
      request->cancelAuthentication();
      return;
    }
    if (!leavesCredentialsAlone) {
      request->setUsername(user);
      request->setPassword(pass);
    }
    request->retryUsingSuppliedCredentials();
  }
  void proxyAuthenticationNeededForRequest(HttpRequest* request) override {
    ++proxyAsked;
    request->setProxyUsername(user);
    request->setProxyPassword(pass);
    request->retryUsingSuppliedCredentials();
  }
  std::string user, pass;
  bool cancel = false;
  // Retries with whatever the request holds.
  bool leavesCredentialsAlone = false;
  int asked = 0;
  int proxyAsked = 0;
};

class HttpRequestAuthenticationTest : public HttpRequestTest {
 protected:
  void SetUp() override {
    HttpRequestTest::SetUp();
    HttpRequest::clearSession();
    HttpRequest::sessionProxyCredentialsStore()->removeAllObjects();
    kit::Keychain::installSharedStore(std::make_shared<kit::MemoryKeychainStore>());
  }
  void TearDown() override {
    HttpRequest::clearSession();
    HttpRequest::sessionProxyCredentialsStore()->removeAllObjects();
    HttpRequestTest::TearDown();
  }
  static Ref<HttpRequest> request(const std::string& url) { return HttpRequest::requestWithURL(U(url)); }
  static std::string withUser(const TestHTTPServer& s, const std::string& userinfo, const std::string& path) {
    return "http://" + userinfo + "@127.0.0.1:" + std::to_string(s.port()) + path;
  }
};

TEST_F(HttpRequestAuthenticationTest, BasicFromTheURLIsAnsweredStoredAndSentBeforeTheNextChallenge) {
  TestHTTPServer server;
  basicRoute(server, "/private", "user", "pass");
  Ref<HttpRequest> r = request(withUser(server, "user:pass", "/private"));
  RecordingDelegate d;
  ASSERT_TRUE(runAsync(r, d));
  EXPECT_EQ(d.finished, 1);
  EXPECT_EQ(r->responseString(), "secret");
  EXPECT_EQ(r->authenticationScheme(), "Basic");
  EXPECT_EQ(r->authenticationRealm(), "site");
  ASSERT_EQ(server.requestCount(), 2u);
  EXPECT_FALSE(server.requests()[0].headers.has("Authorization"));
  ASSERT_EQ(HttpRequest::sessionCredentialsStore()->count(), 1u);
  auto* entry = HttpRequest::sessionCredentialsStore()->get<kit::Dictionary>(0);
  EXPECT_EQ(entry->objectForKey("AuthenticationScheme")->description(), "Basic");
  EXPECT_EQ(entry->objectForKey("AuthenticationRealm")->description(), "site");
  EXPECT_TRUE(entry->objectForKey("Authentication"));

  // The session store answers the next request before any challenge.
  server.clearRequests();
  Ref<HttpRequest> again = request(server.url("/private"));
  RecordingDelegate d2;
  ASSERT_TRUE(runAsync(again, d2));
  EXPECT_EQ(d2.finished, 1);
  ASSERT_EQ(server.requestCount(), 1u);
  EXPECT_EQ(server.requests()[0].headers.value("Authorization"), basic("user", "pass"));
}

TEST_F(HttpRequestAuthenticationTest, EachSourceAnswersInItsTurn) {
  TestHTTPServer server;
  basicRoute(server, "/private", "user", "right");

  // The URL comes before the request's own fields.
  {
    Ref<HttpRequest> r = request(withUser(server, "user:right", "/private"));
    r->setUsername("user");
    r->setPassword("wrong");
    r->setUseSessionPersistence(false);
    RecordingDelegate d;
    ASSERT_TRUE(runAsync(r, d));
    EXPECT_EQ(d.finished, 1);
  }
  // The main request's fields, then the request's own.
  {
    Ref<HttpRequest> main = request(server.url("/private"));
    main->setUsername("user");
    main->setPassword("right");
    Ref<HttpRequest> r = request(server.url("/private"));
    r->setMainRequest(main.get());
    r->setUsername("user");
    r->setPassword("wrong");
    r->setUseSessionPersistence(false);
    r->startSynchronous();
    EXPECT_FALSE(r->error());
    EXPECT_EQ(r->responseStatusCode(), 200);
  }
  // The keychain, only when asked to use it; a successful login is saved there.
  {
    auto c = kit::MutableDictionary::dictionary();
    c->setObject(kit::str("user"), HTTPAuthentication::kUsername);
    c->setObject(kit::str("right"), HTTPAuthentication::kPassword);
    HttpRequest::saveCredentials(c, "127.0.0.1", server.port(), "http", "site");
    Ref<HttpRequest> without = request(server.url("/private"));
    without->setUseSessionPersistence(false);
    without->startSynchronous();
    EXPECT_EQ(without->error() ? without->error()->code() : 0, kAuthenticationErrorType);
    Ref<HttpRequest> with = request(server.url("/private"));
    with->setUseSessionPersistence(false);
    with->setUseKeychainPersistence(true);
    with->startSynchronous();
    EXPECT_FALSE(with->error());
    HttpRequest::removeCredentialsForHost("127.0.0.1", server.port(), "http", "site");
    EXPECT_FALSE(HttpRequest::savedCredentialsForHost("127.0.0.1", server.port(), "http", "site"));

    Ref<HttpRequest> saving = request(withUser(server, "user:right", "/private"));
    saving->setUseKeychainPersistence(true);
    saving->setUseSessionPersistence(false);
    saving->startSynchronous();
    Ref<kit::Dictionary> saved = HttpRequest::savedCredentialsForHost("127.0.0.1", server.port(), "http", "site");
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->objectForKey(HTTPAuthentication::kPassword)->description(), "right");
  }
  // The delegate, when nothing else answers.
  {
    Ref<HttpRequest> r = request(server.url("/private"));
    LoginDelegate d;
    d.user = "user";
    d.pass = "right";
    ASSERT_TRUE(runAsync(r, d));
    EXPECT_EQ(d.finished, 1);
    EXPECT_EQ(d.asked, 1);
  }
}

TEST_F(HttpRequestAuthenticationTest, DigestWithQopAuthAndOneStaleNonce) {
  TestHTTPServer server;
  auto digest = std::make_shared<DigestServer>();
  digest->user = "Mufasa";
  digest->pass = "Circle of Life";
  digest->staleOnce = true;
  server.route("GET", "/dir/index.html", [digest](const RecordedRequest& r) { return digest->answer(r); });
  Ref<HttpRequest> r = request(server.url("/dir/index.html"));
  r->setUsername("Mufasa");
  r->setPassword("Circle of Life");
  RecordingDelegate d;
  ASSERT_TRUE(runAsync(r, d));
  ASSERT_EQ(d.finished, 1) << (r->error() ? r->error()->localizedDescription() : "");
  EXPECT_EQ(r->responseString(), "digest ok");
  EXPECT_EQ(r->authenticationScheme(), "Digest");
  EXPECT_EQ(server.requestCount(), 3u);

  // A server that calls every nonce stale gets one retry, not a loop.
  digest->alwaysStale = true;
  server.clearRequests();
  HttpRequest::clearSession();
  Ref<HttpRequest> looping = request(server.url("/dir/index.html"));
  looping->setUsername("Mufasa");
  looping->setPassword("Circle of Life");
  RecordingDelegate d2;
  ASSERT_TRUE(runAsync(looping, d2));
  EXPECT_EQ(d2.failed, 1);
  EXPECT_EQ(looping->error()->code(), kAuthenticationErrorType);
  EXPECT_EQ(server.requestCount(), 3u);
}

TEST_F(HttpRequestAuthenticationTest, NTLMWithADomainInTheUserNameAndAtMostTwoTries) {
  TestHTTPServer server;
  auto ntlm = std::make_shared<NTLMServer>();
  server.route("GET", "/ntlm", [ntlm](const RecordedRequest& r) { return ntlm->answer(r); });
  Ref<HttpRequest> r = request(server.url("/ntlm"));
  r->setUsername("CORP\\alice");
  r->setPassword("wonder");
  RecordingDelegate d;
  ASSERT_TRUE(runAsync(r, d));
  ASSERT_EQ(d.finished, 1) << (r->error() ? r->error()->localizedDescription() : "");
  EXPECT_EQ(r->responseString(), "ntlm ok");
  auto seen = server.requests();
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[1].connectionId, seen[2].connectionId);
  EXPECT_EQ(r->authenticationRetryCount(), 2);

  // (The session store would answer with the right login learnt above.)
  HttpRequest::clearSession();
  server.clearRequests();
  Ref<HttpRequest> wrong = request(server.url("/ntlm"));
  wrong->setUsername("alice");
  wrong->setDomain("CORP");
  wrong->setPassword("nope");
  RecordingDelegate d2;
  ASSERT_TRUE(runAsync(wrong, d2));
  EXPECT_EQ(d2.failed, 1);
  EXPECT_EQ(wrong->error()->code(), kAuthenticationErrorType);
  EXPECT_EQ(server.requestCount(), 3u);
}

TEST_F(HttpRequestAuthenticationTest, WrongStoredCredentialsAreDroppedThenTheDelegateDecides) {
  TestHTTPServer server;
  basicRoute(server, "/private", "user", "right");
  // A wrong login learnt earlier in the session.
  Ref<HttpRequest> first = request(withUser(server, "user:wrong", "/private"));
  first->startSynchronous();
  EXPECT_EQ(first->error()->code(), kAuthenticationErrorType);
  EXPECT_EQ(HttpRequest::sessionCredentialsStore()->count(), 0u);

  // Cancel: code 3.
  Ref<HttpRequest> cancelled = request(server.url("/private"));
  LoginDelegate d;
  d.cancel = true;
  ASSERT_TRUE(runAsync(cancelled, d));
  EXPECT_EQ(d.asked, 1);
  EXPECT_EQ(d.failed, 1);
  EXPECT_EQ(cancelled->error()->code(), kAuthenticationErrorType);
  EXPECT_EQ(cancelled->error()->localizedDescription(), "Authentication needed");

  // A delegate that keeps typing the wrong password is stopped after a few tries.
  server.clearRequests();
  Ref<HttpRequest> stubborn = request(server.url("/private"));
  LoginDelegate d2;
  d2.user = "user";
  d2.pass = "wrong";
  ASSERT_TRUE(runAsync(stubborn, d2));
  EXPECT_EQ(d2.failed, 1);
  EXPECT_EQ(stubborn->error()->code(), kAuthenticationErrorType);
  EXPECT_GE(d2.asked, 2);
  EXPECT_LE(server.requestCount(), 8u);
}

TEST_F(HttpRequestAuthenticationTest, CredentialsNeverFollowARedirectToAnotherOrigin) {
  TestHTTPServer a, b;
  basicRoute(b, "/private", "user", "pass");
  a.redirect("/start", b.url("/private"));
  Ref<HttpRequest> r = request(a.url("/start"));
  r->setUsername("user");
  r->setPassword("pass");
  r->setAuthenticationScheme("Basic");
  RecordingDelegate d;
  ASSERT_TRUE(runAsync(r, d));
  EXPECT_EQ(d.failed, 1);
  EXPECT_EQ(r->error()->code(), kAuthenticationErrorType);
  for (const auto& seen : b.requests()) EXPECT_FALSE(seen.headers.has("Authorization"));
  // Sent before any challenge to the origin they were given for.
  ASSERT_GE(a.requestCount(), 1u);
  EXPECT_EQ(a.requests()[0].headers.value("Authorization"), basic("user", "pass"));
}

TEST_F(HttpRequestAuthenticationTest, CredentialsAskedForAfterARedirectAreUsedThere) {
  TestHTTPServer a, b;
  basicRoute(b, "/private", "buser", "bpass");
  a.redirect("/start", b.url("/private"));
  Ref<HttpRequest> r = request(a.url("/start"));
  r->setUsername("caller");
  r->setPassword("secret");
  LoginDelegate d;
  d.user = "buser";
  d.pass = "bpass";
  ASSERT_TRUE(runAsync(r, d));
  ASSERT_EQ(d.finished, 1) << r->error()->localizedDescription();
  EXPECT_EQ(d.asked, 1);
  EXPECT_EQ(r->responseString(), "secret");
  for (const auto& seen : b.requests()) EXPECT_NE(seen.headers.value("Authorization"), basic("caller", "secret"));

  // Answers that never settle it end with code 3 after a few questions.
  for (const std::string& user : {std::string("buser"), std::string()}) {
    HttpRequest::clearSession();
    b.clearRequests();
    Ref<HttpRequest> again = request(a.url("/start"));
    LoginDelegate wrong;
    wrong.user = user;
    wrong.pass = user.empty() ? "" : "wrong";
    ASSERT_TRUE(runAsync(again, wrong));
    EXPECT_EQ(wrong.failed, 1);
    ASSERT_TRUE(again->error());
    EXPECT_EQ(again->error()->code(), kAuthenticationErrorType);
    EXPECT_LE(wrong.asked, 8);
    EXPECT_LE(b.requestCount(), 8u);
  }

  // A delegate that answers without giving any: the caller's own still stay at home.
  HttpRequest::clearSession();
  b.clearRequests();
  Ref<HttpRequest> silent = request(a.url("/start"));
  silent->setUsername("caller");
  silent->setPassword("secret");
  LoginDelegate quiet;
  quiet.leavesCredentialsAlone = true;
  ASSERT_TRUE(runAsync(silent, quiet));
  EXPECT_EQ(quiet.failed, 1);
  for (const auto& seen : b.requests()) EXPECT_NE(seen.headers.value("Authorization"), basic("caller", "secret"));
}

TEST_F(HttpRequestAuthenticationTest, ProxyLoginFromTheRequestAndFromTheDelegate) {
  TestHTTPServer server;
  server.route("GET", "/via", TestResponse::ok("through"));
  TestProxyServer proxy;
  proxy.requireBasicAuth("pu", "pp");

  Ref<HttpRequest> r = request(server.url("/via"));
  r->setProxyHost("127.0.0.1");
  r->setProxyPort(proxy.port());
  r->setProxyUsername("pu");
  r->setProxyPassword("pp");
  RecordingDelegate d;
  ASSERT_TRUE(runAsync(r, d));
  ASSERT_EQ(d.finished, 1) << (r->error() ? r->error()->localizedDescription() : "");
  EXPECT_EQ(r->responseString(), "through");
  EXPECT_EQ(r->proxyAuthenticationScheme(), "Basic");
  ASSERT_EQ(HttpRequest::sessionProxyCredentialsStore()->count(), 1u);
  auto* entry = HttpRequest::sessionProxyCredentialsStore()->get<kit::Dictionary>(0);
  EXPECT_EQ(entry->objectForKey("AuthenticationScheme")->description(), "Basic");
  EXPECT_EQ(entry->objectForKey("Host")->description(), "127.0.0.1");
  EXPECT_EQ(entry->get<kit::Number>("Port")->intValue(), proxy.port());
  EXPECT_FALSE(entry->objectForKey("URL"));

  // Ending the session keeps the proxy's login.
  HttpRequest::clearSession();
  EXPECT_EQ(HttpRequest::sessionProxyCredentialsStore()->count(), 1u);
  HttpRequest::sessionProxyCredentialsStore()->removeAllObjects();
  Ref<HttpRequest> asking = request(server.url("/via"));
  asking->setProxyHost("127.0.0.1");
  asking->setProxyPort(proxy.port());
  LoginDelegate ld;
  ld.user = "pu";
  ld.pass = "pp";
  ASSERT_TRUE(runAsync(asking, ld));
  EXPECT_EQ(ld.finished, 1);
  EXPECT_EQ(ld.proxyAsked, 1);
  EXPECT_EQ(ld.asked, 0);

  // Nobody to ask (the proxy's dialog is on, but no window shows it): no login, or a refused
  // one, fails at once, and the refused password is not sent again.
  HttpRequest::sessionProxyCredentialsStore()->removeAllObjects();
  for (const char* password : {"", "wrong"}) {
    Ref<HttpRequest> alone = request(server.url("/via"));
    alone->setProxyHost("127.0.0.1");
    alone->setProxyPort(proxy.port());
    alone->setProxyUsername("pu");
    alone->setProxyPassword(password);
    alone->setTimeOutSeconds(60);
    const size_t before = proxy.records().size();
    RecordingDelegate quiet;
    ASSERT_TRUE(runAsync(alone, quiet, 10)) << password;
    ASSERT_EQ(quiet.failed, 1) << password;
    EXPECT_EQ(alone->error()->code(), kAuthenticationErrorType) << password;
    EXPECT_EQ(proxy.records().size() - before, *password ? 2u : 1u) << password;
  }
}

// A peer of the old kind answers a challenge as HTTP/1.0 with a body that ends at the close;
// the retry's answer, not the challenge's, is what the request reports.
TEST_F(HttpRequestAuthenticationTest, ARetryAfterACloseDelimitedChallengeReportsTheFinalAnswer) {
  const std::string page(70000, 'p');
  auto http10 = [](const std::string& head, const std::string& body) {
    return TestResponse::rawBytes("HTTP/1.0 " + head + "\r\nConnection: close\r\n\r\n" + body);
  };
  TestHTTPServer proxy;  // answers absolute-form requests as a forwarding proxy would
  proxy.setFallback([&](const RecordedRequest& r) {
    if (r.headers.value("Proxy-Authorization") != basic("pu", "pp")) {
      return http10("407 Proxy Authentication Required\r\nProxy-Authenticate: Basic realm=\"proxy\"\r\n"
                    "Content-Type: text/html",
                    "<html><body>" + std::string(3000, 'x') + "</body></html>")
          .trickleBy(700, std::chrono::milliseconds(5), true);
    }
    return http10("200 OK\r\nContent-Type: text/plain\r\nX-Final: yes", page);
  });
  TestHTTPServer origin;
  origin.setFallback([&](const RecordedRequest& r) {
    if (r.headers.value("Authorization") != basic("u", "p")) {
      return http10("401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"site\"", "<html>" + std::string(3000, 'n') + "</html>")
          .trickleBy(700, std::chrono::milliseconds(5), true);
    }
    return http10("200 OK\r\nX-Final: yes", page);
  });

  for (const bool viaProxy : {true, false}) {
    for (const bool toFile : {false, true}) {
      SCOPED_TRACE(std::string(viaProxy ? "proxy" : "origin") + (toFile ? " to a file" : " in memory"));
      HttpRequest::clearSession();
      HttpRequest::sessionProxyCredentialsStore()->removeAllObjects();
      Ref<HttpRequest> r = request(viaProxy ? "http://127.0.0.1:9/page" : withUser(origin, "u:p", "/page"));
      if (viaProxy) {
        r->setProxyHost("127.0.0.1");
        r->setProxyPort(proxy.port());
        r->setProxyUsername("pu");
        r->setProxyPassword("pp");
      }
      const std::string file = tmp("final.bin");
      kit::FileManager::removeItem(file, nullptr);
      if (toFile) {
        r->setDownloadDestinationPath(file);
        r->setTemporaryFileDownloadPath(tmp("final.part"));
        r->setAllowResumeForFileDownloads(true);
      }
      RecordingDelegate d;
      ASSERT_TRUE(runAsync(r, d));
      ASSERT_EQ(d.finished, 1) << (r->error() ? r->error()->localizedDescription() : "");
      EXPECT_EQ(r->responseStatusCode(), 200);
      ASSERT_TRUE(r->responseHeaders());
      kit::Object* final = r->responseHeaders()->objectForKey("X-Final");
      EXPECT_EQ(final ? final->description() : "", "yes");
      EXPECT_TRUE((toFile ? read(file) : r->responseString()) == page);
    }
  }

  // A synchronous caller whose delegate supplies the login waits for the answer to the retry.
  for (const bool viaProxy : {true, false}) {
    SCOPED_TRACE(viaProxy ? "synchronous, proxy" : "synchronous, origin");
    HttpRequest::clearSession();
    HttpRequest::sessionProxyCredentialsStore()->removeAllObjects();
    Ref<HttpRequest> r = request(viaProxy ? "http://127.0.0.1:9/page" : origin.url("/page"));
    if (viaProxy) {
      r->setProxyHost("127.0.0.1");
      r->setProxyPort(proxy.port());
    }
    LoginDelegate d;
    d.user = viaProxy ? "pu" : "u";
    d.pass = viaProxy ? "pp" : "p";
    r->setDelegate(&d);
    std::atomic<bool> returned{false};
    std::thread caller([&] {
      r->startSynchronous();
      returned = true;
    });
    kit::RunLoop::main().runUntil([&] { return returned.load(); }, 20);
    caller.join();
    settle();
    EXPECT_EQ(d.asked + d.proxyAsked, 1);
    EXPECT_FALSE(r->error());
    EXPECT_EQ(r->responseStatusCode(), 200);
    EXPECT_EQ(r->responseString().size(), page.size());
    r->setDelegate(nullptr);
  }
}

TEST_F(HttpRequestAuthenticationTest, ARetryAfterALoginLeavesAloneTheConnectionAnotherRequestTookMeanwhile) {
  TestHTTPServer server;
  basicRoute(server, "/a", "u", "p");
  server.route("GET", "/slow", [](const RecordedRequest&) {
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    return TestResponse::ok("slow");
  });
  // Keeps the login question unanswered until the test answers it.
  struct HeldLogin : RecordingDelegate {
    HeldLogin() { answersAuthentication = true; }
    void authenticationNeededForRequest(HttpRequest* r) override { held = r; }
    HttpRequest* held = nullptr;
  } d;
  Ref<HttpRequest> login = request(server.url("/a"));
  login->setDelegate(&d);
  login->startAsynchronous();
  ASSERT_TRUE(kit::RunLoop::main().runUntil([&] { return d.held != nullptr; }, 10));
  // While the first waits, a second request to the same server takes the kept-alive connection.
  Ref<HttpRequest> other = request(server.url("/slow"));
  other->setTimeOutSeconds(3);
  RecordingDelegate d2;
  other->setDelegate(&d2);
  other->startAsynchronous();
  settle(0.2);
  login->setUsername("u");
  login->setPassword("p");
  login->retryUsingSuppliedCredentials();
  ASSERT_TRUE(kit::RunLoop::main().runUntil([&] { return d.done() && d2.done(); }, 10));
  EXPECT_EQ(d.finished, 1) << (login->error() ? login->error()->localizedDescription() : "");
  EXPECT_EQ(d2.finished, 1) << (other->error() ? other->error()->localizedDescription() : "");
  EXPECT_EQ(other->responseString(), "slow");
  login->setDelegate(nullptr);
  other->setDelegate(nullptr);
}

// ---- The login dialog

class HttpAuthenticationDialogTest : public HttpRequestAuthenticationTest {
 protected:
  void SetUp() override {
    HttpRequestAuthenticationTest::SetUp();
    HttpAuthenticationDialog::setCanBeAnswered(true);
  }
  void TearDown() override {
    HttpAuthenticationDialog::setCanBeAnswered(false);
    // Whatever a failed test left on screen goes, with every request still waiting for it.
    while (HttpAuthenticationDialog* d = HttpAuthenticationDialog::currentDialog()) {
      d->cancelAuthenticationFromDialog();
      kit::RunLoop::main().runUntil([d] { return HttpAuthenticationDialog::currentDialog() != d; }, 5);
    }
    settle();
    HttpRequestAuthenticationTest::TearDown();
  }
  static bool waitForDialog() {
    return kit::RunLoop::main().runUntil([] { return HttpAuthenticationDialog::currentDialog() != nullptr; }, 10);
  }
  static Ref<HttpRequest> dialogRequest(const std::string& url) {
    Ref<HttpRequest> r = request(url);
    r->setShouldPresentAuthenticationDialog(true);
    return r;
  }
};

TEST_F(HttpAuthenticationDialogTest, OneLoginServesEveryRequestWaitingForIt) {
  TestHTTPServer server, other;
  basicRoute(server, "/a", "user", "pass");
  basicRoute(server, "/b", "user", "pass");
  basicRoute(other, "/c", "x", "y", "elsewhere");
  std::vector<Ref<HttpRequest>> same{dialogRequest(server.url("/a")), dialogRequest(server.url("/b")),
                                     dialogRequest(server.url("/a"))};
  std::vector<RecordingDelegate> delegates(4);
  std::vector<Ref<HttpRequest>> all;
  struct Clear {
    std::vector<Ref<HttpRequest>>* list;
    ~Clear() {
      for (auto& r : *list) r->clearDelegatesAndCancel();
    }
  } clear{&all};
  all = same;
  for (size_t i = 0; i < 3; ++i) {
    same[i]->setUseSessionPersistence(false);
    same[i]->setDelegate(&delegates[i]);
    same[i]->startAsynchronous();
  }
  ASSERT_TRUE(waitForDialog());
  ASSERT_TRUE(kit::RunLoop::main().runUntil([] { return HttpAuthenticationDialog::waitingRequests().size() == 2; }, 10));
  Ref<HttpRequest> elsewhere = dialogRequest(other.url("/c"));
  all.push_back(elsewhere);
  elsewhere->setDelegate(&delegates[3]);
  elsewhere->startAsynchronous();
  ASSERT_TRUE(kit::RunLoop::main().runUntil([] { return HttpAuthenticationDialog::waitingRequests().size() == 3; }, 10));

  Ref<HttpAuthenticationDialog> dialog(HttpAuthenticationDialog::currentDialog());
  EXPECT_EQ(dialog->type(), UsernameAndPasswordAuthenticationType);
  EXPECT_EQ(dialog->navigationBar()->topItem()->title(), "127.0.0.1");
  EXPECT_EQ(dialog->navigationBar()->topItem()->prompt(), "Login to this secure server.");
  EXPECT_EQ(dialog->tableView()->numberOfSections(), 1);
  EXPECT_EQ(dialog->tableView()->titleForHeaderInSection(0), "site");
  EXPECT_EQ(dialog->tableView()->titleForFooterInSection(0), "Password will be sent in the clear.");
  ASSERT_TRUE(dialog->usernameField() && dialog->passwordField());
  EXPECT_FALSE(dialog->domainField());
  EXPECT_TRUE(dialog->passwordField()->isSecureTextEntry());
  EXPECT_EQ(dialog->usernameField()->placeholder(), "User");
  EXPECT_EQ(dialog->passwordField()->placeholder(), "Password");
  // Nothing locks the rotation here: the dialog turns with the device.
  EXPECT_TRUE(dialog->shouldAutorotateToInterfaceOrientation(kit::InterfaceOrientation::LandscapeLeft));
  // On a phone the keyboard's height is kept clear below the fields.
  kit::Device::currentDevice().setUserInterfaceIdiom(kit::UserInterfaceIdiom::Phone);
  kit::Ref<kit::Dictionary> keyboard(new kit::Dictionary(
      {{kit::Application::kKeyboardFrameEndUserInfoKey, kit::GeometryValue::valueWithRect({0, 264, 320, 216})}}));
  dialog->keyboardWillShow(keyboard.get());
  // Turned on a phone: no prompt; laid out at the application frame's size turned, rotated with
  // the status bar, and covering that frame.
  auto turnTo = [&](kit::InterfaceOrientation o, double degrees) {
    kit::Application::sharedApplication()->setStatusBarOrientation(o);
    dialog->orientationChanged();
    settle(0.4);
    const kit::Rect app = kit::Screen::mainScreen().applicationFrame();
    const kit::Size size = kit::isLandscape(o) ? kit::Size{app.size.height, app.size.width} : app.size;
    EXPECT_EQ(dialog->view()->bounds().size, size) << degrees;
    EXPECT_EQ(dialog->view()->center(), (kit::Point{app.origin.x + app.size.width / 2, app.origin.y + app.size.height / 2}));
    const kit::AffineTransform t = dialog->view()->transform(), want = kit::AffineTransform::rotation(degrees * M_PI / 180);
    EXPECT_TRUE(std::abs(t.a - want.a) < 1e-9 && std::abs(t.b - want.b) < 1e-9 && std::abs(t.c - want.c) < 1e-9 &&
                std::abs(t.d - want.d) < 1e-9)
        << degrees;
  };
  turnTo(kit::InterfaceOrientation::LandscapeLeft, 90);
  EXPECT_EQ(dialog->navigationBar()->topItem()->prompt(), "");
  turnTo(kit::InterfaceOrientation::LandscapeRight, -90);
  turnTo(kit::InterfaceOrientation::PortraitUpsideDown, 180);
  EXPECT_EQ(dialog->navigationBar()->topItem()->prompt(), "Login to this secure server.");
  turnTo(kit::InterfaceOrientation::Portrait, 0);
  kit::Device::currentDevice().setUserInterfaceIdiom(kit::UserInterfaceIdiom::Pad);
  EXPECT_EQ(dialog->tableView()->contentInset(), (kit::EdgeInsets{0, 0, 216, 0}));
  EXPECT_EQ(dialog->tableView()->scrollIndicatorInsets(), (kit::EdgeInsets{0, 0, 216, 0}));
  dialog->usernameField()->setText("user");
  dialog->passwordField()->setText("pass");
  ASSERT_TRUE(dialog->navigationBar()->topItem()->rightBarButtonItem()->tap());
  dialog = nullptr;

  ASSERT_TRUE(kit::RunLoop::main().runUntil(
      [&] { return delegates[0].done() && delegates[1].done() && delegates[2].done(); }, 20));
  for (size_t i = 0; i < 3; ++i) EXPECT_EQ(delegates[i].finished, 1) << i;

  // The request for the other server gets its own dialog once the first one has gone.
  ASSERT_TRUE(kit::RunLoop::main().runUntil([&] {
    HttpAuthenticationDialog* d = HttpAuthenticationDialog::currentDialog();
    return d && d->request() == elsewhere.get();
  }, 10));
  EXPECT_EQ(HttpAuthenticationDialog::currentDialog()->tableView()->titleForHeaderInSection(0), "elsewhere");
  ASSERT_TRUE(HttpAuthenticationDialog::currentDialog()->navigationBar()->topItem()->leftBarButtonItem()->tap());
  ASSERT_TRUE(kit::RunLoop::main().runUntil([&] { return delegates[3].done(); }, 10));
  EXPECT_EQ(delegates[3].failed, 1);
  EXPECT_EQ(elsewhere->error()->code(), kAuthenticationErrorType);
  kit::RunLoop::main().runUntil([] { return HttpAuthenticationDialog::currentDialog() == nullptr; }, 5);
}

TEST_F(HttpAuthenticationDialogTest, NTLMAsksForADomainAndSaysThePasswordTravelsSecurely) {
  TestHTTPServer server;
  auto ntlm = std::make_shared<NTLMServer>();
  server.route("GET", "/ntlm", [ntlm](const RecordedRequest& r) { return ntlm->answer(r); });
  Ref<HttpRequest> r = dialogRequest(server.url("/ntlm"));
  RecordingDelegate d;
  r->setDelegate(&d);
  r->startAsynchronous();
  ASSERT_TRUE(waitForDialog());
  Ref<HttpAuthenticationDialog> dialog(HttpAuthenticationDialog::currentDialog());
  EXPECT_EQ(dialog->tableView()->numberOfSections(), 2);
  EXPECT_EQ(dialog->tableView()->titleForFooterInSection(1), "Password will be sent securely.");
  EXPECT_EQ(dialog->tableView()->titleForFooterInSection(0), "");
  ASSERT_TRUE(dialog->domainField());
  dialog->usernameField()->setText("alice");
  dialog->passwordField()->setText("wonder");
  dialog->domainField()->setText("CORP");
  dialog->loginWithCredentialsFromDialog();
  dialog = nullptr;
  ASSERT_TRUE(kit::RunLoop::main().runUntil([&] { return d.done() && r->isFinished(); }, 20));
  EXPECT_EQ(d.finished, 1) << (r->error() ? r->error()->localizedDescription() : "");
  kit::RunLoop::main().runUntil([] { return HttpAuthenticationDialog::currentDialog() == nullptr; }, 5);
}

}  // namespace
