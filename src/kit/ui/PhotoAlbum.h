#pragma once
// The picture folder pictures are saved into. The window backend points it
// at the desktop's Pictures folder; headless it has no folder until a test
// gives one, so a test never writes into the user's pictures. Every saved
// picture gets a new file name: nothing is ever overwritten.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "kit/foundation/Error.h"
#include "kit/ui/Image.h"

namespace kit {

class PhotoAlbum {
 public:
  static constexpr const char* kErrorDomain = "PhotoAlbumErrorDomain";
  enum ErrorCode { NoFolder = 1, NoImage = 2, WriteFailed = 3 };
  using Completion = std::function<void(Error* error)>;

  static void setFolder(std::string folder);
  static std::string folder();

  // Encodes and writes a PNG of the image on a thread of its own (a large
  // picture never stalls the caller); the completion (when given) runs on
  // the main thread with null or the reason it failed. Callable from any thread.
  static void writeImage(Ref<Image> image, Completion completion = {});
  // The same, synchronously: the path written, or nullopt with the error.
  static std::optional<std::string> writeImageNow(const Image& image, Ref<Error>* error = nullptr);

  // The last kRememberedFiles paths written by this process, oldest first
  // (a long session saving pictures keeps no ever-growing list).
  static constexpr size_t kRememberedFiles = 64;
  static std::vector<std::string> writtenFiles();
};

}  // namespace kit
