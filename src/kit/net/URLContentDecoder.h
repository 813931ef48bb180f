#pragma once
// Inflates a response body sent with Content-Encoding gzip, x-gzip or deflate, piece by piece as
// it arrives. Concatenated gzip members are read one after another; "deflate" is taken as zlib
// data, or as raw deflate data when it does not start like zlib (some servers send that).

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace kit {

class URLContentDecoder {
 public:
  // A decoder for the Content-Encoding value, or null for identity (no coding, "identity") and
  // for codings it does not know, whose bodies are passed on as they are.
  static std::unique_ptr<URLContentDecoder> decoderForContentEncoding(std::string_view contentEncoding);
  ~URLContentDecoder();
  URLContentDecoder(const URLContentDecoder&) = delete;
  URLContentDecoder& operator=(const URLContentDecoder&) = delete;

  // Appends the inflated bytes of the next piece to `out`; false once the data turned out broken.
  bool decode(const void* bytes, size_t length, std::string* out);
  // Whether the body ended where a complete stream ends, or was empty (call once it is complete).
  bool finish() const;

 private:
  enum class Kind { Gzip, Deflate };
  explicit URLContentDecoder(Kind kind);
  bool restart(bool raw);
  bool inflateSome(const unsigned char* bytes, size_t length, std::string* out);
  struct Stream;
  Kind kind_;
  std::unique_ptr<Stream> z_;
  bool started_ = false;  // whether the first bytes were seen (deflate picks zlib or raw then)
  bool ended_ = false;    // a stream (or member) ended and nothing followed yet
  bool failed_ = false;
  std::string pending_;   // first byte of a deflate body, until the second one tells zlib from raw
};

}  // namespace kit
