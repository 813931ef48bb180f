#pragma once
// What a request reports to its progress delegates (and its queue object), on the main thread:
// byte counts and growth of the expected size, and a fraction for a progress bar. Every call is
// optional; a delegate answers respondsToSelector for the names it handles.

#include <cstdint>
#include <string_view>

namespace tolva {

class HttpRequest;

class HttpProgressDelegate {
 public:
  static constexpr const char* kRequestDidReceiveBytes = "request:didReceiveBytes:";
  static constexpr const char* kRequestDidSendBytes = "request:didSendBytes:";
  static constexpr const char* kRequestIncrementDownloadSizeBy = "request:incrementDownloadSizeBy:";
  static constexpr const char* kRequestIncrementUploadSizeBy = "request:incrementUploadSizeBy:";
  static constexpr const char* kSetProgress = "setProgress:";

  virtual ~HttpProgressDelegate() = default;

  virtual bool respondsToSelector(std::string_view selector) const {
    (void)selector;
    return false;
  }

  virtual void requestDidReceiveBytes(HttpRequest* request, int64_t bytes) {
    (void)request;
    (void)bytes;
  }
  virtual void requestDidSendBytes(HttpRequest* request, int64_t bytes) {
    (void)request;
    (void)bytes;
  }
  virtual void requestIncrementDownloadSizeBy(HttpRequest* request, int64_t newLength) {
    (void)request;
    (void)newLength;
  }
  virtual void requestIncrementUploadSizeBy(HttpRequest* request, int64_t newLength) {
    (void)request;
    (void)newLength;
  }
  virtual void setProgress(float progress) { (void)progress; }
};

}  // namespace tolva
