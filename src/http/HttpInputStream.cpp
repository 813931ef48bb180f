#include "http/HttpInputStream.h"

#include <mutex>

#include "http/HttpRequest.h"

namespace tolva {

namespace {

// Serialises the throttle check and the accounting of every read of every body stream.
std::mutex& readLock() {
  static auto* lock = new std::mutex();
  return *lock;
}

}  // namespace

kit::Ref<HttpInputStream> HttpInputStream::inputStreamWithFileAtPath(const std::string& path, HttpRequest* request) {
  return kit::Ref<HttpInputStream>(new HttpInputStream(kit::InputStream::inputStreamWithFileAtPath(path), request));
}

kit::Ref<HttpInputStream> HttpInputStream::inputStreamWithData(kit::Ref<kit::Data> data, HttpRequest* request) {
  return kit::Ref<HttpInputStream>(new HttpInputStream(kit::InputStream::inputStreamWithData(std::move(data)), request));
}

bool HttpInputStream::open() { return stream_->open(); }
void HttpInputStream::close() { stream_->close(); }

long HttpInputStream::read(uint8_t* buffer, size_t maxLength) {
  {
    std::lock_guard<std::mutex> g(readLock());
    if (HttpRequest::isBandwidthThrottled()) {
      const unsigned long allowed = HttpRequest::maxUploadReadLength();
      if (allowed <= maxLength) maxLength = allowed == 0 ? 1 : allowed;
      if (request_) request_->performThrottling();
    }
    // What is asked for is counted, not what the read returns.
    HttpRequest::incrementBandwidthUsedInLastSecond(static_cast<unsigned long>(maxLength));
  }
  return stream_->read(buffer, maxLength);
}

bool HttpInputStream::hasBytesAvailable() const { return stream_->hasBytesAvailable(); }
kit::InputStream::Status HttpInputStream::streamStatus() const { return stream_->streamStatus(); }
kit::Ref<kit::Error> HttpInputStream::streamError() const { return stream_->streamError(); }
bool HttpInputStream::setClient(unsigned events, Client client) { return stream_->setClient(events, std::move(client)); }
void HttpInputStream::scheduleInRunLoop(kit::RunLoop& loop, const std::string& mode) {
  stream_->scheduleInRunLoop(loop, mode);
}
void HttpInputStream::unscheduleFromRunLoop(kit::RunLoop& loop, const std::string& mode) {
  stream_->unscheduleFromRunLoop(loop, mode);
}

}  // namespace tolva
