#include "kit/net/HTTPResponseParser.h"

#include <gtest/gtest.h>

#include "kit/net/NetError.h"

using namespace kit;

namespace {

struct Fed {
  bool ok = true;
  std::string body;
};

// Feeds the text in pieces of `step` bytes.
Fed feed(HTTPResponseParser& p, const std::string& text, size_t step = 0) {
  Fed f;
  if (!step) step = text.size() ? text.size() : 1;
  for (size_t i = 0; i < text.size() && f.ok; i += step) f.ok = p.feed(text.data() + i, std::min(step, text.size() - i), f.body);
  return f;
}

}  // namespace

TEST(HTTPResponseParser, ContentLengthFramingAndSurplus) {
  for (size_t step : {0u, 1u, 3u}) {
    HTTPResponseParser p("GET");
    Fed f = feed(p, "HTTP/1.1 200 OK\r\nContent-Length: 010\r\n\r\n0123456789EXTRA", step);
    ASSERT_TRUE(f.ok);
    EXPECT_TRUE(p.messageComplete());
    EXPECT_EQ(p.framing(), HTTPResponseParser::Framing::Length);
    EXPECT_EQ(p.contentLength(), 10);  // "010" is decimal ten
    EXPECT_EQ(f.body, "0123456789");
    EXPECT_EQ(p.surplusBytes(), 5u);
  }
}

TEST(HTTPResponseParser, BadOrConflictingContentLengthIsAProtocolError) {
  for (const char* value : {"1x", "-1", "+5", "0x10", "", "5 5", "99999999999999999999", "5, 6"}) {
    HTTPResponseParser p("GET");
    Fed f = feed(p, std::string("HTTP/1.1 200 OK\r\nContent-Length: ") + value + "\r\n\r\n");
    EXPECT_FALSE(f.ok) << value;
    EXPECT_TRUE(NetError::is(p.error(), NetError::kProtocolError)) << value;
  }
  HTTPResponseParser twice("GET");
  EXPECT_FALSE(feed(twice, "HTTP/1.1 200 OK\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\n").ok);
  HTTPResponseParser same("GET");
  Fed f = feed(same, "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nContent-Length: 2, 2\r\n\r\nab");
  EXPECT_TRUE(f.ok);
  EXPECT_TRUE(same.messageComplete());
}

TEST(HTTPResponseParser, ChunkedWithExtensionsAndTrailersInAnyPieces) {
  const std::string text =
      "HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip, Chunked\r\n\r\n"
      "5;name=value\r\nhello\r\n"
      "0006 \r\n world\r\n"
      "0\r\nX-Checksum: 42\r\nX-Other:  a b \r\n\r\n";
  for (size_t step : {0u, 1u, 2u, 7u}) {
    HTTPResponseParser p("GET");
    Fed f = feed(p, text, step);
    ASSERT_TRUE(f.ok) << step;
    EXPECT_TRUE(p.messageComplete());
    EXPECT_EQ(f.body, "hello world");
    ASSERT_EQ(p.trailers().size(), 2u);
    EXPECT_EQ(p.trailers()[0], (HTTPMessage::HeaderField{"X-Checksum", "42"}));
    EXPECT_EQ(p.trailers()[1].value, "a b");
  }
}

TEST(HTTPResponseParser, BrokenChunksAreProtocolErrors) {
  for (const char* body : {"zz\r\n", "\r\n", "3\r\nabcd\r\n", "10000000000000000\r\n"}) {
    HTTPResponseParser p("GET");
    Fed f = feed(p, std::string("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n") + body);
    EXPECT_FALSE(f.ok) << body;
  }
}

TEST(HTTPResponseParser, TransferEncodingWinsOverContentLengthButMarksItAmbiguous) {
  HTTPResponseParser p("GET");
  Fed f = feed(p, "HTTP/1.1 200 OK\r\nContent-Length: 100\r\nTransfer-Encoding: chunked\r\n\r\n1\r\na\r\n0\r\n\r\n");
  ASSERT_TRUE(f.ok);
  EXPECT_TRUE(p.messageComplete());
  EXPECT_EQ(f.body, "a");
  EXPECT_TRUE(p.ambiguousFraming());
}

TEST(HTTPResponseParser, CloseDelimitedEndsWithTheConnection) {
  HTTPResponseParser p("GET");
  Fed f = feed(p, "HTTP/1.0 200 OK\r\n\r\nall of it");
  ASSERT_TRUE(f.ok);
  EXPECT_FALSE(p.messageComplete());
  EXPECT_TRUE(p.feedEndOfStream());
  EXPECT_TRUE(p.messageComplete());
  EXPECT_EQ(f.body, "all of it");
  EXPECT_EQ(p.framing(), HTTPResponseParser::Framing::Close);

  HTTPResponseParser cut("GET");
  ASSERT_TRUE(feed(cut, "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nshort").ok);
  EXPECT_FALSE(cut.feedEndOfStream());
  EXPECT_TRUE(NetError::is(cut.error(), NetError::kConnectionLost));

  HTTPResponseParser nothing("GET");
  EXPECT_FALSE(nothing.feedEndOfStream());
  EXPECT_FALSE(nothing.receivedAnyBytes());
}

TEST(HTTPResponseParser, InterimResponsesAreSkipped) {
  HTTPResponseParser p("POST");
  Fed f = feed(p,
               "HTTP/1.1 100 Continue\r\n\r\n"
               "HTTP/1.1 103 Early Hints\r\nLink: </s.css>\r\n\r\n"
               "HTTP/1.1 201 Created\r\nContent-Length: 2\r\n\r\nok",
               5);
  ASSERT_TRUE(f.ok);
  EXPECT_EQ(p.interimResponses(), 2);
  EXPECT_EQ(p.response()->statusCode(), 201);
  EXPECT_FALSE(p.response()->hasHeaderField("Link"));
  EXPECT_EQ(f.body, "ok");

  HTTPResponseParser upgrade("GET");
  EXPECT_FALSE(feed(upgrade, "HTTP/1.1 101 Switching Protocols\r\n\r\n").ok);
}

TEST(HTTPResponseParser, NoBodyForHeadAnd204And304) {
  struct Case {
    const char* method;
    const char* status;
  } cases[] = {{"HEAD", "200 OK"}, {"head", "200 OK"}, {"GET", "204 No Content"}, {"GET", "304 Not Modified"}};
  for (auto& c : cases) {
    HTTPResponseParser p(c.method);
    Fed f = feed(p, std::string("HTTP/1.1 ") + c.status + "\r\nContent-Length: 5\r\n\r\n");
    ASSERT_TRUE(f.ok);
    EXPECT_TRUE(p.messageComplete()) << c.method << " " << c.status;
    EXPECT_EQ(p.framing(), HTTPResponseParser::Framing::None);
    EXPECT_EQ(f.body, "");
  }
}

TEST(HTTPResponseParser, HeadTooLongOrGarbageFails) {
  HTTPResponseParser p("GET");
  std::string big = "HTTP/1.1 200 OK\r\n";
  for (int i = 0; i < 2000; ++i) big += "X-Filler: " + std::string(40, 'x') + "\r\n";
  EXPECT_FALSE(feed(p, big, 1000).ok);

  HTTPResponseParser g("GET");
  EXPECT_FALSE(feed(g, "<html>hello</html>\r\n\r\n").ok);
  EXPECT_TRUE(NetError::is(g.error(), NetError::kProtocolError));
}

TEST(HTTPResponseParser, DecodingInPlaceMatchesCopyingAtAnySplit) {
  const std::string texts[] = {
      "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 12\r\n\r\nhello world!surplus",
      "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5;x=y\r\nhello\r\n1\r\n \r\n0006\r\nworld!\r\n"
      "0\r\nX-T: 1\r\n\r\n",
      "HTTP/1.0 200 OK\r\n\r\nup to the close",
      "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabcd\r\n",  // a broken chunk
  };
  uint32_t seed = 7;
  for (const std::string& text : texts) {
    for (int round = 0; round < 50; ++round) {
      HTTPResponseParser copying("GET"), inPlace("GET");
      std::string copied, decoded;
      bool copyOK = true, inPlaceOK = true;
      for (size_t at = 0; at < text.size() && copyOK && inPlaceOK;) {
        seed = seed * 1103515245 + 12345;
        const size_t n = std::min<size_t>(text.size() - at, 1 + (seed >> 16) % 9);
        copyOK = copying.feed(text.data() + at, n, copied);
        std::string piece = text.substr(at, n);
        size_t body = 0;
        inPlaceOK = inPlace.feedInPlace(piece.data(), n, &body);
        ASSERT_LE(body, n);
        decoded.append(piece.data(), body);
        at += n;
      }
      EXPECT_EQ(copyOK, inPlaceOK) << text;
      EXPECT_EQ(copied, decoded) << text;
      EXPECT_EQ(copying.messageComplete(), inPlace.messageComplete()) << text;
      EXPECT_EQ(copying.surplusBytes(), inPlace.surplusBytes()) << text;
      EXPECT_EQ(copying.trailers().size(), inPlace.trailers().size()) << text;
    }
  }
}
