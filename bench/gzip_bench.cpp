// The gzip helpers against plain zlib calls on the same 256 MiB input, fed in the same 256 KiB
// blocks: one line per direction,
//   case=deflate|inflate tolva=<MB/s> zlib=<MB/s> ratio=<tolva/zlib>
// Usage: gzip_bench [size in MiB, default 256]

#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "http/HttpDataCompressor.h"
#include "http/HttpDataDecompressor.h"

namespace {

constexpr size_t kBlock = 262144;

double seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Text-like input that compresses about as well as a web page.
std::string makeInput(size_t size) {
  static const char* words[] = {"the ", "request ", "engine ", "<div class=\"item\">", "</div>\n", "gzip ",
                                "window ", "stream ", "href=\"/page/", "\">", "tolva ", "0", "1", "2"};
  std::mt19937 rng(42);
  std::string s;
  s.reserve(size + 64);
  while (s.size() < size) {
    s += words[rng() % 14];
    if (rng() % 7 == 0) s += std::to_string(rng() % 100000);
  }
  s.resize(size);
  return s;
}

size_t tolvaDeflate(const std::string& in) {
  auto c = tolva::HttpDataCompressor::compressor();
  size_t out = 0;
  for (size_t at = 0; at < in.size(); at += kBlock) {
    const size_t n = std::min(kBlock, in.size() - at);
    kit::Ref<kit::Error> e;
    auto piece = c->compressBytes(reinterpret_cast<const uint8_t*>(in.data() + at), n, &e, at + n == in.size());
    if (!piece) std::abort();
    out += piece->length();
  }
  return out;
}

std::string zlibDeflate(const std::string& in) {
  z_stream z{};
  deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY);
  std::string out;
  std::vector<unsigned char> buffer(deflateBound(&z, kBlock) + 64);
  for (size_t at = 0; at < in.size(); at += kBlock) {
    const size_t n = std::min(kBlock, in.size() - at);
    const int flush = at + n == in.size() ? Z_FINISH : Z_NO_FLUSH;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data() + at));
    z.avail_in = static_cast<uInt>(n);
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

size_t tolvaInflate(const std::string& in) {
  auto d = tolva::HttpDataDecompressor::decompressor();
  size_t out = 0;
  for (size_t at = 0; at < in.size(); at += kBlock) {
    const size_t n = std::min(kBlock, in.size() - at);
    kit::Ref<kit::Error> e;
    auto piece = d->uncompressBytes(reinterpret_cast<const uint8_t*>(in.data() + at), n, &e);
    if (!piece) std::abort();
    out += piece->length();
  }
  return out;
}

size_t zlibInflate(const std::string& in) {
  z_stream z{};
  inflateInit2(&z, 47);
  size_t out = 0;
  std::vector<unsigned char> buffer(kBlock * 4);
  for (size_t at = 0; at < in.size(); at += kBlock) {
    const size_t n = std::min(kBlock, in.size() - at);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data() + at));
    z.avail_in = static_cast<uInt>(n);
    do {
      z.next_out = buffer.data();
      z.avail_out = static_cast<uInt>(buffer.size());
      if (inflate(&z, Z_NO_FLUSH) == Z_STREAM_END) z.avail_in = 0;
      out += buffer.size() - z.avail_out;
    } while (z.avail_in > 0 || z.avail_out == 0);
  }
  inflateEnd(&z);
  return out;
}

void line(const char* name, double mb, double tolvaSeconds, double zlibSeconds) {
  const double t = mb / tolvaSeconds, z = mb / zlibSeconds;
  std::printf("case=%s tolva=%.1f zlib=%.1f ratio=%.3f\n", name, t, z, t / z);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  const size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 256;
  const std::string input = makeInput(mib << 20);
  const double mb = static_cast<double>(input.size()) / 1e6;

  // Each side runs twice, alternating, and keeps its better time.
  double tolvaBest = 1e9, zlibBest = 1e9;
  std::string compressed;
  for (int round = 0; round < 2; ++round) {
    auto t0 = std::chrono::steady_clock::now();
    const size_t tolvaOut = tolvaDeflate(input);
    tolvaBest = std::min(tolvaBest, seconds(t0));
    t0 = std::chrono::steady_clock::now();
    compressed = zlibDeflate(input);
    zlibBest = std::min(zlibBest, seconds(t0));
    if (tolvaOut != compressed.size()) std::fprintf(stderr, "deflate sizes differ: %zu %zu\n", tolvaOut, compressed.size());
  }
  line("deflate", mb, tolvaBest, zlibBest);

  tolvaBest = zlibBest = 1e9;
  for (int round = 0; round < 3; ++round) {
    auto t0 = std::chrono::steady_clock::now();
    const size_t tolvaOut = tolvaInflate(compressed);
    tolvaBest = std::min(tolvaBest, seconds(t0));
    t0 = std::chrono::steady_clock::now();
    const size_t zlibOut = zlibInflate(compressed);
    zlibBest = std::min(zlibBest, seconds(t0));
    if (tolvaOut != input.size() || zlibOut != input.size()) std::fprintf(stderr, "inflate sizes differ\n");
  }
  line("inflate", mb, tolvaBest, zlibBest);
  return 0;
}
