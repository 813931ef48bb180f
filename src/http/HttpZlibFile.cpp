#include "http/HttpZlibFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <vector>

#include "http/HttpDataCompressor.h"
#include "http/HttpErrorType.h"
#include "kit/foundation/AtomicFile.h"
#include "kit/foundation/FileManager.h"
#include "kit/foundation/Format.h"
#include "kit/net/InputStream.h"

namespace tolva {

using kit::Error;
using kit::Ref;

Ref<Error> HttpZlibFile::error(const std::string& text, Ref<Error> underlying) {
  return Error::errorWithDescription(kHttpRequestErrorDomain, kCompressionError, text, std::move(underlying));
}

namespace {

std::atomic<bool> gUnnamedFiles{true};

// Gives the finished output its name, replacing whatever held it: a named temporary is renamed,
// an unnamed one linked (a reader never finds the destination partly written either way).
bool place(int fd, const std::string& tempPath, const std::string& destinationPath) {
  if (!tempPath.empty()) return ::rename(tempPath.c_str(), destinationPath.c_str()) == 0;
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, destinationPath.c_str(), AT_SYMLINK_FOLLOW) == 0) return true;
    if (errno != EEXIST || ::unlink(destinationPath.c_str()) != 0) return false;
  }
  return false;
}

}  // namespace

void HttpZlibFile::setUnnamedFilesForTesting(bool allowed) { gUnnamedFiles.store(allowed); }

bool HttpZlibFile::run(const std::string& sourcePath, const std::string& destinationPath, const char* work,
                       const Stream& stream, Ref<Error>* errorOut) {
  if (errorOut) *errorOut = nullptr;
  auto fail = [&](Ref<Error> e) {
    if (errorOut) *errorOut = std::move(e);
    return false;
  };
  const std::string verb(work);

  // The output is built where no reader can see it and takes its name only when complete: an
  // unnamed file in the destination's folder, or where the file system has none, a named
  // temporary that the next run for this destination sweeps away if its writer died.
  kit::AtomicFile::removeStaleTemporaries(destinationPath);
  const std::string folder = kit::FileManager::folderOf(destinationPath);
  std::string tempPath;
  int out = gUnnamedFiles.load() ? ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0644) : -1;
  if (out < 0) out = kit::AtomicFile::openTemporary(destinationPath, &tempPath);
  auto discard = [&] {
    if (out >= 0) ::close(out);
    out = -1;
    if (!tempPath.empty()) ::unlink(tempPath.c_str());
  };
  if (out < 0) {
    stream.close();
    return fail(error(kit::format("%@ of %@ failed because we were unable to create a file at %@", verb, sourcePath,
                                  destinationPath),
                      Error::posixError(errno, destinationPath)));
  }
  if (!kit::FileManager::fileExists(sourcePath)) {
    stream.close();
    discard();
    return fail(error(kit::format("%@ of %@ failed the file does not exist", verb, sourcePath)));
  }

  Ref<kit::InputStream> in = kit::InputStream::inputStreamWithFileAtPath(sourcePath);
  // Half a result is no result: the output goes.
  auto abandon = [&](Ref<Error> e) {
    stream.close();
    in->close();
    discard();
    return fail(std::move(e));
  };
  auto unreadable = [&] {
    return abandon(error(
        kit::format("%@ of %@ failed because we were unable to read from the source data file", verb, sourcePath),
        in->streamError()));
  };
  if (!in->open()) return unreadable();

  // Both helpers read in blocks of the same size.
  std::vector<uint8_t> block(HttpDataCompressor::kFileChunkLength);
  while (!stream.ended()) {
    const long n = in->read(block.data(), block.size());
    if (n < 0) return unreadable();
    Ref<Error> e;
    Ref<kit::Data> piece = stream.feed(block.data(), static_cast<size_t>(n), block.size(), &e);
    if (!piece) return abandon(e);
    if (piece->length() && !kit::FileManager::writeAll(out, piece->view())) {
      return abandon(error(
          kit::format("%@ of %@ failed because we were unable to write to the destination data file at %@", verb,
                      sourcePath, destinationPath),
          Error::posixError(errno, destinationPath)));
    }
    if (n == 0) break;
  }
  if (Ref<Error> e = stream.check()) return abandon(e);
  in->close();
  if (Ref<Error> e = stream.close()) {
    discard();
    return fail(e);
  }
  if (!place(out, tempPath, destinationPath)) {
    const int err = errno;
    discard();
    return fail(error(kit::format("%@ of %@ failed because we were unable to write to the destination data file at %@",
                                  verb, sourcePath, destinationPath),
                      Error::posixError(err, destinationPath)));
  }
  ::close(out);
  return true;
}

}  // namespace tolva
