#include "support/TestCodec.h"

#include <openssl/evp.h>
#include <zlib.h>

#include <cstdio>

#include "support/TestDeflater.h"

namespace tolvatest {

std::string TestCodec::encode(ContentCoding coding, std::string_view data) {
  if (coding == ContentCoding::Identity) return std::string(data);
  TestDeflater deflater(coding);
  std::string out = deflater.feed(data);
  out += deflater.finish();
  return out;
}

std::optional<std::string> TestCodec::decode(ContentCoding coding, std::string_view data) {
  if (coding == ContentCoding::Identity) return std::string(data);
  z_stream z{};
  // 16 + MAX_WBITS: gzip wrapper only; MAX_WBITS: zlib wrapper only.
  if (inflateInit2(&z, coding == ContentCoding::Gzip ? 16 + MAX_WBITS : MAX_WBITS) != Z_OK) return std::nullopt;
  std::string out;
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = uInt(data.size());
  int r;
  do {
    char buffer[65536];
    z.next_out = reinterpret_cast<Bytef*>(buffer);
    z.avail_out = sizeof buffer;
    r = ::inflate(&z, Z_NO_FLUSH);
    if (r != Z_OK && r != Z_STREAM_END) {
      inflateEnd(&z);
      return std::nullopt;
    }
    out.append(buffer, sizeof buffer - z.avail_out);
    if (r == Z_OK && z.avail_in == 0 && z.avail_out != 0) {  // input ended before the stream did
      inflateEnd(&z);
      return std::nullopt;
    }
  } while (r != Z_STREAM_END);
  const bool trailing = z.avail_in != 0;
  inflateEnd(&z);
  if (trailing) return std::nullopt;
  return out;
}

const char* TestCodec::token(ContentCoding coding) {
  switch (coding) {
    case ContentCoding::Gzip: return "gzip";
    case ContentCoding::Deflate: return "deflate";
    case ContentCoding::Identity: break;
  }
  return "";
}

std::string TestCodec::sha256Hex(std::string_view data) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(data.data(), data.size(), digest, &length, EVP_sha256(), nullptr);
  std::string hex;
  char two[3];
  for (unsigned i = 0; i < length; ++i) {
    std::snprintf(two, sizeof two, "%02x", digest[i]);
    hex += two;
  }
  return hex;
}

std::string TestCodec::base64(std::string_view data) {
  std::string out(4 * ((data.size() + 2) / 3) + 1, '\0');
  int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                          reinterpret_cast<const unsigned char*>(data.data()), int(data.size()));
  out.resize(size_t(n));
  return out;
}

std::optional<std::string> TestCodec::base64Decode(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  std::string out(text.size() / 4 * 3 + 1, '\0');
  int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                          reinterpret_cast<const unsigned char*>(text.data()), int(text.size()));
  if (n < 0) return std::nullopt;
  // EVP_DecodeBlock counts the padding as zero bytes.
  size_t padding = 0;
  if (!text.empty() && text.back() == '=') ++padding;
  if (text.size() > 1 && text[text.size() - 2] == '=') ++padding;
  out.resize(size_t(n) - padding);
  return out;
}

}  // namespace tolvatest
