// Response text in the charsets servers name, through the system's converters.

#include "http/HttpRequestTestSupport.h"
#include "support/TestHTTPServer.h"

using namespace tolva;
using namespace tolvatest;
using kit::Ref;

namespace {

std::string decode(const std::string& bytes, const std::string& charset) {
  unsigned encoding = HttpRequest::encodingForCharsetName(charset);
  if (!encoding) encoding = HttpRequest::kISOLatin1StringEncoding;
  return HttpRequest::decodeText(kit::Data::dataWithBytes(bytes.data(), bytes.size()), encoding);
}

TEST(HttpTextDecodingTest, EveryCharsetAServerMayName) {
  EXPECT_EQ(decode("\xa3\xf3\x64\xbc", "ISO-8859-2"), "\xc5\x81\xc3\xb3\x64\xc5\xba");            // Łódź
  EXPECT_EQ(decode("\xf0\xd2\xc9\xd7\xc5\xd4", "KOI8-R"), "\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82");  // Привет
  EXPECT_EQ(decode("\x93\xfa\x96\x7b", "Shift_JIS"), "\xe6\x97\xa5\xe6\x9c\xac");                 // 日本
  EXPECT_EQ(decode("\xd6\xd0\xce\xc4", "GB18030"), "\xe4\xb8\xad\xe6\x96\x87");                   // 中文
  EXPECT_EQ(decode("\xa4\xa4", "euc-jp"), decode("\xa4\xa4", "EUC-JP"));
  EXPECT_EQ(decode("caf\xe9", "windows-1252"), "caf\xc3\xa9");
  EXPECT_EQ(decode(std::string("\xff\xfeh\0i\0", 6), "utf-16"), "hi");
  EXPECT_EQ(decode(std::string("\xfe\xff\0h\0i", 6), "UTF-16"), "hi");
  EXPECT_EQ(decode(std::string("h\0i\0", 4), "utf-16"), "hi");
  EXPECT_EQ(decode(std::string("\0h\0i", 4), "utf-16"), "hi");
  EXPECT_EQ(decode(std::string("h\0i\0", 4), "UTF-16LE"), "hi");
  EXPECT_EQ(decode(std::string("\0\0\0h", 4), "utf-32be"), "h");
  // A broken sequence becomes U+FFFD and the rest is still read.
  EXPECT_EQ(decode("a\x82\x20" "b", "Shift_JIS").rfind("a\xef\xbf\xbd", 0), 0u);
  // Names nobody knows fall back to the default (ISO Latin-1); odd names are not tried.
  EXPECT_EQ(HttpRequest::encodingForCharsetName("x-no-such-charset"), 0u);
  EXPECT_EQ(HttpRequest::encodingForCharsetName("../../etc/passwd"), 0u);
  EXPECT_EQ(decode("caf\xe9", "x-no-such-charset"), "caf\xc3\xa9");
  // The same name gets the same number each time.
  EXPECT_EQ(HttpRequest::encodingForCharsetName("koi8-u"), HttpRequest::encodingForCharsetName("KOI8-U"));
}

class HttpTextResponseTest : public HttpRequestTest {};

TEST_F(HttpTextResponseTest, ResponseStringUsesTheNamedCharset) {
  TestHTTPServer server;
  server.route("GET", "/koi", TestResponse::ok("\xf0\xd2\xc9\xd7\xc5\xd4", "text/plain; charset=\"koi8-r\""));
  server.route("GET", "/plain", TestResponse::ok("caf\xe9", "text/plain; charset=unheard-of"));
  Ref<HttpRequest> r = HttpRequest::requestWithURL(U(server.url("/koi")));
  r->startSynchronous();
  EXPECT_EQ(r->responseString(), "\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82");
  r = HttpRequest::requestWithURL(U(server.url("/plain")));
  r->startSynchronous();
  EXPECT_EQ(r->responseEncoding(), HttpRequest::kISOLatin1StringEncoding);
  EXPECT_EQ(r->responseString(), "caf\xc3\xa9");
}

}  // namespace
