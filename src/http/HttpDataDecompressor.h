#pragma once
// Inflation of gzip or zlib response bodies on zlib: one inflate stream per object (header
// detected automatically), fed chunk by chunk as a response arrives, whole from memory, or file
// to file.

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "kit/foundation/Data.h"
#include "kit/foundation/Error.h"
#include "kit/foundation/Object.h"

namespace tolva {

class HttpDataDecompressor : public kit::Object {
 public:
  static constexpr size_t kFileChunkLength = 262144;

  static kit::Ref<HttpDataDecompressor> decompressor();
  ~HttpDataDecompressor() override;

  kit::Ref<kit::Error> setupStream();
  kit::Ref<kit::Error> closeStream();
  // Inflates one block; empty input gives null and no error; a zlib failure gives null with
  // *error set. Bytes after the end of the compressed stream are ignored.
  kit::Ref<kit::Data> uncompressBytes(const uint8_t* bytes, size_t length, kit::Ref<kit::Error>* error);
  // The whole data inflated. Input that stops before the end of its compressed stream is refused
  // (code 11 with zlib's Z_BUF_ERROR), so a cut-off body never passes for a whole one.
  static kit::Ref<kit::Data> uncompressData(const kit::Data* data, kit::Ref<kit::Error>* error);
  // The same, making no more than `maximumLength` bytes: past that the answer is null with
  // *tooLarge set (a small body may inflate to any size; this is what bounds a bomb).
  static kit::Ref<kit::Data> uncompressData(const kit::Data* data, uint64_t maximumLength, bool* tooLarge,
                                            kit::Ref<kit::Error>* error);
  // File to file, with the same rule for a source that stops early. `stop`, when given, is
  // asked before each block; answering yes ends the work with an error and no output.
  static bool uncompressDataFromFile(const std::string& sourcePath, const std::string& destinationPath,
                                     kit::Ref<kit::Error>* error, const std::function<bool()>& stop = {});
  // "Decompression of data failed with code %hi", code 11.
  static kit::Ref<kit::Error> inflateErrorWithCode(int code);

  bool streamReady() const noexcept { return streamReady_; }
  // Whether the compressed stream's end (its trailer) has been read.
  bool streamEnded() const noexcept { return streamEnded_; }

  std::string className() const override { return "HttpDataDecompressor"; }

 private:
  HttpDataDecompressor() = default;

  bool streamReady_ = false;
  bool streamEnded_ = false;
  size_t lastOutputLength_ = 0;
  z_stream zStream_{};
};

}  // namespace tolva
