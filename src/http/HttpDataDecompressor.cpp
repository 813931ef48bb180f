#include "http/HttpDataDecompressor.h"

#include <algorithm>

#include "http/HttpZlibFile.h"
#include "http/HttpZlibStep.h"
#include "kit/foundation/Format.h"

namespace tolva {

using kit::Data;
using kit::Error;
using kit::Ref;

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

Ref<Data> HttpDataDecompressor::uncompressData(const Data* data, uint64_t maximumLength, bool* tooLarge,
                                               Ref<Error>* error) {
  if (error) *error = nullptr;
  *tooLarge = false;
  if (!data || data->length() == 0) return nullptr;
  // Fed in small slices, so that no single step can make more than the bound allows by much.
  constexpr size_t kSlice = 16384;
  Ref<HttpDataDecompressor> d = decompressor();
  auto out = kit::MutableData::data();
  for (size_t at = 0; at < data->length() && !d->streamEnded(); at += kSlice) {
    Ref<Error> e;
    Ref<Data> piece = d->uncompressBytes(data->bytes() + at, std::min(kSlice, data->length() - at), &e);
    if (!piece) {
      if (error) *error = e;
      return nullptr;
    }
    if (out->length() + piece->length() > maximumLength) {
      *tooLarge = true;
      return nullptr;
    }
    out->appendData(*piece);
  }
  Ref<Error> e = d->streamEnded() ? d->closeStream() : inflateErrorWithCode(Z_BUF_ERROR);
  if (e) {
    if (error) *error = e;
    return nullptr;
  }
  return out;
}

bool HttpDataDecompressor::uncompressDataFromFile(const std::string& sourcePath, const std::string& destinationPath,
                                                  Ref<Error>* error, const std::function<bool()>& stop) {
  Ref<HttpDataDecompressor> d = decompressor();
  HttpZlibFile::Stream stream;
  stream.feed = [&](const uint8_t* bytes, size_t n, size_t, Ref<Error>* e) -> Ref<Data> {
    if (stop && stop()) {
      *e = HttpZlibFile::error("Decompression was stopped");
      return nullptr;
    }
    return n ? d->uncompressBytes(bytes, n, e) : kit::make<Data>();
  };
  stream.ended = [&] { return !d->streamReady() || d->streamEnded(); };
  // A source that stops inside the compressed stream is a damaged file, not a shorter body.
  stream.check = [&] { return d->streamEnded() ? Ref<Error>() : inflateErrorWithCode(Z_BUF_ERROR); };
  stream.close = [&] { return d->closeStream(); };
  return HttpZlibFile::run(sourcePath, destinationPath, "Decompression", stream, error);
}

Ref<Error> HttpDataDecompressor::inflateErrorWithCode(int code) {
  return HttpZlibFile::error(kit::format("Decompression of data failed with code %hi", static_cast<short>(code)));
}

}  // namespace tolva
