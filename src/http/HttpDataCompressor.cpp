#include "http/HttpDataCompressor.h"

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

Ref<Error> compressionError(const std::string& text, Ref<Error> underlying = nullptr) {
  return Error::errorWithDescription(kHttpRequestErrorDomain, kCompressionError, text, std::move(underlying));
}

}  // namespace

Ref<HttpDataCompressor> HttpDataCompressor::compressor() {
  Ref<HttpDataCompressor> c(new HttpDataCompressor());
  c->setupStream();
  return c;
}

HttpDataCompressor::~HttpDataCompressor() {
  if (streamReady_) closeStream();
}

Ref<Error> HttpDataCompressor::setupStream() {
  if (streamReady_) return nullptr;
  zStream_ = z_stream{};
  const int status = deflateInit2(&zStream_, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY);
  if (status != Z_OK) return deflateErrorWithCode(status);
  streamReady_ = true;
  streamEnded_ = false;
  return nullptr;
}

Ref<Error> HttpDataCompressor::closeStream() {
  if (!streamReady_) return nullptr;
  streamReady_ = false;
  const int status = deflateEnd(&zStream_);
  // Ending a stream that was never finished answers Z_DATA_ERROR; that is not a failure here.
  if (status != Z_OK && status != Z_DATA_ERROR) return deflateErrorWithCode(status);
  return nullptr;
}

Ref<Data> HttpDataCompressor::compressBytes(const uint8_t* bytes, size_t length, Ref<Error>* error,
                                            bool shouldFinish) {
  if (error) *error = nullptr;
  if (length == 0) return nullptr;
  if (!streamReady_) {
    if (auto e = setupStream()) {
      if (error) *error = e;
      return nullptr;
    }
  }
  const int flush = shouldFinish ? Z_FINISH : Z_NO_FLUSH;
  int status = Z_OK;
  Ref<Data> out = HttpZlibStep::run(
      zStream_, bytes, length, length / 2, [flush](z_stream& z) { return deflate(&z, flush); }, &status);
  if (!out) {
    if (error) *error = deflateErrorWithCode(status);
    return nullptr;
  }
  if (status == Z_STREAM_END) streamEnded_ = true;
  return out;
}

Ref<Data> HttpDataCompressor::finish(Ref<Error>* error) {
  int status = Z_OK;
  Ref<Data> out = HttpZlibStep::run(
      zStream_, nullptr, 0, 0, [](z_stream& z) { return deflate(&z, Z_FINISH); }, &status);
  if (!out) {
    if (error) *error = deflateErrorWithCode(status);
    return nullptr;
  }
  streamEnded_ = true;
  return out;
}

Ref<Data> HttpDataCompressor::compressData(const Data* data, Ref<Error>* error) {
  if (error) *error = nullptr;
  if (!data || data->length() == 0) return nullptr;
  Ref<HttpDataCompressor> c = compressor();
  Ref<Error> e;
  Ref<Data> out = c->compressBytes(data->bytes(), data->length(), &e, true);
  if (!out) {
    if (error) *error = e;
    return nullptr;
  }
  if (auto closeError = c->closeStream()) {
    if (error) *error = closeError;
    return nullptr;
  }
  return out;
}

bool HttpDataCompressor::compressDataFromFile(const std::string& sourcePath, const std::string& destinationPath,
                                              Ref<Error>* error) {
  if (error) *error = nullptr;
  auto fail = [&](Ref<Error> e) {
    if (error) *error = std::move(e);
    return false;
  };

  Ref<kit::FileHandle> out = kit::FileHandle::fileHandleForAppending(destinationPath);
  if (!out || !out->truncate(0)) {
    return fail(compressionError(
        kit::format("Compression of %@ failed because we were to create a file at %@", sourcePath, destinationPath)));
  }
  if (!kit::FileManager::fileExists(sourcePath)) {
    out->close();
    return fail(compressionError(kit::format("Compression of %@ failed the file does not exist", sourcePath)));
  }
  const uint64_t sourceSize = kit::FileManager::fileSize(sourcePath).value_or(0);

  Ref<HttpDataCompressor> c = compressor();
  Ref<kit::InputStream> in = kit::InputStream::inputStreamWithFileAtPath(sourcePath);
  auto abandon = [&](Ref<Error> e) {
    c->closeStream();
    in->close();
    out->close();
    return fail(std::move(e));
  };
  if (!in->open()) {
    return abandon(compressionError(
        kit::format("Compression of %@ failed because we were unable to read from the source data file", sourcePath),
        in->streamError()));
  }

  std::vector<uint8_t> block(kFileChunkLength);
  uint64_t total = 0;
  while (c->streamReady() && !c->streamEnded_) {
    const long n = in->read(block.data(), block.size());
    if (n < 0) {
      return abandon(compressionError(
          kit::format("Compression of %@ failed because we were unable to read from the source data file", sourcePath),
          in->streamError()));
    }
    Ref<Error> e;
    Ref<Data> piece;
    if (n == 0) {
      // The source ended on a block boundary (or shrank): the gzip stream still needs its end.
      piece = c->finish(&e);
    } else {
      total += static_cast<uint64_t>(n);
      const bool last = static_cast<size_t>(n) < block.size() || total >= sourceSize;
      piece = c->compressBytes(block.data(), static_cast<size_t>(n), &e, last);
    }
    if (!piece) return abandon(e);
    Ref<Error> writeError;
    if (piece->length() && !out->write(piece->view(), &writeError)) {
      return abandon(compressionError(
          kit::format("Compression of %@ failed because we were unable to write to the destination data file at &@",
                      sourcePath),
          writeError));
    }
  }
  in->close();
  out->close();
  if (auto e = c->closeStream()) return fail(e);
  return true;
}

Ref<Error> HttpDataCompressor::deflateErrorWithCode(int code) {
  return compressionError(kit::format("Compression of data failed with code %hi", static_cast<short>(code)));
}

}  // namespace tolva
