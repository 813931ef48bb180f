#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "http/HttpDataCompressor.h"
#include "http/HttpDataDecompressor.h"
#include "http/HttpErrorType.h"
#include "http/HttpZlibFile.h"
#include "kit/foundation/FileManager.h"
#include "kit/foundation/Paths.h"
#include "support/ChildProcess.h"
#include "support/TempHome.h"
#include "support/TestCodec.h"

using namespace tolva;
using kit::Data;
using kit::Error;
using kit::Ref;

namespace {

std::string textBody(size_t n, unsigned seed = 7) {
  static const char* words[] = {"tolva ", "gzip ", "stream ", "window ", "31 ", "47 ", "\n", "header "};
  std::mt19937 rng(seed);
  std::string s;
  while (s.size() < n) s += words[rng() % 8];
  s.resize(n);
  return s;
}

std::string randomBytes(size_t n, unsigned seed = 3) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (auto& c : s) c = static_cast<char>(rng());
  return s;
}

// The names in `folder`, sorted.
std::vector<std::string> sortedNames(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

TEST(HttpGzip, RoundTripOfThreeLettersStartsWithGzipMagic) {
  Ref<Error> e;
  Ref<Data> z = HttpDataCompressor::compressData(Data::dataWithString("abc"), &e);
  ASSERT_TRUE(z) << e->description();
  ASSERT_GE(z->length(), 2u);
  EXPECT_EQ(z->bytes()[0], 0x1f);
  EXPECT_EQ(z->bytes()[1], 0x8b);
  EXPECT_EQ(tolvatest::TestCodec::gunzip(z->view()).value_or("?"), "abc");
  Ref<Data> back = HttpDataDecompressor::uncompressData(z, &e);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->toString(), "abc");
}

TEST(HttpGzip, EmptyInputGivesNothingAndNoError) {
  Ref<Error> e = Error::errorWithDomain("x", 1);
  EXPECT_FALSE(HttpDataCompressor::compressData(kit::make<Data>(), &e));
  EXPECT_FALSE(e);
  e = Error::errorWithDomain("x", 1);
  EXPECT_FALSE(HttpDataDecompressor::decompressor()->uncompressBytes(nullptr, 0, &e));
  EXPECT_FALSE(e);
}

TEST(HttpGzip, DecompressorAcceptsGzipAndZlibInput) {
  const std::string body = textBody(100000);
  for (auto coded : {tolvatest::TestCodec::gzip(body), tolvatest::TestCodec::deflate(body)}) {
    Ref<Error> e;
    Ref<Data> out = HttpDataDecompressor::uncompressData(Data::dataWithString(coded), &e);
    ASSERT_TRUE(out) << e->description();
    EXPECT_EQ(out->toString(), body);
  }
}

TEST(HttpGzip, ChunksSplitAtRandomPointsInflateToTheWhole) {
  // One-byte pieces and high-ratio input both need the output buffer to grow.
  const std::string body = std::string(3 << 20, 'a') + textBody(200000);
  const std::string coded = tolvatest::TestCodec::gzip(body);
  std::mt19937 rng(11);
  for (int round = 0; round < 3; ++round) {
    Ref<HttpDataDecompressor> d = HttpDataDecompressor::decompressor();
    std::string out;
    size_t at = 0;
    while (at < coded.size()) {
      size_t n = round == 0 ? 1 : 1 + rng() % 5000;
      if (round == 0 && at > 2000) n = 1 + rng() % 70000;
      n = std::min(n, coded.size() - at);
      Ref<Error> e;
      Ref<Data> piece = d->uncompressBytes(reinterpret_cast<const uint8_t*>(coded.data() + at), n, &e);
      ASSERT_TRUE(piece) << e->description();
      out += piece->toString();
      at += n;
    }
    EXPECT_TRUE(d->streamEnded());
    EXPECT_EQ(out.size(), body.size());
    EXPECT_TRUE(out == body);
  }
}

TEST(HttpGzip, CompressorFedInPiecesMakesOneStream) {
  const std::string body = randomBytes(70000) + textBody(300000);
  Ref<HttpDataCompressor> c = HttpDataCompressor::compressor();
  std::string coded;
  size_t at = 0;
  while (at < body.size()) {
    size_t n = std::min<size_t>(at == 0 ? 1 : 33333, body.size() - at);
    Ref<Error> e;
    Ref<Data> piece = c->compressBytes(reinterpret_cast<const uint8_t*>(body.data() + at), n, &e,
                                       at + n == body.size());
    ASSERT_TRUE(piece) << e->description();
    coded += piece->toString();
    at += n;
  }
  EXPECT_EQ(tolvatest::TestCodec::gunzip(coded).value_or("?"), body);
}

TEST(HttpGzip, ADecompressorClosedAndSetUpAgainInflatesANewStream) {
  Ref<HttpDataDecompressor> d = HttpDataDecompressor::decompressor();
  for (const char* body : {"first body", "second body"}) {
    const std::string coded = tolvatest::TestCodec::gzip(body);
    Ref<Error> e;
    Ref<Data> out = d->uncompressBytes(reinterpret_cast<const uint8_t*>(coded.data()), coded.size(), &e);
    ASSERT_TRUE(out) << body;
    EXPECT_EQ(out->toString(), body);
    EXPECT_FALSE(d->closeStream());
    EXPECT_FALSE(d->streamReady());
    EXPECT_FALSE(d->setupStream());
  }
}

TEST(HttpGzip, CorruptAndCutOffInputFailWithCode11) {
  std::string coded = tolvatest::TestCodec::gzip(textBody(50000));
  std::string corrupt = coded;
  corrupt[20] ^= 0x55;
  corrupt[21] ^= 0x55;
  Ref<Error> e;
  EXPECT_FALSE(HttpDataDecompressor::uncompressData(Data::dataWithString(corrupt), &e));
  ASSERT_TRUE(e);
  EXPECT_EQ(e->domain(), kHttpRequestErrorDomain);
  EXPECT_EQ(e->code(), kCompressionError);
  EXPECT_EQ(e->localizedDescription().rfind("Decompression of data failed with code ", 0), 0u);

  e = nullptr;
  EXPECT_FALSE(HttpDataDecompressor::uncompressData(Data::dataWithString(coded.substr(0, coded.size() / 2)), &e));
  ASSERT_TRUE(e);
  EXPECT_EQ(e->localizedDescription(), "Decompression of data failed with code -5");
}

TEST(HttpGzip, FileToFileBothWaysIncludingAnExactChunkSizedSource) {
  tolvatest::TempHome home;
  const std::string dir = kit::Paths::temporaryDirectory();
  for (size_t size : {size_t(262144), size_t(262144 * 2 + 17), size_t(1)}) {
    const std::string body = textBody(size, static_cast<unsigned>(size));
    ASSERT_TRUE(kit::FileManager::writeFile(dir + "/src", body));
    Ref<Error> e;
    ASSERT_TRUE(HttpDataCompressor::compressDataFromFile(dir + "/src", dir + "/src.gz", &e)) << e->description();
    Ref<Data> coded = kit::FileManager::readFile(dir + "/src.gz");
    ASSERT_TRUE(coded);
    EXPECT_EQ(tolvatest::TestCodec::gunzip(coded->view()).value_or("?"), body) << size;
    ASSERT_TRUE(HttpDataDecompressor::uncompressDataFromFile(dir + "/src.gz", dir + "/back", &e));
    EXPECT_EQ(kit::FileManager::readFile(dir + "/back")->toString(), body);
  }
}

TEST(HttpGzip, MissingSourceFailsAndLeavesNoDestination) {
  tolvatest::TempHome home;
  const std::string dir = kit::Paths::temporaryDirectory();
  Ref<Error> e;
  EXPECT_FALSE(HttpDataCompressor::compressDataFromFile(dir + "/none", dir + "/out.gz", &e));
  ASSERT_TRUE(e);
  EXPECT_EQ(e->code(), kCompressionError);
  EXPECT_EQ(e->localizedDescription(), "Compression of " + dir + "/none failed the file does not exist");
  EXPECT_FALSE(kit::FileManager::fileExists(dir + "/out.gz"));

  EXPECT_FALSE(HttpDataDecompressor::uncompressDataFromFile(dir + "/none", dir + "/out", &e));
  EXPECT_EQ(e->localizedDescription(), "Decompression of " + dir + "/none failed the file does not exist");
}

TEST(HttpGzip, TruncatedSourceFileIsAnErrorNotAShorterBody) {
  tolvatest::TempHome home;
  const std::string dir = kit::Paths::temporaryDirectory();
  const std::string coded = tolvatest::TestCodec::gzip(randomBytes(400000));
  ASSERT_TRUE(kit::FileManager::writeFile(dir + "/cut.gz", coded.substr(0, coded.size() - 100)));
  Ref<Error> e;
  EXPECT_FALSE(HttpDataDecompressor::uncompressDataFromFile(dir + "/cut.gz", dir + "/out", &e));
  ASSERT_TRUE(e);
  EXPECT_EQ(e->code(), kCompressionError);
  EXPECT_FALSE(kit::FileManager::fileExists(dir + "/out"));

  // A destination that cannot take the bytes (a file size limit) names itself and goes too.
  ASSERT_TRUE(kit::FileManager::writeFile(dir + "/whole.gz", coded));
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  auto previous = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = old;
  small.rlim_cur = 100000;
  setrlimit(RLIMIT_FSIZE, &small);
  const bool ok = HttpDataDecompressor::uncompressDataFromFile(dir + "/whole.gz", dir + "/big", &e);
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, previous);
  EXPECT_FALSE(ok);
  ASSERT_TRUE(e);
  EXPECT_EQ(e->localizedDescription(), "Decompression of " + dir + "/whole.gz failed because we were unable to write "
                                       "to the destination data file at " + dir + "/big");
  EXPECT_FALSE(kit::FileManager::fileExists(dir + "/big"));
}

TEST(HttpGzip, WithoutUnnamedFilesANamedTemporaryBecomesTheOutputOrGoes) {
  tolvatest::TempHome home;
  const std::string folder = kit::Paths::temporaryDirectory() + "/named";
  ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
  HttpZlibFile::setUnnamedFilesForTesting(false);
  const std::string body = textBody(300000, 5);
  ASSERT_TRUE(kit::FileManager::writeFile(folder + "/src", body));
  Ref<Error> e;
  const bool compressed = HttpDataCompressor::compressDataFromFile(folder + "/src", folder + "/src.gz", &e);
  const bool inflated = HttpDataDecompressor::uncompressDataFromFile(folder + "/src.gz", folder + "/back", &e);
  const std::vector<std::string> afterBoth = sortedNames(folder);
  ASSERT_TRUE(kit::FileManager::writeFile(folder + "/cut.gz", body.substr(0, 1000)));
  const bool cut = HttpDataDecompressor::uncompressDataFromFile(folder + "/cut.gz", folder + "/out", &e);
  HttpZlibFile::setUnnamedFilesForTesting(true);
  EXPECT_TRUE(compressed);
  ASSERT_TRUE(inflated);
  EXPECT_EQ(kit::FileManager::readFile(folder + "/back")->toString(), body);
  EXPECT_EQ(afterBoth, (std::vector<std::string>{"back", "src", "src.gz"}));
  EXPECT_FALSE(cut);
  EXPECT_EQ(sortedNames(folder), (std::vector<std::string>{"back", "cut.gz", "src", "src.gz"}));
}

namespace {
constexpr const char* kInflateChildFolder = "TOLVA_INFLATE_CHILD_FOLDER";
}  // namespace

// The child of the case below: inflates from a pipe until it is killed.
TEST(HttpGzipInflateChild, InflatesUntilKilled) {
  const char* folder = std::getenv(kInflateChildFolder);
  if (!folder) GTEST_SKIP() << "run by HttpGzip.AnInflateKilledMidwayLeavesNoFileBehind only";
  Ref<Error> e;
  HttpDataDecompressor::uncompressDataFromFile(std::string(folder) + "/in.gz", std::string(folder) + "/out", &e);
}

TEST(HttpGzip, AnInflateKilledMidwayLeavesNoFileBehind) {
  tolvatest::TempHome home;
  const std::string folder = kit::Paths::temporaryDirectory() + "/inflate";
  ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
  ASSERT_EQ(::mkfifo((folder + "/in.gz").c_str(), 0600), 0);
  const std::string coded = tolvatest::TestCodec::gzip(randomBytes(4 << 20));

  const pid_t child = tolvatest::startSelfAsChild("test_http", "HttpGzipInflateChild.*",
                                                  {std::string(kInflateChildFolder) + "=" + folder});
  ASSERT_GE(child, 0);
  // Half the stream goes down the pipe, so the child has inflated and written a good part of it.
  const int pipe = ::open((folder + "/in.gz").c_str(), O_WRONLY | O_CLOEXEC);
  ASSERT_GE(pipe, 0);
  const bool fed = kit::FileManager::writeAll(pipe, std::string_view(coded).substr(0, coded.size() / 2));
  ::kill(child, SIGKILL);
  int status = 0;
  ::waitpid(child, &status, 0);
  ::close(pipe);
  ASSERT_TRUE(fed);
  ASSERT_TRUE(WIFSIGNALED(status));

  EXPECT_FALSE(kit::FileManager::fileExists(folder + "/out"));
  // The next inflate to that destination finds nothing of the killed one's in its way.
  const std::string whole = kit::Paths::temporaryDirectory() + "/whole.gz";
  ASSERT_TRUE(kit::FileManager::writeFile(whole, tolvatest::TestCodec::gzip("complete")));
  Ref<Error> e;
  ASSERT_TRUE(HttpDataDecompressor::uncompressDataFromFile(whole, folder + "/out", &e));
  EXPECT_EQ(sortedNames(folder), (std::vector<std::string>{"in.gz", "out"}));
  EXPECT_EQ(kit::FileManager::readFile(folder + "/out")->toString(), "complete");
}
