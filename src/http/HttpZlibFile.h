#pragma once
// The file-to-file loop both gzip helpers share: read the source a block at a time, pass each
// block through the stream and append what comes out to the destination, with one set of error
// texts that differ only in the work's name.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "kit/foundation/Data.h"
#include "kit/foundation/Error.h"

namespace tolva {

class HttpZlibFile {
 public:
  struct Stream {
    // The bytes to write for the `length` bytes just read into a block of `blockLength`
    // (`length` is 0 once the source has ended); null with *error set on failure.
    std::function<kit::Ref<kit::Data>(const uint8_t* bytes, size_t length, size_t blockLength, kit::Ref<kit::Error>* error)>
        feed;
    // Whether the stream has ended (nothing more is read then).
    std::function<bool()> ended;
    // After the source is read: an error when the stream is incomplete, else null.
    std::function<kit::Ref<kit::Error>()> check;
    // Ends the stream (on every path); its error, if any.
    std::function<kit::Ref<kit::Error>()> close;
  };

  // Runs the file at `sourcePath` through `stream` into `destinationPath`, which appears (replacing
  // any file there) only once complete: a failed or killed run leaves no partial output behind.
  // `work` ("Compression", "Decompression") begins every error text.
  static bool run(const std::string& sourcePath, const std::string& destinationPath, const char* work,
                  const Stream& stream, kit::Ref<kit::Error>* error);

  // Off: outputs are built as named temporaries, as on file systems without unnamed files.
  static void setUnnamedFilesForTesting(bool allowed);

  // An error of the request domain with the compression error's code.
  static kit::Ref<kit::Error> error(const std::string& text, kit::Ref<kit::Error> underlying = nullptr);
};

}  // namespace tolva
