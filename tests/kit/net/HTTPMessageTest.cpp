#include "kit/net/HTTPMessage.h"

#include <gtest/gtest.h>

#include "kit/foundation/String.h"
#include "kit/net/NetError.h"

using namespace kit;

namespace {

Ref<HTTPMessage> get(const char* url, const char* version = HTTPMessage::kVersion1_1) {
  return HTTPMessage::requestWithMethod("GET", URL::URLWithString(url), version);
}

std::string dictValue(const Dictionary* d, const char* key) {
  auto* s = d->get<String>(key);
  return s ? s->str() : "<absent>";
}

}  // namespace

TEST(HTTPMessage, RequestNeedsTokenMethodURLAndKnownVersion) {
  EXPECT_TRUE(get("http://h/"));
  EXPECT_FALSE(HTTPMessage::requestWithMethod("GE T", URL::URLWithString("http://h/")));
  EXPECT_FALSE(HTTPMessage::requestWithMethod("", URL::URLWithString("http://h/")));
  EXPECT_FALSE(HTTPMessage::requestWithMethod("GET", nullptr));
  EXPECT_FALSE(HTTPMessage::requestWithMethod("GET", URL::URLWithString("http://h/"), "HTTP/2"));
}

TEST(HTTPMessage, HeaderFieldsIgnoreCaseAndSetReplacesEveryOccurrence) {
  auto m = get("http://h/");
  ASSERT_TRUE(m->addHeaderField("Accept", "a"));
  ASSERT_TRUE(m->addHeaderField("X-One", "1"));
  ASSERT_TRUE(m->addHeaderField("accept", "b"));
  EXPECT_EQ(m->headerField("ACCEPT").value(), "a, b");
  EXPECT_EQ(m->headerFieldValues("Accept"), (std::vector<std::string>{"a", "b"}));
  ASSERT_TRUE(m->setHeaderField("ACCEPT", "c"));
  // One field left, where the first one was, with the new spelling.
  ASSERT_EQ(m->headerFields().size(), 2u);
  EXPECT_EQ(m->headerFields()[0], (HTTPMessage::HeaderField{"ACCEPT", "c"}));
  m->removeHeaderField("x-one");
  EXPECT_FALSE(m->hasHeaderField("X-One"));
  EXPECT_FALSE(m->headerField("X-One").has_value());
  EXPECT_EQ(m->valueForHeaderField("X-One"), "");
}

TEST(HTTPMessage, FieldsThatWouldInjectLinesAreRefused) {
  auto m = get("http://h/");
  EXPECT_FALSE(m->setHeaderField("X", "a\r\nEvil: 1"));
  EXPECT_FALSE(m->addHeaderField("X", std::string("a\0b", 3)));
  EXPECT_FALSE(m->setHeaderField("Bad Name", "v"));
  EXPECT_FALSE(m->setHeaderField("Bad:Name", "v"));
  EXPECT_TRUE(m->headerFields().empty());
}

TEST(HTTPMessage, CanonicalNames) {
  EXPECT_EQ(HTTPMessage::canonicalHeaderName("content-length"), "Content-Length");
  EXPECT_EQ(HTTPMessage::canonicalHeaderName("CONTENT-TYPE"), "Content-Type");
  EXPECT_EQ(HTTPMessage::canonicalHeaderName("ETag"), "Etag");
  EXPECT_EQ(HTTPMessage::canonicalHeaderName("www-authenticate"), "Www-Authenticate");
}

TEST(HTTPMessage, RequestHeadInOriginAndAbsoluteForm) {
  auto m = get("http://User:pw@Example.com:8080/a%20b/c?q=1&r#frag");
  m->setHeaderField("Accept", "*/*");
  EXPECT_EQ(m->serializedRequestHead(),
            "GET /a%20b/c?q=1&r HTTP/1.1\r\nHost: example.com:8080\r\nAccept: */*\r\n\r\n");
  EXPECT_EQ(m->requestTarget(true), "http://example.com:8080/a%20b/c?q=1&r");

  // Default ports are left out, an empty path is "/", IPv6 literals keep their brackets.
  EXPECT_EQ(get("https://h.test:443")->serializedRequestHead(), "GET / HTTP/1.1\r\nHost: h.test\r\n\r\n");
  EXPECT_EQ(get("http://[::1]:81/x", HTTPMessage::kVersion1_0)->serializedRequestHead(),
            "GET /x HTTP/1.0\r\nHost: [::1]:81\r\n\r\n");
  // A Host given by the caller is kept as given.
  auto h = get("http://h/");
  h->setHeaderField("host", "other");
  EXPECT_EQ(h->serializedRequestHead(), "GET / HTTP/1.1\r\nhost: other\r\n\r\n");

  auto post = HTTPMessage::requestWithMethod("POST", URL::URLWithString("http://h/p"));
  post->setBody(Data::dataWithString("abc"));
  EXPECT_EQ(post->serializedRequest()->toString(), "POST /p HTTP/1.1\r\nHost: h\r\n\r\nabc");
}

TEST(HTTPMessage, ResponseBuiltFromBytesInPieces) {
  auto r = HTTPMessage::emptyResponse();
  const std::string text =
      "HTTP/1.1 404 Not Found\r\n"
      "Content-Type: text/plain\r\n"
      "Set-Cookie: a=1; Expires=Wed, 09 Jun 2021 10:18:14 GMT\r\n"
      "X-Folded: one\r\n"
      "  two\r\n"
      "no colon here\r\n"
      "set-cookie: b=2\r\n"
      "ETag: \"x\"\r\n"
      "\r\n"
      "body";
  for (char c : text) {
    ASSERT_TRUE(r->appendBytes(&c, 1));
    if (!r->isHeaderComplete()) {
      EXPECT_EQ(r->statusCode(), 0);
    }
  }
  ASSERT_TRUE(r->isHeaderComplete());
  EXPECT_EQ(r->statusCode(), 404);
  EXPECT_EQ(r->reasonPhrase(), "Not Found");
  EXPECT_EQ(r->version(), "HTTP/1.1");
  EXPECT_EQ(r->statusLine(), "HTTP/1.1 404 Not Found");
  EXPECT_EQ(r->valueForHeaderField("x-folded"), "one two");
  EXPECT_EQ(r->setCookieHeaders(),
            (std::vector<std::string>{"a=1; Expires=Wed, 09 Jun 2021 10:18:14 GMT", "b=2"}));
  auto all = r->allHeaderFields();
  EXPECT_EQ(all->count(), 4u);
  EXPECT_EQ(dictValue(all, "Set-Cookie"), "a=1; Expires=Wed, 09 Jun 2021 10:18:14 GMT, b=2");
  EXPECT_EQ(dictValue(all, "Etag"), "\"x\"");
  ASSERT_TRUE(r->body());
  EXPECT_EQ(r->body()->toString(), "body");
}

TEST(HTTPMessage, ResponseHeadWithBareLineFeedsAndNoReason) {
  auto r = HTTPMessage::responseWithHead("HTTP/1.0 200\nA: b\n\n");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->statusCode(), 200);
  EXPECT_EQ(r->reasonPhrase(), "");
  EXPECT_TRUE(r->isVersion1_0());
  EXPECT_EQ(r->valueForHeaderField("a"), "b");
}

TEST(HTTPMessage, MalformedStatusLinesAreErrors) {
  for (const char* head : {"HTTP/2 200 OK\r\n\r\n", "HTTP/1.1 20 OK\r\n\r\n", "ICY 200 OK\r\n\r\n",
                           "HTTP/1.1 200OK\r\n\r\n", "HTTP/1.1 099 Low\r\n\r\n", "\r\n\r\n"}) {
    Ref<Error> error;
    EXPECT_FALSE(HTTPMessage::responseWithHead(head, &error)) << head;
    EXPECT_TRUE(NetError::is(error, NetError::kProtocolError)) << head;
  }
  auto r = HTTPMessage::emptyResponse();
  EXPECT_FALSE(r->appendBytes("garbage\r\n\r\n", 11));
  EXPECT_TRUE(r->parseError());
  EXPECT_FALSE(r->appendBytes("HTTP/1.1 200 OK\r\n\r\n", 19));  // stays failed
}

TEST(HTTPMessage, OverlongHeadIsRefused) {
  auto r = HTTPMessage::emptyResponse();
  std::string line = "HTTP/1.1 200 OK\r\nX: " + std::string(HTTPMessage::kMaximumHeadLength, 'a');
  EXPECT_FALSE(r->appendBytes(line.data(), line.size()));
  EXPECT_FALSE(r->isHeaderComplete());
}

TEST(HTTPMessage, HeaderTokensAndCopies) {
  auto r = HTTPMessage::responseWithHead("HTTP/1.1 200 OK\r\nConnection: Keep-Alive, Upgrade\r\n\r\n");
  EXPECT_TRUE(r->hasHeaderToken("connection", "keep-alive"));
  EXPECT_TRUE(r->hasHeaderToken("Connection", "upgrade"));
  EXPECT_FALSE(r->hasHeaderToken("Connection", "close"));
  auto c = r->copyMessage();
  c->setHeaderField("Connection", "close");
  EXPECT_FALSE(r->hasHeaderToken("Connection", "close"));
  EXPECT_EQ(c->statusCode(), 200);
}
