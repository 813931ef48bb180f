#include "support/TestDeflater.h"

#include <zlib.h>

#include <stdexcept>

namespace tolvatest {

struct TestDeflater::Stream {
  z_stream z{};
  bool finished = false;
};

TestDeflater::TestDeflater(ContentCoding coding) : stream_(std::make_unique<Stream>()) {
  if (coding == ContentCoding::Identity) throw std::invalid_argument("TestDeflater needs gzip or deflate");
  int bits = coding == ContentCoding::Gzip ? 16 + MAX_WBITS : MAX_WBITS;
  if (deflateInit2(&stream_->z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, bits, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    throw std::runtime_error("deflateInit2 failed");
}

TestDeflater::~TestDeflater() { deflateEnd(&stream_->z); }

namespace {

std::string run(z_stream& z, std::string_view data, int flush) {
  std::string out;
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = uInt(data.size());
  char buffer[65536];
  for (;;) {
    z.next_out = reinterpret_cast<Bytef*>(buffer);
    z.avail_out = sizeof buffer;
    int r = deflate(&z, flush);
    out.append(buffer, sizeof buffer - z.avail_out);
    if (r == Z_STREAM_END) break;
    if (r != Z_OK && r != Z_BUF_ERROR) throw std::runtime_error("deflate failed");
    if (z.avail_out != 0 && z.avail_in == 0 && flush != Z_FINISH) break;
  }
  return out;
}

}  // namespace

std::string TestDeflater::feed(std::string_view data) {
  if (stream_->finished) throw std::logic_error("TestDeflater fed after finish");
  std::string out;
  // zlib counts input in 32 bits.
  while (data.size() > (1u << 30)) {
    out += run(stream_->z, data.substr(0, 1u << 30), Z_NO_FLUSH);
    data.remove_prefix(1u << 30);
  }
  out += run(stream_->z, data, Z_NO_FLUSH);
  return out;
}

std::string TestDeflater::finish() {
  if (stream_->finished) return std::string();
  stream_->finished = true;
  return run(stream_->z, std::string_view(), Z_FINISH);
}

}  // namespace tolvatest
