#pragma once
// The small asynchronous request of the web sharers: a URL, an already
// form-encoded parameter text and a method go out; the status, the reply's
// headers and its text come back in one callback. The request keeps itself
// (and its callback) alive until that call has been made.

#include <functional>
#include <string>

#include "kit/foundation/Dictionary.h"
#include "kit/net/HTTPURLResponse.h"
#include "kit/net/URLConnection.h"

namespace tolva {

class ShareRequest : public kit::Object, private kit::URLConnectionDelegate {
 public:
  using IsFinished = std::function<void(ShareRequest& request)>;
  static constexpr double kTimeoutInterval = 90;

  // `params` is the body as given (sent as its UTF-8 bytes); without params
  // the request is a plain GET and `method` is not applied.
  ShareRequest(kit::Ref<kit::URL> url, std::string params, IsFinished isFinished, std::string method, bool autostart);
  ~ShareRequest() override;

  void start();

  kit::URL* url() const noexcept { return url_.get(); }
  const std::string& params() const noexcept { return params_; }
  const std::string& method() const noexcept { return method_; }
  kit::Dictionary* headerFields() const noexcept { return headerFields_.get(); }
  void setHeaderFields(kit::Ref<kit::Dictionary> fields) { headerFields_ = std::move(fields); }

  kit::HTTPURLResponse* response() const noexcept { return response_.get(); }
  // The reply's header fields (null before a response).
  kit::Dictionary* headers() const noexcept { return headers_.get(); }
  kit::Data* data() const noexcept { return data_.get(); }
  // The reply as UTF-8 text, made once.
  const std::string& getResult();
  // Status 200 or 201; a failure without a response has status 0.
  bool success() const noexcept { return success_; }
  int statusCode() const noexcept { return response_ ? response_->statusCode() : 0; }
  // Why no answer came (status 0): the connection's error; null otherwise.
  kit::Error* error() const noexcept { return response_ ? nullptr : error_.get(); }

  std::string className() const override { return "ShareRequest"; }
  std::string description() const override;

 private:
  void didReceiveResponse(kit::URLConnection&, kit::URLResponse& response) override;
  void didReceiveData(kit::URLConnection&, kit::Data& data) override;
  void didFinishLoading(kit::URLConnection&) override;
  void didFailWithError(kit::URLConnection&, kit::Error&) override;
  void finish();

  kit::Ref<kit::URL> url_;
  std::string params_;
  std::string method_;
  kit::Ref<kit::Dictionary> headerFields_;
  IsFinished isFinished_;
  kit::Ref<kit::URLConnection> connection_;
  kit::Ref<kit::HTTPURLResponse> response_;
  kit::Ref<kit::MutableDictionary> headers_;
  kit::Ref<kit::MutableData> data_;
  kit::Ref<kit::Error> error_;
  std::string result_;
  bool haveResult_ = false;
  bool success_ = false;
  kit::Ref<ShareRequest> self_;  // held while the load runs
};

}  // namespace tolva
