// Form bodies byte for byte, as the loopback server receives them.

#include "http/HttpFormDataRequest.h"
#include "http/HttpRequestTestSupport.h"
#include "support/TestHTTPServer.h"

using namespace tolva;
using namespace tolvatest;
using kit::Ref;

namespace {

class HttpFormDataRequestTest : public HttpRequestTest {
 protected:
  void SetUp() override {
    HttpRequestTest::SetUp();
    server.route("*", "/form", TestResponse::ok("thanks"));
  }
  Ref<HttpFormDataRequest> form() { return HttpFormDataRequest::requestWithURL(U(server.url("/form"))); }
  RecordedRequest send(HttpFormDataRequest* r) {
    r->startSynchronous();
    EXPECT_FALSE(r->error()) << r->error()->localizedDescription();
    auto last = server.lastRequest();
    return last ? *last : RecordedRequest{};
  }
  static Ref<kit::Data> bytes(const std::string& s) { return kit::Data::dataWithBytes(s.data(), s.size()); }

  TestHTTPServer server;
};

TEST_F(HttpFormDataRequestTest, URLEncodedFieldsAreEscapedAndJoined) {
  Ref<HttpFormDataRequest> r = form();
  r->addPostValue("1", "a");
  r->addPostValue("x y", "b");
  r->addPostValue("&=+/~*\xc3\xbc", "c&d");
  RecordedRequest seen = send(r);
  EXPECT_EQ(seen.method, "POST");
  EXPECT_EQ(seen.body, "a=1&b=x%20y&c%26d=%26%3D%2B%2F%7E%2A%C3%BC");
  EXPECT_EQ(seen.headers.value("Content-Type"), "application/x-www-form-urlencoded; charset=utf-8");
  EXPECT_EQ(seen.headers.value("Content-Length"), std::to_string(seen.body.size()));

  Ref<HttpFormDataRequest> latin = form();
  latin->setStringEncoding(HttpRequest::kISOLatin1StringEncoding);
  latin->addPostValue("\xc3\xbc\xe2\x82\xac", "k");
  EXPECT_EQ(send(latin).body, "k=%FC%3F");

  // Any encoding the system can write is used and named; one it cannot write fails clearly.
  Ref<HttpFormDataRequest> sjis = form();
  sjis->setStringEncoding(8);
  sjis->addPostValue("\xe6\x97\xa5\xe6\x9c\xac", "k");
  RecordedRequest sjisSeen = send(sjis);
  EXPECT_EQ(sjisSeen.body, "k=%93%FA%96%7B");
  EXPECT_EQ(sjisSeen.headers.value("Content-Type"), "application/x-www-form-urlencoded; charset=shift_jis");
  Ref<HttpFormDataRequest> koi = form();
  koi->setStringEncoding(HttpRequest::encodingForCharsetName("KOI8-R"));
  koi->setPostFormat(MultipartFormDataPostFormat);
  koi->addPostValue("\xd0\xb4\xd0\xb0", "k");
  RecordedRequest koiSeen = send(koi);
  EXPECT_NE(koiSeen.body.find("\r\n\r\n\xc4\xc1\r\n"), std::string::npos);
  EXPECT_EQ(koiSeen.headers.value("Content-Type").rfind("multipart/form-data; charset=koi8-r; boundary=", 0), 0u);
  // Windows code pages go by their registered labels.
  EXPECT_EQ(HttpRequest::charsetNameForEncoding(11), "windows-1251");
  EXPECT_EQ(HttpRequest::charsetNameForEncoding(HttpRequest::kWindowsCP1252StringEncoding), "windows-1252");
  EXPECT_EQ(HttpRequest::charsetNameForEncoding(30), "macintosh");
  const size_t before = server.requestCount();
  Ref<HttpFormDataRequest> unknown = form();
  unknown->setStringEncoding(0x7eadbeef);
  unknown->addPostValue("v", "k");
  unknown->startSynchronous();
  ASSERT_TRUE(unknown->error());
  EXPECT_EQ(unknown->error()->code(), kInternalErrorWhileBuildingRequestType);
  EXPECT_EQ(unknown->error()->localizedDescription(), "The form cannot be sent: text encoding 2125315823 cannot be written");
  EXPECT_EQ(server.requestCount(), before);
  // Nor is one that writes the body's ASCII structure otherwise.
  for (const char* wide : {"UTF-16", "UTF-16LE", "UTF-32BE"}) {
    for (auto format : {URLEncodedPostFormat, MultipartFormDataPostFormat}) {
      Ref<HttpFormDataRequest> r = form();
      r->setStringEncoding(HttpRequest::encodingForCharsetName(wide));
      r->setPostFormat(format);
      r->addPostValue("v", "k");
      r->startSynchronous();
      ASSERT_TRUE(r->error()) << wide;
      EXPECT_EQ(r->error()->code(), kInternalErrorWhileBuildingRequestType);
    }
  }
  EXPECT_EQ(server.requestCount(), before);

  // setPostValue leaves one field with the key, placed last.
  Ref<HttpFormDataRequest> set = form();
  set->addPostValue("1", "dup");
  set->addPostValue("x", "other");
  set->addPostValue("2", "dup");
  set->setPostValue("3", "dup");
  EXPECT_EQ(send(set).body, "other=x&dup=3");
}

TEST_F(HttpFormDataRequestTest, MultipartBodyWithFieldsAndFileParts) {
  const std::string path = tmp("notes.txt");
  kit::FileManager::writeFile(path, "file bytes\n");
  Ref<HttpFormDataRequest> r = form();
  r->setPostFormat(MultipartFormDataPostFormat);
  r->addPostValue("v1", "f1");
  r->addPostValue("line one\r\nline two", "f2");
  r->addFile(path, "upload");
  r->addData(bytes(std::string("\0\x01\x02", 3)), "blob");
  r->addData(bytes("<svg/>"), "pic.svg", "image/svg+xml", "image");
  RecordedRequest seen = send(r);
  const std::string b = "0xKhTmLbOuNdArY";
  EXPECT_EQ(seen.headers.value("Content-Type"), "multipart/form-data; charset=utf-8; boundary=" + b);
  const std::string expected =
      "--" + b + "\r\n" +
      "Content-Disposition: form-data; name=\"f1\"\r\n\r\nv1\r\n--" + b + "\r\n" +
      "Content-Disposition: form-data; name=\"f2\"\r\n\r\nline one\r\nline two\r\n--" + b + "\r\n" +
      "Content-Disposition: form-data; name=\"upload\"; filename=\"notes.txt\"\r\nContent-Type: text/plain\r\n\r\n"
      "file bytes\n\r\n--" + b + "\r\n" +
      "Content-Disposition: form-data; name=\"blob\"; filename=\"file\"\r\nContent-Type: application/octet-stream\r\n\r\n" +
      std::string("\0\x01\x02", 3) + "\r\n--" + b + "\r\n" +
      "Content-Disposition: form-data; name=\"image\"; filename=\"pic.svg\"\r\nContent-Type: image/svg+xml\r\n\r\n<svg/>"
      "\r\n--" + b + "--\r\n";
  EXPECT_EQ(seen.body, expected);
}

TEST_F(HttpFormDataRequestTest, OnlyFilesAndAFileSwitchesURLEncodingToMultipart) {
  Ref<HttpFormDataRequest> r = form();
  r->addPostValue("ignored?", "x");
  r->setPostValue("kept", "x");
  r->addData(bytes("A"), "one.bin", "application/x-a", "a");
  r->setData(bytes("B"), "b");
  EXPECT_EQ(r->postFormat(), URLEncodedPostFormat);
  RecordedRequest seen = send(r);
  EXPECT_EQ(r->postFormat(), MultipartFormDataPostFormat);
  const std::string b = "0xKhTmLbOuNdArY";
  EXPECT_EQ(seen.body.rfind("--" + b + "\r\nContent-Disposition: form-data; name=\"x\"\r\n\r\nkept\r\n--" + b + "\r\n", 0), 0u);
  EXPECT_EQ(seen.body.substr(seen.body.size() - (b.size() + 8)), "\r\n--" + b + "--\r\n");

  Ref<HttpFormDataRequest> files = form();
  files->addData(bytes("1"), "a");
  files->addData(bytes("2"), "b");
  const std::string body = send(files).body;
  EXPECT_EQ(body.rfind("--" + b + "\r\n", 0), 0u);
  EXPECT_NE(body.find("1\r\n--" + b + "\r\nContent-Disposition"), std::string::npos);
  EXPECT_NE(body.find("2\r\n--" + b + "--\r\n"), std::string::npos);
}

TEST_F(HttpFormDataRequestTest, QuotesAndLineBreaksInNamesCannotBreakOutAndTheBoundaryNeverOccursInTheContent) {
  Ref<HttpFormDataRequest> r = form();
  r->setPostFormat(MultipartFormDataPostFormat);
  r->addPostValue("value holding --0xKhTmLbOuNdArY--", "we\"ird\r\nX-Injected: 1");
  r->addData(bytes("data"), "a\".txt\r\n", "text/plain", "k");
  RecordedRequest seen = send(r);
  const std::string b = r->boundary();
  EXPECT_NE(b, "0xKhTmLbOuNdArY");
  EXPECT_EQ(seen.headers.value("Content-Type"), "multipart/form-data; charset=utf-8; boundary=" + b);
  EXPECT_NE(seen.body.find("name=\"we%22ird%0D%0AX-Injected: 1\"\r\n\r\n"), std::string::npos);
  EXPECT_NE(seen.body.find("filename=\"a%22.txt%0D%0A\"\r\n"), std::string::npos);
  // The boundary marks the parts and nothing else: four times (first, separator, last).
  size_t count = 0;
  for (size_t at = seen.body.find("--" + b); at != std::string::npos; at = seen.body.find("--" + b, at + 1)) ++count;
  EXPECT_EQ(count, 3u);

  // The same check reaches into files on disk.
  const std::string path = tmp("tricky.txt");
  kit::FileManager::writeFile(path, "before\r\n--0xKhTmLbOuNdArY\r\nafter");
  Ref<HttpFormDataRequest> withFile = form();
  withFile->addFile(path, "f");
  send(withFile);
  EXPECT_NE(withFile->boundary(), "0xKhTmLbOuNdArY");
}

TEST_F(HttpFormDataRequestTest, AMissingFileFailsTheRequestAndCopiesKeepTheForm) {
  Ref<HttpFormDataRequest> r = form();
  r->addFile(tmp("absent.bin"), "f");
  ASSERT_TRUE(r->error());
  EXPECT_EQ(r->error()->code(), kInternalErrorWhileBuildingRequestType);
  EXPECT_EQ(r->error()->localizedDescription(), "No file exists at " + tmp("absent.bin"));
  EXPECT_EQ(r->fileData()->count(), 1u);
  Ref<HttpFormDataRequest> folder = form();
  folder->addFile(kit::Paths::temporaryDirectory(), "f");
  EXPECT_TRUE(folder->error());

  Ref<HttpFormDataRequest> original = form();
  original->addPostValue("v", "k");
  original->setStringEncoding(HttpRequest::kISOLatin1StringEncoding);
  Ref<HttpFormDataRequest> copy(kit::cast<HttpFormDataRequest>(original->copy()));
  ASSERT_TRUE(copy);
  original->setPostValue("changed", "k");
  EXPECT_EQ(copy->stringEncoding(), HttpRequest::kISOLatin1StringEncoding);
  EXPECT_EQ(send(copy).body, "k=v");
}

}  // namespace
