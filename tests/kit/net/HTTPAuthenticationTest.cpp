// Challenge parsing, the Digest and NTLM computations against published answers, and how an
// authentication object follows an exchange.

#include <gtest/gtest.h>

#include "kit/foundation/String.h"
#include "kit/net/HTTPAuthentication.h"
#include "kit/net/NTLM.h"
#include "kit/security/Base64.h"
#include "kit/security/Digest.h"

using kit::HTTPAuthentication;
using kit::HTTPMessage;
using kit::NTLM;
using kit::Ref;

namespace {

std::string hex(const std::array<uint8_t, 16>& a) { return kit::Digest::hex(a); }

std::string unhex(std::string_view h) {
  std::string out;
  for (size_t i = 0; i + 1 < h.size(); i += 2) out.push_back(char(std::stoi(std::string(h.substr(i, 2)), nullptr, 16)));
  return out;
}

Ref<HTTPMessage> challenge(int status, const std::string& value) {
  Ref<HTTPMessage> m = HTTPMessage::responseWithStatusCode(status);
  m->setHeaderField(status == 407 ? "Proxy-Authenticate" : "WWW-Authenticate", value);
  return m;
}

Ref<kit::Dictionary> creds(const std::string& u, const std::string& p, const std::string& d = "") {
  auto c = kit::MutableDictionary::dictionary();
  c->setObject(kit::str(u), HTTPAuthentication::kUsername);
  c->setObject(kit::str(p), HTTPAuthentication::kPassword);
  if (!d.empty()) c->setObject(kit::str(d), HTTPAuthentication::kAccountDomain);
  return c;
}

Ref<HTTPMessage> get(const std::string& url) {
  return HTTPMessage::requestWithMethod("GET", kit::URL::URLWithString(url));
}

std::string paramOf(const std::string& header, const std::string& name) {
  for (auto& c : HTTPAuthentication::parseChallenges(header)) {
    if (auto v = c.param(name)) return *v;
  }
  return "<none>";
}

}  // namespace

TEST(HTTPAuthenticationTest, ParsesSeveralChallengesTokensAndQuotedValues) {
  auto list = HTTPAuthentication::parseChallenges(
      R"(Basic realm="a, \"b\"", Digest nonce=xyz, qop="auth,auth-int", algorithm=SHA-256, NTLM TlRMTVNTUAAC==, Negotiate)");
  ASSERT_EQ(list.size(), 4u);
  EXPECT_EQ(list[0].scheme, "Basic");
  EXPECT_EQ(list[0].param("realm"), "a, \"b\"");
  EXPECT_EQ(list[1].param("nonce"), "xyz");
  EXPECT_EQ(list[1].param("qop"), "auth,auth-int");
  EXPECT_EQ(list[1].param("algorithm"), "SHA-256");
  EXPECT_EQ(list[2].token, "TlRMTVNTUAAC==");
  EXPECT_EQ(list[3].scheme, "Negotiate");
  // Garbage yields what can be read and never reads past the end.
  for (const char* bad : {"", ",,,", "=", "Basic realm=\"open", "Digest a=b c", "\"x\" Basic"}) {
    (void)HTTPAuthentication::parseChallenges(bad);
  }
}

TEST(HTTPAuthenticationTest, PicksTheStrongestSupportedScheme) {
  auto a = HTTPAuthentication::authenticationFromResponse(
      *challenge(401, "Basic realm=\"r\", Digest realm=\"d\", nonce=\"n\""));
  ASSERT_TRUE(a);
  EXPECT_EQ(a->schemeName(), "Digest");
  EXPECT_EQ(a->realm(), "d");
  a = HTTPAuthentication::authenticationFromResponse(*challenge(401, "Basic realm=\"r\", NTLM"));
  EXPECT_EQ(a->schemeName(), "NTLM");
  EXPECT_TRUE(a->requiresAccountDomain());
  EXPECT_FALSE(a->realm());
  // An unknown Digest algorithm is not offered; nothing usable gives nothing.
  a = HTTPAuthentication::authenticationFromResponse(*challenge(401, "Digest nonce=n, algorithm=SHA-512-256, Basic realm=x"));
  EXPECT_EQ(a->schemeName(), "Basic");
  EXPECT_FALSE(HTTPAuthentication::authenticationFromResponse(*challenge(401, "Negotiate")));
  EXPECT_FALSE(HTTPAuthentication::authenticationFromResponse(*challenge(200, "Basic realm=x")));
  a = HTTPAuthentication::authenticationFromResponse(*challenge(407, "Basic realm=\"p\""));
  EXPECT_TRUE(a->isProxy());
  Ref<HTTPMessage> m = get("http://h/x");
  ASSERT_TRUE(a->applyCredentials(*m, creds("u", "p")));
  EXPECT_EQ(m->valueForHeaderField("Proxy-Authorization"), "Basic dTpw");
  EXPECT_FALSE(m->hasHeaderField("Authorization"));
}

TEST(HTTPAuthenticationTest, DigestMatchesThePublishedExamples) {
  const std::string header =
      "Digest realm=\"http-auth@example.org\", qop=\"auth, auth-int\", algorithm=%s, "
      "nonce=\"7ypf/xlj9XXwfDPEoM4URrv/xwf94BcCAzFZH4GiTo0v\", opaque=\"FQhe/qaU925kfnzjCev0ciny7QMkPqMAFRtzCUYo5tdS\"";
  HTTPAuthentication::setFixedRandomnessForTesting(
      HTTPAuthentication::FixedRandomness{"f2/wE4q74E6zIJEtWaHKaf5wv/H5QzzpXusqGemxURZJ", 0, {}});
  struct Case {
    const char* algorithm;
    const char* response;
  } cases[] = {{"MD5", "8ca523f5e9506fed4657c9700eebdbec"},
               {"SHA-256", "753927fa0e85d155564e2e272a28d1802ca10daf4496794697cf8db5856cb6c1"}};
  for (const Case& c : cases) {
    char text[512];
    std::snprintf(text, sizeof text, header.c_str(), c.algorithm);
    auto a = HTTPAuthentication::authenticationFromResponse(*challenge(401, text));
    Ref<HTTPMessage> m = get("http://example.org/dir/index.html");
    ASSERT_TRUE(a->applyCredentials(*m, creds("Mufasa", "Circle of Life")));
    const std::string value = m->valueForHeaderField("Authorization");
    EXPECT_EQ(paramOf(value, "response"), c.response) << c.algorithm;
    EXPECT_EQ(paramOf(value, "nc"), "00000001");
    EXPECT_EQ(paramOf(value, "qop"), "auth");
    EXPECT_EQ(paramOf(value, "uri"), "/dir/index.html");
    EXPECT_EQ(paramOf(value, "opaque"), "FQhe/qaU925kfnzjCev0ciny7QMkPqMAFRtzCUYo5tdS");
    // The nonce count goes up with each use of the same nonce.
    ASSERT_TRUE(a->applyCredentials(*m, creds("Mufasa", "Circle of Life")));
    EXPECT_EQ(paramOf(m->valueForHeaderField("Authorization"), "nc"), "00000002");
  }
  HTTPAuthentication::setFixedRandomnessForTesting(std::nullopt);
}

TEST(HTTPAuthenticationTest, DigestStaleNonceRetriesOnceAndARepeatMeansRefusal) {
  auto a = HTTPAuthentication::authenticationFromResponse(*challenge(401, "Digest realm=r, qop=auth, nonce=one"));
  Ref<HTTPMessage> m = get("http://h/");
  ASSERT_TRUE(a->applyCredentials(*m, creds("u", "p")));
  a->updateFromResponse(*challenge(401, "Digest realm=r, qop=auth, nonce=two, stale=true"));
  EXPECT_TRUE(a->isValid());
  ASSERT_TRUE(a->applyCredentials(*m, creds("u", "p")));
  EXPECT_EQ(paramOf(m->valueForHeaderField("Authorization"), "nonce"), "two");
  EXPECT_EQ(paramOf(m->valueForHeaderField("Authorization"), "nc"), "00000001");
  a->updateFromResponse(*challenge(401, "Digest realm=r, nonce=three, stale=true"));
  HTTPAuthentication::Failure why;
  EXPECT_FALSE(a->isValid(&why));
  EXPECT_EQ(why, HTTPAuthentication::Failure::BadPassword);
  EXPECT_FALSE(a->applyCredentials(*m, creds("u", "p")));
  a->reset();
  EXPECT_TRUE(a->applyCredentials(*m, creds("u", "p")));
  EXPECT_EQ(paramOf(m->valueForHeaderField("Authorization"), "nonce"), "one");
  // Only "auth" protection is spoken; a challenge offering nothing else cannot be answered.
  a = HTTPAuthentication::authenticationFromResponse(*challenge(401, "Digest nonce=n, qop=auth-int"));
  EXPECT_FALSE(a->applyCredentials(*m, creds("u", "p")));
  // Header injection through a user name is refused.
  a = HTTPAuthentication::authenticationFromResponse(*challenge(401, "Digest nonce=n"));
  EXPECT_FALSE(a->applyCredentials(*m, creds("u\r\nX-Evil: 1", "p")));
}

TEST(HTTPAuthenticationTest, NTLMPiecesMatchThePublishedAnswers) {
  EXPECT_EQ(hex(NTLM::md4("")), "31d6cfe0d16ae931b73c59d7e0c089c0");
  EXPECT_EQ(hex(NTLM::md4("abc")), "a448017aaf21d8525fc10ae87aa6729d");
  EXPECT_EQ(hex(NTLM::md4("12345678901234567890123456789012345678901234567890123456789012345678901234567890")),
            "e33b4ddc9c38f2199c3e7b164fcc0536");
  EXPECT_EQ(NTLM::utf16le("A\xc3\xa9\xf0\x9f\x98\x80"), std::string("A\0\xe9\0\x3d\xd8\x00\xde", 8));
  // A sequence cut short at the end: each leftover byte reads as one replacement character.
  EXPECT_EQ(NTLM::utf16le("A\xe2\x82"), std::string("A\0\xfd\xff\xfd\xff", 6));
  EXPECT_EQ(hex(NTLM::ntowfv2("User", "Password", "Domain")), "0c868a403bfd7a93a3001ef22ef02e3f");

  NTLM::Challenge c;
  const std::string server = unhex("0123456789abcdef");
  std::copy(server.begin(), server.end(), c.serverChallenge.begin());
  c.targetInfo = unhex("02000c0044006f006d00610069006e0001000c0053006500720076006500720000000000");
  std::array<uint8_t, 8> client;
  client.fill(0xaa);
  const std::string m = NTLM::authenticateMessage(c, "User", "Password", "Domain", "COMPUTER", 0, client);
  ASSERT_GE(m.size(), 64u);
  auto field = [&m](size_t at) {
    const size_t len = uint8_t(m[at]) | (uint8_t(m[at + 1]) << 8);
    const size_t off = uint8_t(m[at + 4]) | (uint8_t(m[at + 5]) << 8);
    return m.substr(off, len);
  };
  EXPECT_EQ(kit::Digest::hex(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(field(20).data()), 16)),
            "68cd0ab851e51c96aabc927bebef6a1c");
  EXPECT_EQ(kit::Digest::hex(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(field(12).data()), 16)),
            "86c35097ac9cec102554764a57cccc19");
  EXPECT_EQ(field(28), NTLM::utf16le("Domain"));
  EXPECT_EQ(field(36), NTLM::utf16le("User"));
  EXPECT_EQ(field(44), NTLM::utf16le("COMPUTER"));
}

TEST(HTTPAuthenticationTest, NTLMRefusesChallengesThatPointOutsideThemselves) {
  std::string m("NTLMSSP\0\2\0\0\0", 12);
  m.resize(48, '\0');
  EXPECT_TRUE(NTLM::parseChallenge(m));
  m[40] = 10;  // target info of 10 bytes at offset 0x7fffffff
  m[44] = char(0xff), m[45] = char(0xff), m[46] = char(0xff), m[47] = 0x7f;
  EXPECT_FALSE(NTLM::parseChallenge(m));
  EXPECT_FALSE(NTLM::parseChallenge(std::string("NTLMSSP\0\1\0\0\0", 12) + std::string(40, '\0')));
  EXPECT_FALSE(NTLM::parseChallenge("short"));
}

TEST(HTTPAuthenticationTest, NTLMFollowsNegotiateChallengeAuthenticate) {
  auto a = HTTPAuthentication::authenticationFromResponse(*challenge(401, "NTLM"));
  Ref<HTTPMessage> m = get("http://h/");
  ASSERT_TRUE(a->applyCredentials(*m, creds("u", "p", "D")));
  auto type1 = kit::Base64::decode(m->valueForHeaderField("Authorization").substr(5));
  ASSERT_TRUE(type1);
  EXPECT_EQ((*type1)[8], 1);
  std::string type2("NTLMSSP\0\2\0\0\0", 12);
  type2.resize(48, '\0');
  a->updateFromResponse(*challenge(401, "NTLM " + kit::Base64::encode(type2)));
  ASSERT_TRUE(a->isValid());
  ASSERT_TRUE(a->applyCredentials(*m, creds("u", "p", "D")));
  auto type3 = kit::Base64::decode(m->valueForHeaderField("Authorization").substr(5));
  ASSERT_TRUE(type3);
  EXPECT_EQ((*type3)[8], 3);
  // A bare challenge after the answer: refused.
  a->updateFromResponse(*challenge(401, "NTLM"));
  HTTPAuthentication::Failure why;
  EXPECT_FALSE(a->isValid(&why));
  EXPECT_EQ(why, HTTPAuthentication::Failure::BadPassword);
  // A challenge message that is not one: malformed, not a password problem.
  a->reset();
  ASSERT_TRUE(a->applyCredentials(*m, creds("u", "p", "D")));
  a->updateFromResponse(*challenge(401, "NTLM AAAA"));
  EXPECT_FALSE(a->isValid(&why));
  EXPECT_EQ(why, HTTPAuthentication::Failure::Malformed);
}

#include "kit/net/TLSIdentity.h"
#include "support/TestCertificateAuthority.h"

TEST(TLSIdentityTest, ACertificateWithItsOwnKeyOnly) {
  const auto& mine = tolvatest::TestCertificateAuthority::shared().localhostCertificate();
  const auto& other = tolvatest::TestCertificateAuthority::untrustedCertificate();
  EXPECT_TRUE(kit::TLSIdentity::identityWithPEM(mine.certificatePEM, mine.privateKeyPEM));
  kit::Ref<kit::Error> error;
  EXPECT_FALSE(kit::TLSIdentity::identityWithPEM(mine.certificatePEM, other.privateKeyPEM, &error));
  EXPECT_TRUE(error);
  EXPECT_FALSE(kit::TLSIdentity::identityWithPEM("junk", "junk"));
}
