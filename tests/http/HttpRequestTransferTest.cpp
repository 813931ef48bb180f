// Downloads into memory and files, resuming, gzip bodies and the synchronous path, against the
// loopback server.

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <random>
#include <thread>

#include "http/HttpErrorType.h"
#include "http/HttpRequestTestSupport.h"
#include "support/PseudoRandomBody.h"
#include "support/TestCodec.h"
#include "support/TestHTTPServer.h"

using namespace tolva;
using namespace tolvatest;
using kit::Ref;

namespace {

constexpr uint64_t kBig = (1 << 20) + 12345;

std::string text(size_t n) {
  std::mt19937 rng(5);
  static const char* words[] = {"partial ", "range ", "body ", "inflate ", "\r\n", "0123456789 "};
  std::string s;
  while (s.size() < n) s += words[rng() % 6];
  s.resize(n);
  return s;
}

}  // namespace

TEST_F(HttpRequestTest, DownloadsToMemoryAndToFileByteIdentical) {
  TestHTTPServer server;
  auto body = std::make_shared<PseudoRandomBody>(kBig, 9);
  server.route("GET", "/big", TestResponse::generated(body));
  server.route("GET", "/big-chunked", TestResponse::generated(body).chunked({70000, 3, 1 << 16}));

  for (const char* path : {"/big", "/big-chunked"}) {
    Ref<HttpRequest> memory = HttpRequest::requestWithURL(U(server.url(path)));
    RecordingDelegate d;
    ASSERT_TRUE(runAsync(memory, d)) << path;
    ASSERT_EQ(d.finished, 1) << (memory->error() ? memory->error()->description() : "");
    EXPECT_EQ(memory->responseStatusCode(), 200);
    EXPECT_EQ(memory->contentLength(), kBig);
    EXPECT_EQ(memory->totalBytesRead(), kBig);
    EXPECT_EQ(TestCodec::sha256Hex(memory->responseData()->view()), body->sha256Hex());
    EXPECT_EQ((std::vector<std::string>{"started", "headers", "finished"}), d.calls);
  }

  Ref<HttpRequest> file = HttpRequest::requestWithURL(U(server.url("/big")));
  file->setDownloadDestinationPath(tmp("big.bin"));
  RecordingDelegate d;
  ASSERT_TRUE(runAsync(file, d));
  ASSERT_EQ(d.finished, 1);
  EXPECT_FALSE(file->responseData());
  EXPECT_EQ(TestCodec::sha256Hex(read(tmp("big.bin"))), body->sha256Hex());
  EXPECT_TRUE(file->temporaryFileDownloadPath().empty());
}

// A body this large gets its room at once and faulted in ahead of the bytes coming in; a body
// cut short midway must leave nothing running behind it.
TEST_F(HttpRequestTest, LargeBodiesInMemoryAreIntactWholeAndFailCleanlyWhenCutShort) {
  constexpr uint64_t kLarge = (uint64_t(24) << 20) + 4321;
  TestHTTPServer server;
  auto body = std::make_shared<PseudoRandomBody>(kLarge, 4);
  server.route("GET", "/large", TestResponse::generated(body));
  server.route("GET", "/cut", TestResponse::generated(body).abortAfter(kLarge / 3));

  Ref<HttpRequest> whole = HttpRequest::requestWithURL(U(server.url("/large")));
  RecordingDelegate d;
  ASSERT_TRUE(runAsync(whole, d));
  ASSERT_EQ(d.finished, 1) << (whole->error() ? whole->error()->description() : "");
  EXPECT_EQ(whole->responseData()->length(), kLarge);
  EXPECT_EQ(TestCodec::sha256Hex(whole->responseData()->view()), body->sha256Hex());

  // Without a length (chunked, or up to the close) the body grows past its first room.
  server.route("GET", "/chunked", TestResponse::generated(body).chunked({70000, 1, 300000}));
  server.route("GET", "/closed", TestResponse::generated(body).closeDelimited());
  for (const char* path : {"/chunked", "/closed"}) {
    Ref<HttpRequest> r = HttpRequest::requestWithURL(U(server.url(path)));
    RecordingDelegate rd;
    ASSERT_TRUE(runAsync(r, rd, 60));
    ASSERT_EQ(rd.finished, 1) << path;
    EXPECT_EQ(r->totalBytesRead(), kLarge) << path;
    EXPECT_EQ(TestCodec::sha256Hex(r->responseData()->view()), body->sha256Hex()) << path;
  }

  Ref<HttpRequest> cut = HttpRequest::requestWithURL(U(server.url("/cut")));
  RecordingDelegate c;
  ASSERT_TRUE(runAsync(cut, c));
  EXPECT_EQ(c.failed, 1);
  EXPECT_EQ(c.finished, 0);
}

TEST_F(HttpRequestTest, CompletedDownloadReplacesAnExistingFile) {
  TestHTTPServer server;
  server.route("GET", "/f", TestResponse::ok("new contents"));
  ASSERT_TRUE(kit::FileManager::writeFile(tmp("dest"), "old contents that are longer"));
  Ref<HttpRequest> r = HttpRequest::requestWithURL(U(server.url("/f")));
  r->setDownloadDestinationPath(tmp("dest"));
  r->setTemporaryFileDownloadPath(tmp("dest.part"));
  RecordingDelegate d;
  ASSERT_TRUE(runAsync(r, d));
  EXPECT_EQ(read(tmp("dest")), "new contents");
  EXPECT_FALSE(kit::FileManager::fileExists(tmp("dest.part")));

  // A folder in the destination's place is no file to replace: it stays, whole.
  ASSERT_TRUE(kit::FileManager::createDirectory(tmp("folder")));
  ASSERT_TRUE(kit::FileManager::writeFile(tmp("folder/keep"), "kept"));
  Ref<HttpRequest> f = HttpRequest::requestWithURL(U(server.url("/f")));
  f->setDownloadDestinationPath(tmp("folder"));
  RecordingDelegate d2;
  ASSERT_TRUE(runAsync(f, d2));
  ASSERT_EQ(d2.failed, 1);
  EXPECT_EQ(f->error()->code(), kFileManagementError);
  EXPECT_NE(f->error()->localizedDescription().find("is a folder"), std::string::npos);
  EXPECT_EQ(read(tmp("folder/keep")), "kept");
}

// The engine's own partial files: one nothing can resume goes when its request fails, and what
// an ended process left (its folder's lock is free) goes at the next use; a live one's stays.
TEST_F(HttpRequestTest, PartialFilesNothingResumesOutliveNeitherTheirRequestNorTheirProcess) {
  TestHTTPServer server;
  server.route("GET", "/cut", TestResponse::rawBytes("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\nonly a little"));
  const std::string ended = tmp("requests-ended"), alive = tmp("requests-alive");
  for (const std::string& folder : {ended, alive}) {
    ASSERT_TRUE(kit::FileManager::createDirectory(folder));
    ASSERT_TRUE(kit::FileManager::writeFile(folder + "/.lock", ""));
    ASSERT_TRUE(kit::FileManager::writeFile(folder + "/partial", "left"));
  }
  const int held = ::open((alive + "/.lock").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);

  Ref<HttpRequest> r = HttpRequest::requestWithURL(U(server.url("/cut")));
  r->setDownloadDestinationPath(tmp("cut.bin"));
  RecordingDelegate d;
  ASSERT_TRUE(runAsync(r, d));
  ASSERT_EQ(d.failed, 1);
  EXPECT_FALSE(kit::FileManager::fileExists(ended));
  EXPECT_EQ(read(alive + "/partial"), "left");
  ::close(held);
  size_t left = 0;
  const auto names = kit::FileManager::contentsOfDirectory(kit::Paths::temporaryDirectory());
  ASSERT_TRUE(names);
  for (const std::string& name : *names) {
    if (name.rfind("requests-", 0) != 0 || tmp(name) == alive) continue;
    const auto files = kit::FileManager::contentsOfDirectory(tmp(name));
    for (const std::string& file : files.value_or(std::vector<std::string>())) left += file != ".lock";
  }
  EXPECT_EQ(left, 0u);
}

TEST_F(HttpRequestTest, ResumeAppendsA206AndRestartsOnA200) {
  const std::string body = text(300000);
  for (bool honor : {true, false}) {
    TestHTTPServer server;
    RangeOptions options;
    options.honorRange = honor;
    server.rangeRoute("/file", body, options);
    ASSERT_TRUE(kit::FileManager::writeFile(tmp("file.part"), body.substr(0, 1000)));
    Ref<HttpRequest> r = HttpRequest::requestWithURL(U(server.url("/file")));
    r->setDownloadDestinationPath(tmp("file"));
    r->setTemporaryFileDownloadPath(tmp("file.part"));
    RecordingDelegate d;
    ASSERT_TRUE(runAsync(r, d));
    ASSERT_EQ(d.finished, 1) << honor;
    EXPECT_EQ(server.lastRequest()->headers.value("Range"), "bytes=1000-");
    EXPECT_EQ(r->responseStatusCode(), honor ? 206 : 200);
    EXPECT_EQ(r->partialDownloadSize(), honor ? 1000u : 0u);
    EXPECT_TRUE(read(tmp("file")) == body) << honor;
    EXPECT_FALSE(kit::FileManager::fileExists(tmp("file.part")));
  }
}

TEST_F(HttpRequestTest, NoRangeWithoutPartialFileOrWithResumeOff) {
  TestHTTPServer server;
  server.rangeRoute("/file", "0123456789");
  Ref<HttpRequest> r = HttpRequest::requestWithURL(U(server.url("/file")));
  r->setDownloadDestinationPath(tmp("a"));
  r->setTemporaryFileDownloadPath(tmp("a.part"));
  RecordingDelegate d;
  ASSERT_TRUE(runAsync(r, d));
  EXPECT_FALSE(server.lastRequest()->headers.has("Range"));

  ASSERT_TRUE(kit::FileManager::writeFile(tmp("b.part"), "01234"));
  Ref<HttpRequest> off = HttpRequest::requestWithURL(U(server.url("/file")));
  off->setDownloadDestinationPath(tmp("b"));
  off->setTemporaryFileDownloadPath(tmp("b.part"));
  off->setAllowResumeForFileDownloads(false);
  RecordingDelegate d2;
  ASSERT_TRUE(runAsync(off, d2));
  EXPECT_FALSE(server.lastRequest()->headers.has("Range"));
  EXPECT_EQ(read(tmp("b")), "0123456789");
}

TEST_F(HttpRequestTest, OtherStatusesNeverTouchThePartialFile) {
  TestHTTPServer server;
  server.rangeRoute("/short", "0123456789");
  server.route("GET", "/broken", TestResponse::withStatus(500, "server trouble"));
  server.route("GET", "/gone", TestResponse::withStatus(404, "not here"));
  for (const char* path : {"/short", "/broken", "/gone"}) {
    const std::string partial(20, 'p');  // more than /short holds: its Range cannot be satisfied
    ASSERT_TRUE(kit::FileManager::writeFile(tmp("x.part"), partial));
    Ref<HttpRequest> r = HttpRequest::requestWithURL(U(server.url(path)));
    r->setDownloadDestinationPath(tmp("x"));
    r->setTemporaryFileDownloadPath(tmp("x.part"));
    RecordingDelegate d;
    ASSERT_TRUE(runAsync(r, d)) << path;
    EXPECT_NE(r->responseStatusCode(), 200) << path;
    EXPECT_EQ(read(tmp("x.part")), partial) << path;
    EXPECT_FALSE(kit::FileManager::fileExists(tmp("x"))) << path;
    EXPECT_EQ(r->temporaryFileDownloadPath(), tmp("x.part"));
  }
}

TEST_F(HttpRequestTest, A206ThatDoesNotContinueThePartialFileFailsAndKeepsIt) {
  TestHTTPServer server;
  const std::string head = "HTTP/1.1 206 Partial Content\r\n";
  // Another start; a length that contradicts the range; a range short of the end; no range; a
  // chunked body longer than its range.
  server.route("GET", "/odd", TestResponse::rawBytes(head + "Content-Range: bytes 0-4/10\r\nContent-Length: 5\r\n\r\n01234"));
  server.route("GET", "/long",
               TestResponse::rawBytes(head + "Content-Range: bytes 3-9/10\r\nContent-Length: 12\r\n\r\n3456789abcde"));
  server.route("GET", "/short", TestResponse::rawBytes(head + "Content-Range: bytes 3-5/10\r\nContent-Length: 3\r\n\r\n345"));
  server.route("GET", "/none", TestResponse::rawBytes(head + "Content-Length: 7\r\n\r\n3456789"));
  server.route("GET", "/chunks",
               TestResponse::rawBytes(head + "Content-Range: bytes 3-9/10\r\nTransfer-Encoding: chunked\r\n\r\n"
                                             "a\r\n3456789abc\r\n0\r\n\r\n"));
  for (const char* path : {"/odd", "/long", "/short", "/none", "/chunks"}) {
    ASSERT_TRUE(kit::FileManager::writeFile(tmp("o.part"), "012"));
    Ref<HttpRequest> r = HttpRequest::requestWithURL(U(server.url(path)));
    r->setDownloadDestinationPath(tmp("o"));
    r->setTemporaryFileDownloadPath(tmp("o.part"));
    RecordingDelegate d;
    ASSERT_TRUE(runAsync(r, d)) << path;
    ASSERT_EQ(d.failed, 1) << path;
    EXPECT_EQ(r->error()->code(), kConnectionFailureErrorType) << path;
    EXPECT_EQ(read(tmp("o.part")), "012") << path;
    EXPECT_FALSE(kit::FileManager::fileExists(tmp("o"))) << path;
  }
}

TEST_F(HttpRequestTest, GzipBodiesInflateOnTheFlyAndDeferred) {
  TestHTTPServer server;
  const std::string body = text(700000);
  std::mt19937 rng(17);
  std::vector<size_t> sizes;
  for (int i = 0; i < 50; ++i) sizes.push_back(1 + rng() % 40000);
  server.route("GET", "/z", TestResponse::ok(body).gzip().chunked(sizes));

  for (bool wait : {true, false}) {
    Ref<HttpRequest> memory = HttpRequest::requestWithURL(U(server.url("/z")));
    memory->setShouldWaitToInflateCompressedResponses(wait);
    RecordingDelegate d;
    ASSERT_TRUE(runAsync(memory, d));
    ASSERT_EQ(d.finished, 1);
    EXPECT_TRUE(memory->isResponseCompressed());
    EXPECT_EQ(server.lastRequest()->headers.value("Accept-Encoding"), "gzip");
    EXPECT_EQ(memory->rawResponseData()->length() == body.size(), !wait);
    EXPECT_TRUE(memory->responseData()->toString() == body) << wait;

    Ref<HttpRequest> file = HttpRequest::requestWithURL(U(server.url("/z")));
    file->setShouldWaitToInflateCompressedResponses(wait);
    file->setDownloadDestinationPath(tmp("z.txt"));
    RecordingDelegate d2;
    ASSERT_TRUE(runAsync(file, d2));
    ASSERT_EQ(d2.finished, 1) << (file->error() ? file->error()->description() : "");
    EXPECT_TRUE(read(tmp("z.txt")) == body) << wait;
    EXPECT_TRUE(file->temporaryFileDownloadPath().empty());
    EXPECT_TRUE(file->temporaryUncompressedDataDownloadPath().empty());
  }
}

TEST_F(HttpRequestTest, CutOffGzipFailsWithTheInflateErrorAndKeepsTheTemporaryFile) {
  TestHTTPServer server;
  std::string coded = TestCodec::gzip(text(100000));
  coded.resize(coded.size() - 40);
  server.route("GET", "/cut", TestResponse::ok(coded).header("Content-Encoding", "gzip"));
  for (bool wait : {true, false}) {
    Ref<HttpRequest> r = HttpRequest::requestWithURL(U(server.url("/cut")));
    r->setShouldWaitToInflateCompressedResponses(wait);
    r->setDownloadDestinationPath(tmp("cut.txt"));
    r->setTemporaryFileDownloadPath(tmp("cut.part"));
    RecordingDelegate d;
    ASSERT_TRUE(runAsync(r, d));
    ASSERT_EQ(d.failed, 1) << wait;
    EXPECT_EQ(r->error()->domain(), kHttpRequestErrorDomain);
    EXPECT_EQ(r->error()->code(), kCompressionError);
    EXPECT_EQ(read(tmp("cut.part")), coded) << wait;
    EXPECT_FALSE(kit::FileManager::fileExists(tmp("cut.txt")));
  }
}

TEST_F(HttpRequestTest, InMemoryBodiesThatDoNotInflateOrDoNotFitFail) {
  TestHTTPServer server;
  std::string cut = TestCodec::gzip(text(100000));
  cut.resize(cut.size() - 40);
  server.route("GET", "/cut", TestResponse::ok(cut).header("Content-Encoding", "gzip"));
  server.route("GET", "/garbage", TestResponse::ok(text(5000)).header("Content-Encoding", "gzip"));
  // Fetched into memory (inflated at the end or on the fly): the error it failed with.
  auto failureInMemory = [&](const char* path, bool wait, Ref<HttpRequest>* kept = nullptr) -> Ref<kit::Error> {
    Ref<HttpRequest> r = HttpRequest::requestWithURL(U(server.url(path)));
    if (kept) *kept = r;
    r->setShouldWaitToInflateCompressedResponses(wait);
    RecordingDelegate d;
    EXPECT_TRUE(runAsync(r, d));
    EXPECT_EQ(d.failed, 1) << path << wait;
    return r->error();
  };
  for (const char* path : {"/cut", "/garbage"}) {
    for (bool wait : {true, false}) {
      Ref<kit::Error> e = failureInMemory(path, wait);
      ASSERT_TRUE(e);
      EXPECT_EQ(e->code(), kCompressionError);
      EXPECT_EQ(e->localizedDescription().rfind("Decompression of data failed", 0), 0u);
    }
  }

  // A gzip label on an empty body is an empty body, in memory and in a file.
  server.route("GET", "/empty", TestResponse::rawBytes("HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\n"
                                                       "Content-Length: 0\r\n\r\n"));
  for (bool wait : {true, false}) {
    for (bool toFile : {false, true}) {
      Ref<HttpRequest> r = HttpRequest::requestWithURL(U(server.url("/empty")));
      r->setShouldWaitToInflateCompressedResponses(wait);
      if (toFile) r->setDownloadDestinationPath(tmp("empty.txt"));
      RecordingDelegate d;
      ASSERT_TRUE(runAsync(r, d));
      ASSERT_EQ(d.finished, 1) << wait << toFile << r->error()->localizedDescription();
      EXPECT_EQ(toFile ? read(tmp("empty.txt")) : r->responseString(), "");
      EXPECT_TRUE(r->temporaryUncompressedDataDownloadPath().empty());
    }
  }

  // Bodies in memory are bounded: a gzip bomb (8 MiB of zeros in a few kilobytes) and a plain
  // body over the bound end with a clear error.
  server.route("GET", "/bomb", TestResponse::ok(std::string(8 << 20, '\0')).gzip());
  server.route("GET", "/plain", TestResponse::ok(std::string(3 << 20, 'x')));
  HttpRequest::setMaximumInMemoryBodyLength(2 << 20);
  for (const char* path : {"/bomb", "/plain"}) {
    for (bool wait : {true, false}) {
      Ref<HttpRequest> failed;
      Ref<kit::Error> e = failureInMemory(path, wait, &failed);
      ASSERT_TRUE(e);
      EXPECT_EQ(e->code(), kFileManagementError);
      EXPECT_EQ(e->localizedDescription(),
                "The response body is too large to be held in memory (more than 2097152 bytes)");
      // Reading the failed body afterwards keeps to the bound too.
      Ref<kit::Data> body = failed->responseData();
      EXPECT_LE(body ? body->length() : 0u, size_t(2) << 20) << path << wait;
    }
  }
  HttpRequest::setMaximumInMemoryBodyLength(HttpRequest::kDefaultMaximumInMemoryBodyLength);

  // An error page answering a download is kept only up to its own bound.
  server.route("GET", "/broken", TestResponse::withStatus(500, std::string(3 << 20, 'e')));
  Ref<HttpRequest> r = HttpRequest::requestWithURL(U(server.url("/broken")));
  r->setDownloadDestinationPath(tmp("broken"));
  RecordingDelegate d;
  ASSERT_TRUE(runAsync(r, d));
  EXPECT_EQ(d.finished, 1);
  EXPECT_EQ(r->responseStatusCode(), 500);
  EXPECT_EQ(r->rawResponseData()->length(), HttpRequest::kMaximumUnstoredBodyLength);
  EXPECT_FALSE(kit::FileManager::fileExists(tmp("broken")));
}

TEST_F(HttpRequestTest, DataDelegateGetsTheBodyAndNothingIsStored) {
  TestHTTPServer server;
  server.route("GET", "/d", TestResponse::ok(text(100000)).gzip());
  Ref<HttpRequest> r = HttpRequest::requestWithURL(U(server.url("/d")));
  r->setShouldWaitToInflateCompressedResponses(false);
  r->setDownloadDestinationPath(tmp("never"));
  RecordingDelegate d;
  d.takesData = true;
  ASSERT_TRUE(runAsync(r, d));
  settle();
  EXPECT_EQ(d.received, text(100000));
  EXPECT_FALSE(kit::FileManager::fileExists(tmp("never")));
  EXPECT_EQ(r->rawResponseData(), nullptr);
}

TEST_F(HttpRequestTest, ContentLengthIsDecimalAndMissingLengthEndsAtBytesRead) {
  TestHTTPServer server;
  server.route("GET", "/ten", TestResponse::rawBytes("HTTP/1.1 200 OK\r\nContent-Length: 010\r\n\r\n0123456789"));
  server.route("GET", "/close", TestResponse::ok("until the end").closeDelimited());
  Ref<HttpRequest> r = HttpRequest::requestWithURL(U(server.url("/ten")));
  RecordingDelegate d;
  ASSERT_TRUE(runAsync(r, d));
  EXPECT_EQ(r->contentLength(), 10u);
  EXPECT_EQ(r->responseString(), "0123456789");
  Ref<HttpRequest> c = HttpRequest::requestWithURL(U(server.url("/close")));
  RecordingDelegate d2;
  ASSERT_TRUE(runAsync(c, d2));
  EXPECT_EQ(c->contentLength(), 13u);
}

TEST_F(HttpRequestTest, ResponseStringFollowsTheCharset) {
  TestHTTPServer server;
  server.route("GET", "/latin", TestResponse::ok("caf\xe9", "text/plain; charset=ISO-8859-1"));
  server.route("GET", "/utf", TestResponse::ok("caf\xc3\xa9", "text/html;charset=utf-8"));
  Ref<HttpRequest> a = HttpRequest::requestWithURL(U(server.url("/latin")));
  Ref<HttpRequest> b = HttpRequest::requestWithURL(U(server.url("/utf")));
  RecordingDelegate da, db;
  ASSERT_TRUE(runAsync(a, da));
  ASSERT_TRUE(runAsync(b, db));
  EXPECT_EQ(a->responseString(), "caf\xc3\xa9");
  EXPECT_EQ(b->responseEncoding(), HttpRequest::kUTF8StringEncoding);
  EXPECT_EQ(b->responseString(), "caf\xc3\xa9");
}

TEST_F(HttpRequestTest, SynchronousRequestsRunOnTheirOwnThread) {
  TestHTTPServer server;
  server.route("GET", "/s", TestResponse::ok("sync"));
  Ref<HttpRequest> onMain = HttpRequest::requestWithURL(U(server.url("/s")));
  RecordingDelegate d;
  onMain->setDelegate(&d);
  onMain->startSynchronous();
  EXPECT_TRUE(onMain->complete());
  EXPECT_EQ(onMain->responseString(), "sync");
  // On the main thread the reports were made on the spot.
  EXPECT_EQ((std::vector<std::string>{"started", "headers", "finished"}), d.calls);

  Ref<HttpRequest> elsewhere = HttpRequest::requestWithURL(U(server.url("/s")));
  std::atomic<bool> returned{false};
  std::thread worker([&] {
    elsewhere->startSynchronous();
    returned = true;
  });
  worker.join();
  EXPECT_TRUE(returned);
  EXPECT_TRUE(elsewhere->complete());
  EXPECT_EQ(elsewhere->responseString(), "sync");
}
