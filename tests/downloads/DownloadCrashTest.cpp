// A download interrupted by the death of the process: another process (this test binary, running
// only the child case below) downloads a large loopback file into a shared home and is killed
// with SIGKILL mid-download. Read again, the entry is paused; resuming it asks for the rest from
// the bytes on disk, and the finished file is byte for byte the source.

#include <openssl/evp.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "DownloadTest.h"
#include "support/ChildProcess.h"
#include "support/PseudoRandomBody.h"
#include "support/TestHTTPServer.h"

using namespace tolva;
using namespace tolvatest;
using downloadtest::DownloadTest;

namespace {

constexpr const char* kChildURL = "TOLVA_DOWNLOAD_CHILD_URL";
constexpr const char* kChildHome = "TOLVA_DOWNLOAD_CHILD_HOME";
constexpr uint64_t kSize = 8 * 1024 * 1024;
constexpr uint64_t kStallAt = 3 * 1024 * 1024 + 12345;

std::string sha256OfFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "<missing>";
  EVP_MD_CTX* ctx = EVP_MD_CTX_new();
  EVP_DigestInit_ex(ctx, EVP_sha256(), nullptr);
  std::vector<char> buffer(1 << 16);
  while (in) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    EVP_DigestUpdate(ctx, buffer.data(), static_cast<size_t>(in.gcount()));
  }
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_DigestFinal_ex(ctx, digest, &length);
  EVP_MD_CTX_free(ctx);
  static const char* hex = "0123456789abcdef";
  std::string out;
  for (unsigned i = 0; i < length; ++i) {
    out += hex[digest[i] >> 4];
    out += hex[digest[i] & 15];
  }
  return out;
}

// The child: downloads until it is killed.
TEST(DownloadCrashChild, DownloadsUntilKilled) {
  const char* url = std::getenv(kChildURL);
  const char* home = std::getenv(kChildHome);
  if (!url || !home) GTEST_SKIP() << "run by DownloadCrashTest only";
  ::setenv("TOLVA_HOME", home, 1);
  kit::Paths::reset();
  kit::UserDefaults::discardStandardUserDefaultsForTesting();
  VeskDownloadManager::sharedInstance()->start(url);
  kit::RunLoop::main().runUntil([] { return false; }, 120);
}

TEST_F(DownloadTest, AKilledDownloadComesBackPausedAndResumesByRange) {
  TestHTTPServer server;
  auto source = std::make_shared<PseudoRandomBody>(kSize, 11);
  server.route("GET", "/large.bin", [source](const RecordedRequest& r) {
    const std::string range = r.headers.value("Range");
    if (range.empty()) return TestResponse::generated(source).stallAfterBody(kStallAt, TestResponse::untilStop);
    const uint64_t from = std::stoull(range.substr(6));
    TestResponse resp = TestResponse::withStatus(206, source->bytes(from, kSize - from));
    resp.header("Content-Range", "bytes " + std::to_string(from) + "-" + std::to_string(kSize - 1) + "/" +
                                     std::to_string(kSize));
    return resp;
  });

  const pid_t child = tolvatest::startSelfAsChild(
      "test_downloads", "DownloadCrashChild.DownloadsUntilKilled",
      {std::string(kChildURL) + "=" + server.url("/large.bin"), std::string(kChildHome) + "=" + home.path()});
  ASSERT_GE(child, 0);
  // The child shares this test's home: wait for its partial file to hold what the server sent.
  const std::string folder = VeskDownloadManager::temporaryFolder();
  const std::string partial = folder + "/large.bin";
  const bool reached = waitFor([&] { return kit::FileManager::fileSize(partial).value_or(0) >= kStallAt; }, 60);
  ::kill(child, SIGKILL);
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(reached);
  ASSERT_TRUE(WIFSIGNALED(status));

  kit::UserDefaults::discardStandardUserDefaultsForTesting();
  manager()->resetForTesting();
  ASSERT_EQ(manager()->count(), 1);
  EXPECT_EQ(manager()->state(0), DownloadStatusPaused);
  EXPECT_EQ(field(0, "received"), std::to_string(kStallAt));

  manager()->resume(0);
  ASSERT_TRUE(waitForState(0, DownloadStatusCompleted, 60));
  ASSERT_EQ(server.requestsFor("/large.bin").size(), 2u);
  EXPECT_EQ(server.lastRequest()->headers.value("Range"), "bytes=" + std::to_string(kStallAt) + "-");
  EXPECT_EQ(manager()->pathOfItem(0), documents("large.bin"));
  EXPECT_EQ(sha256OfFile(documents("large.bin")), source->sha256Hex());
  EXPECT_FALSE(kit::FileManager::fileExists(partial));
}

}  // namespace
