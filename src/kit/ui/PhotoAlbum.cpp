#include "kit/ui/PhotoAlbum.h"

#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <deque>
#include <mutex>

#include "kit/foundation/FileManager.h"
#include "kit/foundation/RunLoop.h"
#include "kit/foundation/Thread.h"

namespace kit {
namespace {

// Never destroyed: a write still running on its thread while the process
// exits may ask for the folder after static destructors ran.
struct Album {
  std::mutex mutex;
  std::string folder;
  std::deque<std::string> written;
};
Album& album() {
  static Album* a = new Album();
  return *a;
}

std::string baseName() {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  char stamp[64];
  std::strftime(stamp, sizeof stamp, "Picture %Y-%m-%d %H.%M.%S", &tm);
  return stamp;
}

}  // namespace

void PhotoAlbum::setFolder(std::string folder) {
  std::lock_guard<std::mutex> lock(album().mutex);
  album().folder = std::move(folder);
}

std::string PhotoAlbum::folder() {
  std::lock_guard<std::mutex> lock(album().mutex);
  return album().folder;
}

std::vector<std::string> PhotoAlbum::writtenFiles() {
  std::lock_guard<std::mutex> lock(album().mutex);
  return {album().written.begin(), album().written.end()};
}

std::optional<std::string> PhotoAlbum::writeImageNow(const Image& image, Ref<Error>* error) {
  auto fail = [&](long code, const std::string& why) -> std::optional<std::string> {
    if (error) *error = Error::errorWithDescription(kErrorDomain, code, why);
    return std::nullopt;
  };
  const std::string dir = folder();
  if (dir.empty()) return fail(NoFolder, "There is no picture folder.");
  Ref<Data> png = image.pngData();
  if (!png) return fail(NoImage, "The picture has no pixels.");
  if (!FileManager::createDirectory(dir, true)) return fail(WriteFailed, "Cannot create " + dir + ".");
  // Written whole under a temporary name, then linked to a free name: link()
  // never replaces an existing file, so two saves can never overwrite each other.
  Ref<Error> writeError;
  std::optional<std::string> temp = FileManager::createUniqueFile(dir, ".picture-", ".tmp", &writeError);
  if (!temp) return fail(WriteFailed, writeError ? writeError->localizedDescription() : "Cannot write the picture.");
  std::string_view bytes(reinterpret_cast<const char*>(png->bytes()), png->length());
  if (!FileManager::writeFile(*temp, bytes, &writeError)) {
    ::unlink(temp->c_str());
    return fail(WriteFailed, writeError ? writeError->localizedDescription() : "Cannot write the picture.");
  }
  const std::string base = dir + "/" + baseName();
  for (int n = 1; n < 10000; ++n) {
    std::string path = base + (n == 1 ? std::string() : " " + std::to_string(n)) + ".png";
    if (::link(temp->c_str(), path.c_str()) == 0) {
      ::unlink(temp->c_str());
      std::lock_guard<std::mutex> lock(album().mutex);
      album().written.push_back(path);
      if (album().written.size() > kRememberedFiles) album().written.pop_front();
      return path;
    }
    if (errno != EEXIST) break;
  }
  ::unlink(temp->c_str());
  return fail(WriteFailed, "Cannot name the picture in " + dir + ".");
}

void PhotoAlbum::writeImage(Ref<Image> image, Completion completion) {
  Thread::detachNewThread(
      [image = std::move(image), completion = std::move(completion)]() mutable {
        Ref<Error> error;
        if (!image)
          error = Error::errorWithDescription(kErrorDomain, NoImage, "There is no picture.");
        else
          writeImageNow(*image, &error);
        image = nullptr;  // released here, not on the main thread
        if (!completion) return;
        RunLoop::performOnMainThread([completion = std::move(completion), error] { completion(error.get()); });
      },
      "photo album");
}

}  // namespace kit
