#pragma once
// Content codings and digests for tests: gzip and zlib ("deflate") both ways,
// SHA-256, Base64.

#include <optional>
#include <string>
#include <string_view>

namespace tolvatest {

enum class ContentCoding { Identity, Gzip, Deflate };

class TestCodec {
 public:
  static std::string encode(ContentCoding coding, std::string_view data);
  static std::string gzip(std::string_view data) { return encode(ContentCoding::Gzip, data); }
  static std::string deflate(std::string_view data) { return encode(ContentCoding::Deflate, data); }
  // nullopt when the input is not a complete, valid stream of that coding.
  static std::optional<std::string> decode(ContentCoding coding, std::string_view data);
  static std::optional<std::string> gunzip(std::string_view data) { return decode(ContentCoding::Gzip, data); }
  static std::optional<std::string> inflate(std::string_view data) { return decode(ContentCoding::Deflate, data); }
  // The Content-Encoding token ("gzip", "deflate", "" for identity).
  static const char* token(ContentCoding coding);

  static std::string sha256Hex(std::string_view data);
  static std::string base64(std::string_view data);
  static std::optional<std::string> base64Decode(std::string_view text);
};

}  // namespace tolvatest
