#pragma once
// Gzip compression of request bodies on zlib: one deflate stream per object, kept across calls
// so that a body can be fed in pieces; in memory or file to file.

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "kit/foundation/Data.h"
#include "kit/foundation/Error.h"
#include "kit/foundation/Object.h"

namespace tolva {

class HttpDataCompressor : public kit::Object {
 public:
  // Bytes read from a source file per step.
  static constexpr size_t kFileChunkLength = 262144;

  // A new compressor with its stream set up.
  static kit::Ref<HttpDataCompressor> compressor();
  ~HttpDataCompressor() override;

  // Initialises the deflate stream unless it is ready; null, or the error when zlib refuses.
  kit::Ref<kit::Error> setupStream();
  // Ends the stream when it is ready; null, or the error for zlib's code.
  kit::Ref<kit::Error> closeStream();
  // Compresses one block, ending the gzip stream when `shouldFinish`. Empty input gives null and
  // no error; a zlib failure gives null with *error set.
  kit::Ref<kit::Data> compressBytes(const uint8_t* bytes, size_t length, kit::Ref<kit::Error>* error,
                                    bool shouldFinish);
  // The whole data compressed into one gzip stream (null for empty data, without an error).
  static kit::Ref<kit::Data> compressData(const kit::Data* data, kit::Ref<kit::Error>* error);
  // Compresses a file into a new file (created empty first). The destination stays as far as it
  // was written when something fails.
  static bool compressDataFromFile(const std::string& sourcePath, const std::string& destinationPath,
                                   kit::Ref<kit::Error>* error);
  // "Compression of data failed with code %hi", code 11.
  static kit::Ref<kit::Error> deflateErrorWithCode(int code);

  bool streamReady() const noexcept { return streamReady_; }

  std::string className() const override { return "HttpDataCompressor"; }

 private:
  HttpDataCompressor() = default;
  // Ends the gzip stream with no further input.
  kit::Ref<kit::Data> finish(kit::Ref<kit::Error>* error);

  bool streamReady_ = false;
  bool streamEnded_ = false;
  z_stream zStream_{};
};

}  // namespace tolva
