// The web sharers' request and the XML reply reader.
#include <gtest/gtest.h>

#include <memory>

#include "kit/foundation/RunLoop.h"
#include "kit/foundation/String.h"
#include "share/services/ShareRequest.h"
#include "share/services/ShareXMLResponseParser.h"
#include "support/TestHTTPServer.h"

namespace {

using kit::Ref;
using tolva::ShareRequest;
using tolva::ShareXMLResponseParser;

std::string valueOf(const std::string& element, const std::string& xml) {
  Ref<kit::Object> v = ShareXMLResponseParser::getValueForElement(element, kit::Data::dataWithString(xml).get());
  if (!v) return "<nil>";
  if (auto* s = dynamic_cast<kit::String*>(v.get())) return s->str();
  return "<dict>";
}

TEST(ShareXMLResponseParserTest, ValuesAttributesAndTheParsersQuirks) {
  EXPECT_EQ(valueOf("error", "<hash><request>/x</request><error>  Bad\ttoken  </error></hash>"), "<dict>")
      << "the end of \"error\" stores nothing: its attributes stay";
  EXPECT_EQ(valueOf("request", "<hash><request>  /1/statuses.xml </request></hash>"), "/1/statuses.xml");
  // The 401 found inside the attributes stored at the start of "error".
  EXPECT_EQ(valueOf("code", "<errors><error code=\"401\">Could not authenticate</error></errors>"), "401");
  // A parent takes its last child's text and what followed it.
  EXPECT_EQ(valueOf("outer", "<outer><a>first</a><b>second</b>\n</outer>"), "second\n");
  EXPECT_EQ(valueOf("empty", "<r><empty/></r>"), "<dict>");
  EXPECT_EQ(valueOf("missing", "<r><a>1</a></r>"), "<nil>");
  EXPECT_EQ(valueOf("a", "<r><a>1</a>"), "<nil>") << "not well-formed";
  EXPECT_EQ(valueOf("a", ""), "<nil>");
  EXPECT_EQ(valueOf("t", "<r><t>a &amp; b</t></r>"), "a & b");
}

TEST(ShareXMLResponseParserTest, EntitiesAreNeitherExpandedNorFetched) {
  std::string laughs =
      "<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">"
      "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\"><!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;\">]>"
      "<r><v>&d;</v></r>";
  std::string v = valueOf("v", laughs);
  EXPECT_EQ(v.find("aaaa"), std::string::npos) << v.size();
  std::string external =
      "<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY x SYSTEM \"file:///etc/passwd\">]><r><v>&x;</v></r>";
  EXPECT_EQ(valueOf("v", external).find("root"), std::string::npos);
}

TEST(ShareRequestTest, PostsTheParamsAsGivenAndCountsOnly200And201) {
  tolvatest::TestHTTPServer server;
  server.route("POST", "/ok", tolvatest::TestResponse::ok("done"));
  server.route("POST", "/created", tolvatest::TestResponse::withStatus(201, "made"));
  server.route("POST", "/empty", tolvatest::TestResponse::withStatus(204));
  server.route("GET", "/moved", tolvatest::TestResponse::withStatus(401, "who?"));
  kit::RunLoop& loop = kit::RunLoop::main();
  std::string lastText;

  auto send = [&](const std::string& path, const std::string& params, const std::string& method = "POST",
                  Ref<kit::Dictionary> headers = nullptr) {
    auto finished = std::make_shared<int>(0);
    auto success = std::make_shared<bool>(false);
    auto status = std::make_shared<int>(-1);
    auto text = std::make_shared<std::string>();
    Ref<ShareRequest> r(new ShareRequest(
        kit::URL::URLWithString(server.url(path)), params,
        [=](ShareRequest& req) {
          ++*finished;
          *success = req.success();
          *status = req.statusCode();
          *text = req.getResult();
          EXPECT_EQ(req.error(), nullptr) << "an answer came";
        },
        method, false));
    r->setHeaderFields(headers);
    r->start();
    r = nullptr;  // alive until it has reported
    EXPECT_TRUE(loop.runUntil([&] { return *finished > 0; }, 10));
    EXPECT_EQ(*finished, 1);
    lastText = *text;
    return std::make_pair(*success, *status);
  };
  EXPECT_EQ(send("/ok", "a=%C3%A9&b=x y&c=é"), std::make_pair(true, 200));
  EXPECT_EQ(lastText, "done");
  const auto recorded = server.requests().back();
  EXPECT_EQ(recorded.body, "a=%C3%A9&b=x y&c=\xc3\xa9");
  EXPECT_EQ(recorded.headers.value("Content-Type"), "application/x-www-form-urlencoded");
  EXPECT_EQ(send("/created", "x=1"), std::make_pair(true, 201));
  EXPECT_EQ(send("/empty", "x=1"), std::make_pair(false, 204));
  // Without params: a GET whatever the method, no body.
  EXPECT_EQ(send("/moved", "", "POST"), std::make_pair(false, 401));
  EXPECT_EQ(lastText, "who?");
  EXPECT_EQ(server.requests().back().method, "GET");

  Ref<kit::MutableDictionary> headers = kit::MutableDictionary::dictionary();
  headers->setObject(kit::String::string("application/json"), "Content-Type");
  send("/ok", "{}", "POST", headers);
  EXPECT_EQ(server.requests().back().headers.value("Content-Type"), "application/json");

  uint16_t port = server.port();
  server.stop();
  auto finished = std::make_shared<bool>(false);
  Ref<ShareRequest> refused(new ShareRequest(
      kit::URL::URLWithString("http://127.0.0.1:" + std::to_string(port) + "/ok"), "x=1",
      [=](ShareRequest& req) {
        *finished = true;
        EXPECT_FALSE(req.success());
        EXPECT_EQ(req.statusCode(), 0);
        EXPECT_NE(req.description().find("response: 0"), std::string::npos);
        // No answer: the connection's error says why.
        ASSERT_TRUE(req.error());
        EXPECT_EQ(req.error()->domain(), "NSURLErrorDomain");
        EXPECT_EQ(req.error()->code(), -1004);
      },
      "POST", true));
  EXPECT_TRUE(loop.runUntil([&] { return *finished; }, 10));
}

}  // namespace
