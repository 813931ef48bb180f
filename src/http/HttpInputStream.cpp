#include "http/HttpInputStream.h"

namespace tolva {

kit::Ref<HttpInputStream> HttpInputStream::inputStreamWithFileAtPath(const std::string& path, HttpRequest* request) {
  return kit::Ref<HttpInputStream>(new HttpInputStream(kit::InputStream::inputStreamWithFileAtPath(path), request));
}

kit::Ref<HttpInputStream> HttpInputStream::inputStreamWithData(kit::Ref<kit::Data> data, HttpRequest* request) {
  return kit::Ref<HttpInputStream>(new HttpInputStream(kit::InputStream::inputStreamWithData(std::move(data)), request));
}

bool HttpInputStream::open() { return stream_->open(); }
void HttpInputStream::close() { stream_->close(); }
long HttpInputStream::read(uint8_t* buffer, size_t maxLength) { return stream_->read(buffer, maxLength); }
bool HttpInputStream::hasBytesAvailable() const { return stream_->hasBytesAvailable(); }
kit::InputStream::Status HttpInputStream::streamStatus() const { return stream_->streamStatus(); }
kit::Ref<kit::Error> HttpInputStream::streamError() const { return stream_->streamError(); }

}  // namespace tolva
