// Request signing checked against the published vectors, and the signed
// fetch against a loopback server.
#include <gtest/gtest.h>

#include <string>

#include "kit/foundation/RunLoop.h"
#include "share/oauth/OAAsynchronousDataFetcher.h"
#include "share/oauth/OABase64.h"
#include "share/oauth/OADataFetcher.h"
#include "share/oauth/OAHMAC_SHA1SignatureProvider.h"
#include "share/oauth/OAMutableURLRequest.h"
#include "share/oauth/OAParameterAdditions.h"
#include "share/oauth/OAPlaintextSignatureProvider.h"
#include "share/oauth/OAURLEncodingAdditions.h"
#include "support/TestHTTPServer.h"

namespace {

using kit::Ref;
using tolva::OAConsumer;
using tolva::OAMutableURLRequest;
using tolva::OAToken;

Ref<OAMutableURLRequest> request(const std::string& url, Ref<OAToken> token = nullptr,
                                 Ref<tolva::OASignatureProviding> provider = nullptr, std::string realm = "") {
  return Ref<OAMutableURLRequest>(new OAMutableURLRequest(
      kit::URL::URLWithString(url), Ref<OAConsumer>(new OAConsumer("dpf43f3p2l4k3l03", "kd94hf93k423kf44")),
      std::move(token), std::move(realm), std::move(provider), "kllo9940pd9333jh", "1191242096"));
}

std::string base64(std::string_view bytes) {
  char out[512];
  size_t size = sizeof out;
  EXPECT_TRUE(tolva::OABase64Encode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), out, &size));
  return std::string(out, size);
}

TEST(OAuthSigningTest, TheCoreAppendixExampleSignsAndHeadsExactly) {
  auto r = request("http://photos.example.net/photos?file=vacation.jpg&size=original",
                   Ref<OAToken>(new OAToken("nnch734d00sl2jdk", "pfkkdhi9sl3r4s00")), nullptr,
                   "http://photos.example.net/");
  EXPECT_EQ(r->signatureBaseString(),
            "GET&http%3A%2F%2Fphotos.example.net%2Fphotos&file%3Dvacation.jpg%26oauth_consumer_key%3Ddpf43f3p2l4k3l03"
            "%26oauth_nonce%3Dkllo9940pd9333jh%26oauth_signature_method%3DHMAC-SHA1%26oauth_timestamp%3D1191242096"
            "%26oauth_token%3Dnnch734d00sl2jdk%26oauth_version%3D1.0%26size%3Doriginal");
  r->prepare();
  EXPECT_EQ(r->signature(), "tR3+Ty81lMeYAr/Fid0kMTYa/WM=");
  EXPECT_EQ(r->valueForHTTPHeaderField("Authorization"),
            "OAuth realm=\"http%3A%2F%2Fphotos.example.net%2F\", oauth_consumer_key=\"dpf43f3p2l4k3l03\", "
            "oauth_token=\"nnch734d00sl2jdk\", oauth_signature_method=\"HMAC-SHA1\", "
            "oauth_signature=\"tR3%2BTy81lMeYAr%2FFid0kMTYa%2FWM%3D\", oauth_timestamp=\"1191242096\", "
            "oauth_nonce=\"kllo9940pd9333jh\", oauth_version=\"1.0\"");
  EXPECT_EQ(r->cachePolicy(), kit::URLRequest::CachePolicy::ReloadIgnoringLocalCacheData);
  EXPECT_EQ(r->timeoutInterval(), 10);

  // Signed once: changing the token afterwards changes nothing.
  std::string header = *r->valueForHTTPHeaderField("Authorization");
  r->token()->setSecret("other");
  r->prepare();
  EXPECT_EQ(r->signature(), "tR3+Ty81lMeYAr/Fid0kMTYa/WM=");
  EXPECT_EQ(r->valueForHTTPHeaderField("Authorization"), header);
}

TEST(OAuthSigningTest, ParametersAreNormalisedByEncodedNameThenValue) {
  // The parameters of RFC 5849's normalisation example, as a query.
  auto r = request("http://EXAMPLE.com:80/request?b5=%3D%253D&a3=a&c%40=&a2=r%20b&a3=2%20q&c2=&a-b=1&a=2");
  std::string base = r->signatureBaseString();
  std::string params = tolva::OAURLEncodingAdditions::URLDecodedString(base.substr(base.rfind('&') + 1));
  EXPECT_EQ(params,
            "a=2&a-b=1&a2=r%20b&a3=2%20q&a3=a&b5=%3D%253D&c%40=&c2=&oauth_consumer_key=dpf43f3p2l4k3l03"
            "&oauth_nonce=kllo9940pd9333jh&oauth_signature_method=HMAC-SHA1&oauth_timestamp=1191242096"
            "&oauth_version=1.0");
  EXPECT_EQ(base.substr(0, base.find('&', 4)), "GET&http%3A%2F%2Fexample.com%2Frequest");
  EXPECT_EQ(request("https://a.test:443")->signatureBaseString().substr(0, 30), "GET&https%3A%2F%2Fa.test%2F&oa");
  EXPECT_NE(request("https://a.test:8443/x")->signatureBaseString().find("a.test%3A8443%2Fx&"), std::string::npos);
}

TEST(OAuthSigningTest, WithoutATokenOnlyTheConsumerSecretSigns) {
  auto r = request("http://api.test/x", nullptr, Ref<tolva::OASignatureProviding>(new tolva::OAPlaintextSignatureProvider()));
  EXPECT_EQ(r->signatureBaseString().find("oauth_token"), std::string::npos);
  r->prepare();
  EXPECT_EQ(r->signature(), "kd94hf93k423kf44&");
  std::string header = *r->valueForHTTPHeaderField("Authorization");
  EXPECT_EQ(header.find("oauth_token"), std::string::npos);
  EXPECT_NE(header.find("oauth_signature_method=\"PLAINTEXT\", oauth_signature=\"kd94hf93k423kf44%26\""),
            std::string::npos);
}

TEST(OAuthSigningTest, FormBodiesAreSignedButMultipartBodiesAreNot) {
  auto form = request("http://api.test/post?ignored=1");
  form->setHTTPMethod("POST");
  form->setHTTPBody(kit::Data::dataWithString("status=x&b=x%20y"));
  auto params = tolva::OAParameterAdditions::parameters(*form);
  ASSERT_TRUE(params);
  ASSERT_EQ(params->size(), 2u);
  EXPECT_EQ((*params)[1].value(), "x y");
  std::string base = form->signatureBaseString();
  EXPECT_NE(base.find("b%3Dx%2520y"), std::string::npos);
  EXPECT_EQ(base.find("ignored"), std::string::npos) << "a POST signs its body, not its query";

  form->setOAuthParameterName("oauth_callback", "http://cb.test/done?a=1");
  EXPECT_NE(form->signatureBaseString().find("oauth_callback%3Dhttp%253A%252F%252Fcb.test%252Fdone%253Fa%253D1"),
            std::string::npos);
  form->prepare();
  EXPECT_NE(form->valueForHTTPHeaderField("Authorization")->find(", oauth_callback=\"http%3A%2F%2Fcb.test%2Fdone%3Fa%3D1\""),
            std::string::npos);

  auto upload = request("http://api.test/upload");
  upload->setHTTPMethod("POST");
  upload->setValue("multipart/form-data; boundary=xyz", "Content-Type");
  upload->setHTTPBody(kit::Data::dataWithString("status=secret"));
  EXPECT_EQ(upload->signatureBaseString().find("status"), std::string::npos);

  auto get = request("http://api.test/list?old=1");
  tolva::OAParameterAdditions::setParameters(*get, {{"q", "a b&c"}, {"n", "1"}});
  EXPECT_EQ(get->url()->absoluteString(), "http://api.test/list?q=a%20b%26c&n=1");
  auto post = request("http://api.test/list");
  post->setHTTPMethod("POST");
  tolva::OAParameterAdditions::setParameters(*post, {{"q", "é"}});
  EXPECT_EQ(post->HTTPBody()->view(), "q=%C3%A9");
  EXPECT_EQ(post->valueForHTTPHeaderField("Content-Length"), "8");
  EXPECT_EQ(post->valueForHTTPHeaderField("Content-Type"), "application/x-www-form-urlencoded");
}

TEST(OAuthSigningTest, TokenRepliesSplitAtTheFirstEqualsAndSkipBarePairs) {
  auto token = OAToken::tokenWithHTTPResponseBody(
      "oauth_token=ab%3Dc&junk&oauth_token_secret=s=1&oauth_session_handle=h%20x&oauth_expires_in=3600");
  EXPECT_EQ(token->key(), "ab=c");
  EXPECT_EQ(token->secret(), "s=1");
  EXPECT_EQ(token->sessionHandle(), "h x");
  EXPECT_EQ(OAToken::tokenWithHTTPResponseBody("")->key(), "");
}

TEST(OAuthSigningTest, EncodingKeepsOnlyTheUnreservedCharacters) {
  EXPECT_EQ(tolva::OAURLEncodingAdditions::URLEncodedString("Az09-._~ !*'();:@&=+$,/?%#[]\"é"),
            "Az09-._~%20%21%2A%27%28%29%3B%3A%40%26%3D%2B%24%2C%2F%3F%25%23%5B%5D%22%C3%A9");
  EXPECT_EQ(tolva::OAURLEncodingAdditions::URLDecodedString("a%20b%zz%4"), "a b%zz%4");
}

TEST(OAuthSigningTest, HMACAndBase64MatchTheirStandards) {
  tolva::OAHMAC_SHA1SignatureProvider hmac;
  EXPECT_EQ(hmac.signClearText("Hi There", std::string(20, '\x0b')), "thcxhlUFcmTii8C2+zeMjvFGvgA=");
  EXPECT_EQ(hmac.signClearText("what do ya want for nothing?", "Jefe"), "7/zfauXrL6LSdBbV8YTfnCWafHk=");
  EXPECT_EQ(hmac.signClearText(std::string(50, '\xdd'), std::string(20, '\xaa')), "El1zQrmsEc2Ro5r0iqF7T2PxddM=");

  const char* vectors[][2] = {{"", ""},          {"f", "Zg=="},         {"fo", "Zm8="},        {"foo", "Zm9v"},
                              {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}};
  for (auto& v : vectors) EXPECT_EQ(base64(v[0]), v[1]);
  // 54 bytes make exactly one 72-character line, which the line break follows.
  std::string line = base64(std::string(54, 'a'));
  EXPECT_EQ(line.size(), 74u);
  EXPECT_EQ(line.substr(72), "\r\n");
  EXPECT_EQ(base64(std::string(55, 'a')).substr(72, 2), "\r\n");

  char out[8] = "unused";
  size_t size = 7;
  EXPECT_FALSE(tolva::OABase64Encode(reinterpret_cast<const uint8_t*>("foobar"), 6, out, &size));
  EXPECT_STREQ(out, "unused") << "a short buffer gets nothing";
  EXPECT_EQ(size, 7u);
}

TEST(OAuthSigningTest, FetchersReportStatusesAndFailures) {
  tolvatest::TestHTTPServer server;
  server.route("GET", "/ok", tolvatest::TestResponse::ok("oauth_token=t&oauth_token_secret=s"));
  server.route("GET", "/denied", tolvatest::TestResponse::withStatus(401, "bad signature"));
  kit::RunLoop& loop = kit::RunLoop::main();

  struct Outcome {
    bool finished = false, failed = false, succeeded = false;
    std::string body;
  };
  auto fetch = [&](const std::string& url) {
    auto outcome = std::make_shared<Outcome>();
    auto fetcher = tolva::OAAsynchronousDataFetcher::asynchronousFetcherWithRequest(
        request(url),
        [outcome](tolva::OAServiceTicket& ticket, kit::Data* data) {
          outcome->finished = true;
          outcome->succeeded = ticket.didSucceed();
          outcome->body = data ? std::string(data->view()) : "";
        },
        [outcome](tolva::OAServiceTicket& ticket, kit::Error*) {
          outcome->failed = true;
          outcome->succeeded = ticket.didSucceed();
        });
    fetcher->start();
    fetcher = nullptr;  // the fetcher lives on until it has reported
    EXPECT_TRUE(loop.runUntil([&] { return outcome->finished || outcome->failed; }, 10));
    return *outcome;
  };
  Outcome ok = fetch(server.url("/ok"));
  EXPECT_TRUE(ok.finished && ok.succeeded);
  EXPECT_EQ(ok.body, "oauth_token=t&oauth_token_secret=s");
  ASSERT_FALSE(server.requests().empty());
  EXPECT_EQ(server.requests()[0].headers.value("Authorization").substr(0, 12), "OAuth realm=");

  Outcome denied = fetch(server.url("/denied"));
  EXPECT_TRUE(denied.finished);
  EXPECT_FALSE(denied.succeeded);
  EXPECT_EQ(denied.body, "bad signature");

  uint16_t port = server.port();
  server.stop();
  Outcome refused = fetch("http://127.0.0.1:" + std::to_string(port) + "/ok");
  EXPECT_TRUE(refused.failed);
  EXPECT_FALSE(refused.finished);

  bool syncFailed = false;
  tolva::OADataFetcher::fetchDataWithRequest(
      request("http://127.0.0.1:" + std::to_string(port) + "/ok"), [](tolva::OAServiceTicket&, kit::Data*) {},
      [&](tolva::OAServiceTicket& t, kit::Error* e) { syncFailed = !t.didSucceed() && e; });
  EXPECT_TRUE(syncFailed);
}

}  // namespace
