#pragma once
// The body stream a request hands to its read stream: it wraps a stream over a file or over data
// and passes every read through the engine's class-wide bandwidth accounting and throttle, so
// uploads count against the same budget as downloads. Everything else goes to the wrapped stream.

#include <string>

#include "kit/foundation/Data.h"
#include "kit/net/InputStream.h"

namespace tolva {

class HttpRequest;

class HttpInputStream : public kit::InputStream {
 public:
  static kit::Ref<HttpInputStream> inputStreamWithFileAtPath(const std::string& path, HttpRequest* request);
  static kit::Ref<HttpInputStream> inputStreamWithData(kit::Ref<kit::Data> data, HttpRequest* request);

  bool open() override;
  void close() override;
  long read(uint8_t* buffer, size_t maxLength) override;
  bool hasBytesAvailable() const override;
  Status streamStatus() const override;
  kit::Ref<kit::Error> streamError() const override;
  bool setClient(unsigned events, Client client) override;
  void scheduleInRunLoop(kit::RunLoop& loop, const std::string& mode) override;
  void unscheduleFromRunLoop(kit::RunLoop& loop, const std::string& mode) override;

  kit::InputStream* stream() const noexcept { return stream_.get(); }
  void setStream(kit::Ref<kit::InputStream> stream) { stream_ = std::move(stream); }
  // The request the body belongs to (not retained).
  HttpRequest* request() const noexcept { return request_; }
  void setRequest(HttpRequest* request) { request_ = request; }

  std::string className() const override { return "HttpInputStream"; }

 private:
  HttpInputStream(kit::Ref<kit::InputStream> stream, HttpRequest* request)
      : stream_(std::move(stream)), request_(request) {}

  kit::Ref<kit::InputStream> stream_;
  HttpRequest* request_;
};

}  // namespace tolva
