#include "kit/net/URLContentDecoder.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>

namespace kit {

struct URLContentDecoder::Stream {
  z_stream z{};
  bool live = false;
  ~Stream() {
    if (live) inflateEnd(&z);
  }
};

std::unique_ptr<URLContentDecoder> URLContentDecoder::decoderForContentEncoding(std::string_view value) {
  while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
  while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
  std::string v(value);
  std::transform(v.begin(), v.end(), v.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  if (v == "gzip" || v == "x-gzip") return std::unique_ptr<URLContentDecoder>(new URLContentDecoder(Kind::Gzip));
  if (v == "deflate") return std::unique_ptr<URLContentDecoder>(new URLContentDecoder(Kind::Deflate));
  return nullptr;
}

URLContentDecoder::URLContentDecoder(Kind kind) : kind_(kind), z_(new Stream()) {}

URLContentDecoder::~URLContentDecoder() = default;

bool URLContentDecoder::restart(bool raw) {
  if (z_->live) inflateEnd(&z_->z);
  z_->z = z_stream{};
  const int bits = kind_ == Kind::Gzip ? 16 + MAX_WBITS : (raw ? -MAX_WBITS : MAX_WBITS);
  z_->live = inflateInit2(&z_->z, bits) == Z_OK;
  ended_ = false;
  return z_->live;
}

bool URLContentDecoder::decode(const void* bytes, size_t length, std::string* out) {
  if (failed_) return false;
  if (length == 0) return true;
  const auto* in = static_cast<const unsigned char*>(bytes);
  if (!started_) {
    if (kind_ == Kind::Deflate) {
      // zlib data starts with a header whose first two bytes, read big-endian, are a multiple of 31.
      pending_.append(reinterpret_cast<const char*>(in), length);
      if (pending_.size() < 2) return true;
      const unsigned b0 = static_cast<unsigned char>(pending_[0]), b1 = static_cast<unsigned char>(pending_[1]);
      const bool zlib = (b0 & 0x0f) == Z_DEFLATED && ((b0 << 8) | b1) % 31 == 0;
      started_ = true;
      if (!restart(!zlib)) return !(failed_ = true);
      std::string first;
      first.swap(pending_);
      return inflateSome(reinterpret_cast<const unsigned char*>(first.data()), first.size(), out);
    }
    started_ = true;
    if (!restart(false)) return !(failed_ = true);
  }
  return inflateSome(in, length, out);
}

bool URLContentDecoder::inflateSome(const unsigned char* in, size_t length, std::string* out) {
  z_stream& z = z_->z;
  while (length > 0) {
    if (ended_) {
      // After a complete stream: another gzip member may follow; anything else is padding some
      // servers add, and is ignored.
      if (kind_ != Kind::Gzip || in[0] != 0x1f) return true;
      if (!restart(false)) return !(failed_ = true);
    }
    const uInt chunk = static_cast<uInt>(std::min<size_t>(length, 1u << 30));
    z.next_in = const_cast<Bytef*>(in);
    z.avail_in = chunk;
    int rc;
    do {
      unsigned char buffer[16384];
      z.next_out = buffer;
      z.avail_out = sizeof buffer;
      rc = inflate(&z, Z_NO_FLUSH);
      if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) return !(failed_ = true);
      out->append(reinterpret_cast<const char*>(buffer), sizeof buffer - z.avail_out);
      if (rc == Z_STREAM_END) {
        ended_ = true;
        break;
      }
      if (rc == Z_BUF_ERROR && z.avail_out != 0) break;  // needs more input
    } while (z.avail_in > 0 || z.avail_out == 0);
    const size_t used = chunk - z.avail_in;
    in += used;
    length -= used;
    if (!ended_ && used == 0 && z.avail_in > 0) return !(failed_ = true);
  }
  return true;
}

bool URLContentDecoder::finish() const {
  if (failed_) return false;
  if (!started_) return pending_.empty();
  return ended_;
}

}  // namespace kit
