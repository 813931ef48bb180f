#include <gtest/gtest.h>
#include <zlib.h>

#include "kit/foundation/String.h"
#include "kit/net/HTTPURLResponse.h"
#include "kit/net/URLContentDecoder.h"
#include "support/TestCodec.h"

using namespace kit;

namespace {

Ref<HTTPURLResponse> response(const std::string& url, HTTPURLResponse::HeaderFields fields) {
  return HTTPURLResponse::responseWithURL(URL::URLWithString(url), 200, "HTTP/1.1", std::move(fields));
}

std::string rawDeflate(const std::string& text) {
  z_stream z{};
  deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  std::string out(compressBound(text.size()) + 16, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  z.avail_in = uInt(text.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = uInt(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

// Feeds the coded bytes one at a time, the worst split a network can make.
std::optional<std::string> decodeBytewise(const char* coding, const std::string& coded) {
  auto decoder = URLContentDecoder::decoderForContentEncoding(coding);
  if (!decoder) return std::nullopt;
  std::string out;
  for (char c : coded)
    if (!decoder->decode(&c, 1, &out)) return std::nullopt;
  if (!decoder->finish()) return std::nullopt;
  return out;
}

}  // namespace

TEST(URLLoadingResponse, HeaderFieldsGiveTypeLengthAndFileName) {
  auto r = response("http://example.com/dir/report%20final.pdf?x=1",
                    {{"content-type", "Application/PDF ; charset=\"utf-8\"; q=1"},
                     {"Content-Length", "1234"},
                     {"X-Multi", "a"},
                     {"x-multi", "b"}});
  EXPECT_EQ(r->MIMEType(), "application/pdf");
  EXPECT_EQ(r->textEncodingName(), "utf-8");
  EXPECT_EQ(r->expectedContentLength(), 1234);
  EXPECT_EQ(r->suggestedFilename(), "report final.pdf");
  EXPECT_EQ(r->valueForHTTPHeaderField("X-MULTI"), "a, b");
  EXPECT_EQ(r->allHeaderFields()->get<String>("Content-Type")->str(), "Application/PDF ; charset=\"utf-8\"; q=1");
  EXPECT_TRUE(r->allHeaderFields()->get<String>("X-Multi"));

  auto bare = response("http://example.com/", {{"Content-Length", "12x"}});
  EXPECT_EQ(bare->MIMEType(), "application/octet-stream");
  EXPECT_EQ(bare->expectedContentLength(), URLResponse::kUnknownLength);
  EXPECT_EQ(bare->suggestedFilename(), "Unknown");
}

TEST(URLLoadingResponse, SuggestedFileNamesNeverLeaveTheFolder) {
  struct Case {
    std::string disposition, expected;
  };
  for (const auto& c : std::vector<Case>{
           {"attachment; filename=\"plain.txt\"", "plain.txt"},
           {"attachment; filename=token.bin", "token.bin"},
           {"attachment; filename=\"a.txt\"; filename*=UTF-8''%E2%82%AC%20rates.txt", "\xE2\x82\xAC rates.txt"},
           {"attachment; filename=\"../../etc/passwd\"", ".._.._etc_passwd"},
           {"attachment; filename=\"..\"", "download"},
           {"attachment; filename=\"dir\\\\evil\"", "dir_evil"},
           {"attachment; filename=\"line\rbreak\"", "line_break"},
           {"inline", "download"},
       }) {
    auto r = response("http://example.com/download", {{"Content-Disposition", c.disposition}});
    EXPECT_EQ(r->suggestedFilename(), c.expected) << c.disposition;
  }
}

TEST(URLLoadingResponse, StatusTexts) {
  EXPECT_EQ(HTTPURLResponse::localizedStringForStatusCode(200), "no error");
  EXPECT_EQ(HTTPURLResponse::localizedStringForStatusCode(404), "not found");
  EXPECT_EQ(HTTPURLResponse::localizedStringForStatusCode(299), "success");
  EXPECT_EQ(HTTPURLResponse::localizedStringForStatusCode(451), "client error");
  EXPECT_EQ(HTTPURLResponse::localizedStringForStatusCode(599), "server error");
}

TEST(URLLoadingResponse, DecoderHandlesEveryCodingAndSplit) {
  std::string text;
  for (int i = 0; i < 3000; ++i) text += std::to_string(i * 7919 % 1000) + ",";
  using tolvatest::TestCodec;
  EXPECT_EQ(decodeBytewise("gzip", TestCodec::gzip(text)), text);
  EXPECT_EQ(decodeBytewise("X-GZIP", TestCodec::gzip(text)), text);
  EXPECT_EQ(decodeBytewise("deflate", TestCodec::deflate(text)), text);
  EXPECT_EQ(decodeBytewise("deflate", rawDeflate(text)), text);
  // Concatenated gzip members make one body.
  EXPECT_EQ(decodeBytewise("gzip", TestCodec::gzip("first ") + TestCodec::gzip("second")), "first second");
  // Broken and cut-off data are failures, not short bodies.
  std::string coded = TestCodec::gzip(text);
  EXPECT_FALSE(decodeBytewise("gzip", coded.substr(0, coded.size() / 2)));
  coded[coded.size() / 2] ^= 0x55;
  EXPECT_FALSE(decodeBytewise("gzip", coded));
  EXPECT_FALSE(decodeBytewise("gzip", "plain text"));
  // Identity and unknown codings are passed on untouched.
  EXPECT_FALSE(URLContentDecoder::decoderForContentEncoding("identity"));
  EXPECT_FALSE(URLContentDecoder::decoderForContentEncoding("br"));
  // An empty coded body is an empty body.
  EXPECT_TRUE(URLContentDecoder::decoderForContentEncoding("gzip")->finish());
}
