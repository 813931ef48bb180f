#include "http/HttpDataCompressor.h"

#include "http/HttpZlibFile.h"
#include "http/HttpZlibStep.h"
#include "kit/foundation/FileManager.h"
#include "kit/foundation/Format.h"

namespace tolva {

using kit::Data;
using kit::Error;
using kit::Ref;

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
  const uint64_t sourceSize = kit::FileManager::fileSize(sourcePath).value_or(0);
  Ref<HttpDataCompressor> c = compressor();
  uint64_t total = 0;
  HttpZlibFile::Stream stream;
  stream.feed = [&](const uint8_t* bytes, size_t n, size_t blockLength, Ref<Error>* e) -> Ref<Data> {
    // A source that ended on a block boundary (or shrank): the gzip stream still needs its end.
    if (n == 0) return c->finish(e);
    total += n;
    return c->compressBytes(bytes, n, e, n < blockLength || total >= sourceSize);
  };
  stream.ended = [&] { return !c->streamReady() || c->streamEnded_; };
  stream.check = [] { return Ref<Error>(); };
  stream.close = [&] { return c->closeStream(); };
  return HttpZlibFile::run(sourcePath, destinationPath, "Compression", stream, error);
}

Ref<Error> HttpDataCompressor::deflateErrorWithCode(int code) {
  return HttpZlibFile::error(kit::format("Compression of data failed with code %hi", static_cast<short>(code)));
}

}  // namespace tolva
