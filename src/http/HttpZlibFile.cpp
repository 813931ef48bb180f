#include "http/HttpZlibFile.h"

#include <vector>

#include "http/HttpDataCompressor.h"
#include "http/HttpErrorType.h"
#include "kit/foundation/FileHandle.h"
#include "kit/foundation/FileManager.h"
#include "kit/foundation/Format.h"
#include "kit/net/InputStream.h"

namespace tolva {

using kit::Error;
using kit::Ref;

Ref<Error> HttpZlibFile::error(const std::string& text, Ref<Error> underlying) {
  return Error::errorWithDescription(kHttpRequestErrorDomain, kCompressionError, text, std::move(underlying));
}

bool HttpZlibFile::run(const std::string& sourcePath, const std::string& destinationPath, const char* work,
                       const Stream& stream, Ref<Error>* errorOut) {
  if (errorOut) *errorOut = nullptr;
  auto fail = [&](Ref<Error> e) {
    if (errorOut) *errorOut = std::move(e);
    return false;
  };
  const std::string verb(work);

  Ref<kit::FileHandle> out = kit::FileHandle::fileHandleForAppending(destinationPath);
  if (!out || !out->truncate(0)) {
    stream.close();
    return fail(error(
        kit::format("%@ of %@ failed because we were to create a file at %@", verb, sourcePath, destinationPath)));
  }
  if (!kit::FileManager::fileExists(sourcePath)) {
    stream.close();
    out->close();
    kit::FileManager::removeItem(destinationPath);
    return fail(error(kit::format("%@ of %@ failed the file does not exist", verb, sourcePath)));
  }

  Ref<kit::InputStream> in = kit::InputStream::inputStreamWithFileAtPath(sourcePath);
  // Half a result is no result: the destination goes.
  auto abandon = [&](Ref<Error> e) {
    stream.close();
    in->close();
    out->close();
    kit::FileManager::removeItem(destinationPath);
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
    Ref<Error> writeError;
    if (piece->length() && !out->write(piece->view(), &writeError)) {
      return abandon(error(
          kit::format("%@ of %@ failed because we were unable to write to the destination data file at %@", verb,
                      sourcePath, destinationPath),
          writeError));
    }
    if (n == 0) break;
  }
  if (Ref<Error> e = stream.check()) return abandon(e);
  in->close();
  out->close();
  if (Ref<Error> e = stream.close()) {
    kit::FileManager::removeItem(destinationPath);
    return fail(e);
  }
  return true;
}

}  // namespace tolva
