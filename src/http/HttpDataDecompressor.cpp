#include "http/HttpDataDecompressor.h"

#include <algorithm>
#include <vector>

#include "http/HttpErrorType.h"
#include "http/HttpZlibStep.h"
#include "kit/foundation/FileHandle.h"
#include "kit/foundation/FileManager.h"
#include "kit/foundation/Format.h"
#include "kit/net/InputStream.h"

namespace tolva {

using kit::Data;
using kit::Error;
using kit::Ref;

namespace {

Ref<Error> decompressionError(const std::string& text, Ref<Error> underlying = nullptr) {
  return Error::errorWithDescription(kHttpRequestErrorDomain, kCompressionError, text, std::move(underlying));
}

}  // namespace

Ref<HttpDataDecompressor> HttpDataDecompressor::decompressor() {
  Ref<HttpDataDecompressor> d(new HttpDataDecompressor());
  d->setupStream();
  return d;
}

HttpDataDecompressor::~HttpDataDecompressor() {
  if (streamReady_) closeStream();
}

Ref<Error> HttpDataDecompressor::setupStream() {
  if (streamReady_) return nullptr;
  zStream_ = z_stream{};
  const int status = inflateInit2(&zStream_, 47);
  if (status != Z_OK) return inflateErrorWithCode(status);
  streamReady_ = true;
  streamEnded_ = false;
  return nullptr;
}

Ref<Error> HttpDataDecompressor::closeStream() {
  if (!streamReady_) return nullptr;
  streamReady_ = false;
  const int status = inflateEnd(&zStream_);
  if (status != Z_OK) return inflateErrorWithCode(status);
  return nullptr;
}

Ref<Data> HttpDataDecompressor::uncompressBytes(const uint8_t* bytes, size_t length, Ref<Error>* error) {
  if (error) *error = nullptr;
  if (length == 0) return nullptr;
  if (!streamReady_) {
    if (auto e = setupStream()) {
      if (error) *error = e;
      return nullptr;
    }
  }
  if (streamEnded_) return kit::make<Data>();
  int status = Z_OK;
  // Chunks of one body inflate alike: the last output size is a better first guess than the input's.
  const size_t guess = std::max(length + length / 2, lastOutputLength_ + lastOutputLength_ / 8);
  Ref<Data> out = HttpZlibStep::run(
      zStream_, bytes, length, guess, [](z_stream& z) { return inflate(&z, Z_NO_FLUSH); }, &status);
  if (!out) {
    if (error) *error = inflateErrorWithCode(status);
    return nullptr;
  }
  lastOutputLength_ = out->length();
  if (status == Z_STREAM_END) {
    streamEnded_ = true;
    // Whatever follows the trailer is not part of the body.
    zStream_.avail_in = 0;
  }
  return out;
}

Ref<Data> HttpDataDecompressor::uncompressData(const Data* data, Ref<Error>* error) {
  if (error) *error = nullptr;
  if (!data || data->length() == 0) return nullptr;
  Ref<HttpDataDecompressor> d = decompressor();
  Ref<Error> e;
  Ref<Data> out = d->uncompressBytes(data->bytes(), data->length(), &e);
  if (!out) {
    if (error) *error = e;
    return nullptr;
  }
  if (!d->streamEnded()) {
    if (error) *error = inflateErrorWithCode(Z_BUF_ERROR);
    return nullptr;
  }
  if (auto closeError = d->closeStream()) {
    if (error) *error = closeError;
    return nullptr;
  }
  return out;
}

bool HttpDataDecompressor::uncompressDataFromFile(const std::string& sourcePath, const std::string& destinationPath,
                                                  Ref<Error>* error) {
  if (error) *error = nullptr;
  auto fail = [&](Ref<Error> e) {
    if (error) *error = std::move(e);
    return false;
  };

  Ref<kit::FileHandle> out = kit::FileHandle::fileHandleForAppending(destinationPath);
  if (!out || !out->truncate(0)) {
    return fail(decompressionError(kit::format("Decompression of %@ failed because we were to create a file at %@",
                                               sourcePath, destinationPath)));
  }
  if (!kit::FileManager::fileExists(sourcePath)) {
    out->close();
    return fail(decompressionError(kit::format("Decompression of %@ failed the file does not exist", sourcePath)));
  }

  Ref<HttpDataDecompressor> d = decompressor();
  Ref<kit::InputStream> in = kit::InputStream::inputStreamWithFileAtPath(sourcePath);
  auto abandon = [&](Ref<Error> e) {
    d->closeStream();
    in->close();
    out->close();
    return fail(std::move(e));
  };
  if (!in->open()) {
    return abandon(decompressionError(
        kit::format("Decompression of %@ failed because we were unable to read from the source data file", sourcePath),
        in->streamError()));
  }

  std::vector<uint8_t> block(kFileChunkLength);
  while (d->streamReady() && !d->streamEnded()) {
    const long n = in->read(block.data(), block.size());
    if (n < 0) {
      return abandon(decompressionError(
          kit::format("Decompression of %@ failed because we were unable to read from the source data file",
                      sourcePath),
          in->streamError()));
    }
    if (n == 0) break;
    Ref<Error> e;
    Ref<Data> piece = d->uncompressBytes(block.data(), static_cast<size_t>(n), &e);
    if (!piece) return abandon(e);
    Ref<Error> writeError;
    if (piece->length() && !out->write(piece->view(), &writeError)) {
      return abandon(decompressionError(
          kit::format(
              "Decompression of %@ failed because we were unable to write to the destination data file at &@",
              sourcePath),
          writeError));
    }
  }
  // A source that stops inside the compressed stream is a damaged file, not a shorter body.
  if (!d->streamEnded()) return abandon(inflateErrorWithCode(Z_BUF_ERROR));
  in->close();
  out->close();
  if (auto e = d->closeStream()) return fail(e);
  return true;
}

Ref<Error> HttpDataDecompressor::inflateErrorWithCode(int code) {
  return decompressionError(kit::format("Decompression of data failed with code %hi", static_cast<short>(code)));
}

}  // namespace tolva
