// The request engine against the curl tool, both fetching from one loopback server in this
// process, in the same run:
//   case=file_1g     a 1 GiB download to a file            (MB/s)
//   case=memory_1g   the same into memory (curl: into a file on the RAM-backed /dev/shm, the
//                    tool's nearest to keeping a body in memory) (MB/s)
//   case=memory_1g_vs_discard  the engine's memory case against curl throwing the body away
//   case=gzip_1g     the same gzip-encoded, inflated to a file (MB/s of the inflated body)
//   case=small_gets  sequential small GETs over keep-alive   (requests per second)
// each as `case=<name> tolva=<x> curl=<y> ratio=<x/y>`, then the engine's peak resident memory
// during the download to a file. Run bench/http/setup.sh first (it installs curl).
// Usage: http_bench [size in MiB, default 1024] [small GETs, default 1000] [cases]
// where cases, default all, is a comma-separated list of case names (to profile one of them).

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "http/HttpRequest.h"
#include "kit/foundation/Bundle.h"
#include "kit/foundation/FileManager.h"
#include "kit/foundation/Paths.h"
#include "kit/foundation/RunLoop.h"
#include "support/PseudoRandomBody.h"
#include "support/TempHome.h"
#include "support/TestHTTPServer.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

class StringSource : public tolvatest::TestBodySource {
 public:
  explicit StringSource(std::string bytes) : bytes_(std::move(bytes)) {}
  uint64_t size() const override { return bytes_.size(); }
  void read(uint64_t offset, char* out, size_t length) const override { bytes_.copy(out, length, offset); }

 private:
  std::string bytes_;
};

struct Done : tolva::HttpRequestDelegate {
  bool respondsToSelector(std::string_view s) const override { return s == kRequestFinished || s == kRequestFailed; }
  void requestFinished(tolva::HttpRequest*) override { finished = true; }
  void requestFailed(tolva::HttpRequest* r) override {
    std::fprintf(stderr, "request failed: %s\n", r->error()->description().c_str());
    failed = true;
  }
  bool finished = false;
  bool failed = false;
};

// Fetches with the engine; answers the seconds taken, or a negative number on failure.
double tolvaFetch(const std::string& url, const std::string& destination, bool inflateOnTheFly,
                  uint64_t* bytesInMemory = nullptr) {
  kit::Ref<tolva::HttpRequest> r = tolva::HttpRequest::requestWithURL(kit::URL::URLWithString(url));
  r->setDownloadDestinationPath(destination);
  r->setShouldWaitToInflateCompressedResponses(!inflateOnTheFly);
  r->setTimeOutSeconds(60);
  Done d;
  r->setDelegate(&d);
  const auto t0 = Clock::now();
  r->startAsynchronous();
  kit::RunLoop::main().runUntil([&] { return d.finished || d.failed; }, 3600);
  const double s = since(t0);
  if (bytesInMemory) *bytesInMemory = r->rawResponseData() ? r->rawResponseData()->length() : 0;
  r->setDelegate(nullptr);
  return d.finished ? s : -1;
}

double run(std::vector<std::string> args) {
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  const auto t0 = Clock::now();
  if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  const double s = since(t0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? s : -1;
}

double curlFetch(const std::string& url, const std::string& output, bool compressed) {
  std::vector<std::string> args{"curl", "-s", "-f", "-o", output};
  if (compressed) args.push_back("--compressed");
  args.push_back(url);
  return run(args);
}

long peakResidentKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  return -1;
}

void resetPeak() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
}

void report(const char* name, double tolva, double curl) {
  std::printf("case=%s tolva=%.1f curl=%.1f ratio=%.3f\n", name, tolva, curl, curl > 0 ? tolva / curl : 0.0);
  std::fflush(stdout);
}

uint64_t fileSize(const std::string& path) { return kit::FileManager::fileSize(path).value_or(0); }

// Compressible text, about as a large web page or log would be.
std::string compressibleGzip(uint64_t size) {
  static const char* words[] = {"GET ", "/index.html ", "200 ", "tolva ", "keep-alive ", "\n", "gzip "};
  std::mt19937 rng(3);
  z_stream z{};
  deflateInit2(&z, 1, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY);
  std::string out, block;
  std::vector<unsigned char> buffer(1 << 20);
  uint64_t produced = 0;
  while (produced < size) {
    block.clear();
    while (block.size() < (1u << 20)) {
      block += words[rng() % 7];
      block += std::to_string(rng() % 1000);
    }
    block.resize(std::min<uint64_t>(block.size(), size - produced));
    produced += block.size();
    z.next_in = reinterpret_cast<Bytef*>(block.data());
    z.avail_in = static_cast<uInt>(block.size());
    const int flush = produced == size ? Z_FINISH : Z_NO_FLUSH;
    do {
      z.next_out = buffer.data();
      z.avail_out = static_cast<uInt>(buffer.size());
      deflate(&z, flush);
      out.append(reinterpret_cast<char*>(buffer.data()), buffer.size() - z.avail_out);
    } while (z.avail_out == 0);
  }
  deflateEnd(&z);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  const uint64_t size = (argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1024) << 20;
  const int gets = argc > 2 ? std::atoi(argv[2]) : 1000;
  const std::string cases = argc > 3 ? "," + std::string(argv[3]) + "," : std::string();
  auto wanted = [&](const std::string& name) { return cases.empty() || cases.find("," + name + ",") != std::string::npos; };
  kit::Bundle::setMainBundlePath(TOLVA_RESOURCES_DIR);
  tolvatest::TempHome home;
  const std::string dir = kit::Paths::temporaryDirectory();
  const double mb = static_cast<double>(size) / 1e6;

  tolvatest::TestServerLimits limits;
  limits.connectionLifetime = std::chrono::milliseconds(3600 * 1000);
  limits.ioTimeout = std::chrono::milliseconds(60000);
  tolvatest::TestHTTPServerOptions options;
  options.limits = limits;
  tolvatest::TestHTTPServer server(options);
  server.route("GET", "/big", tolvatest::TestResponse::generated(std::make_shared<tolvatest::PseudoRandomBody>(size)));
  server.route("GET", "/small", tolvatest::TestResponse::ok("a small answer"));

  // Each case runs kRounds times, the two clients alternating, and each keeps its best time: the
  // machine is shared, and a slow round says more about the neighbours than about the client.
  constexpr int kRounds = 5;
  auto best = [](double a, double b) { return a < 0 ? b : b < 0 ? a : std::min(a, b); };

  // file_1g first, so that the peak memory is this case's.
  if (wanted("file_1g")) {
    resetPeak();
    const long before = peakResidentKiB();
    long peak = 0;
    double tFile = -1, cFile = -1;
    for (int round = 0; round < kRounds; ++round) {
      tFile = best(tFile, tolvaFetch(server.url("/big"), dir + "/tolva.bin", false));
      if (round == 0) peak = peakResidentKiB();
      if (fileSize(dir + "/tolva.bin") != size) std::fprintf(stderr, "tolva file has the wrong size\n");
      kit::FileManager::removeItem(dir + "/tolva.bin");
      cFile = best(cFile, curlFetch(server.url("/big"), dir + "/curl.bin", false));
      if (fileSize(dir + "/curl.bin") != size) std::fprintf(stderr, "curl file has the wrong size\n");
      kit::FileManager::removeItem(dir + "/curl.bin");
    }
    report("file_1g", mb / tFile, mb / cFile);
    std::printf("case=file_1g_peak_rss tolva_mib=%.1f before_mib=%.1f\n", peak / 1024.0, before / 1024.0);
  }

  if (wanted("memory_1g")) {
    // The engine keeps the body in memory, where every page must be cleared by the kernel before
    // it is filled; curl's body in a file on tmpfs pays the same. /dev/null (no memory at all) is
    // reported beside it.
    const std::string shm = kit::FileManager::isDirectory("/dev/shm") ? "/dev/shm" : dir;
    const std::string inRam = shm + "/tolva-bench-" + std::to_string(::getpid()) + ".bin";
    double tMemory = -1, cMemory = -1, cDiscard = -1;
    for (int round = 0; round < kRounds; ++round) {
      uint64_t inMemory = 0;
      tMemory = best(tMemory, tolvaFetch(server.url("/big"), "", false, &inMemory));
      if (inMemory != size) std::fprintf(stderr, "tolva memory body has the wrong size\n");
      cMemory = best(cMemory, curlFetch(server.url("/big"), inRam, false));
      if (fileSize(inRam) != size) std::fprintf(stderr, "curl in-memory file has the wrong size\n");
      kit::FileManager::removeItem(inRam);
      cDiscard = best(cDiscard, curlFetch(server.url("/big"), "/dev/null", false));
    }
    report("memory_1g", mb / tMemory, mb / cMemory);
    report("memory_1g_vs_discard", mb / tMemory, mb / cDiscard);
  }

  if (wanted("gzip_1g")) {
    server.route("GET", "/big.gz",
                 tolvatest::TestResponse::generated(std::make_shared<StringSource>(compressibleGzip(size)))
                     .header("Content-Encoding", "gzip"));
    double tGzip = -1, cGzip = -1;
    for (int round = 0; round < kRounds; ++round) {
      tGzip = best(tGzip, tolvaFetch(server.url("/big.gz"), dir + "/tolva.txt", true));
      if (fileSize(dir + "/tolva.txt") != size) std::fprintf(stderr, "tolva inflated file has the wrong size\n");
      kit::FileManager::removeItem(dir + "/tolva.txt");
      cGzip = best(cGzip, curlFetch(server.url("/big.gz"), dir + "/curl.txt", true));
      if (fileSize(dir + "/curl.txt") != size) std::fprintf(stderr, "curl inflated file has the wrong size\n");
      kit::FileManager::removeItem(dir + "/curl.txt");
    }
    report("gzip_1g", mb / tGzip, mb / cGzip);
  }

  // Small GETs: one engine request after the other; curl fetches them all in one process.
  if (wanted("small_gets")) {
    {
      std::ofstream config(dir + "/urls.txt");
      for (int i = 0; i < gets; ++i) config << "url = \"" << server.url("/small") << "\"\noutput = \"/dev/null\"\n";
    }
    tolvaFetch(server.url("/small"), "", false);  // opens the kept-alive connection
    double tGets = -1, cGets = -1;
    for (int round = 0; round < kRounds; ++round) {
      auto t0 = Clock::now();
      for (int i = 0; i < gets; ++i) {
        if (tolvaFetch(server.url("/small"), "", false) < 0) return 1;
      }
      tGets = best(tGets, since(t0));
      cGets = best(cGets, run({"curl", "-s", "-f", "-K", dir + "/urls.txt"}));
    }
    report("small_gets", gets / tGets, gets / cGets);
  }
  return 0;
}
