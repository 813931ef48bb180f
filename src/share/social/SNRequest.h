#pragma once
// One request to the social network's graph or REST API: text parameters in
// the URL, images and data in a multipart body (POST only), the JSON answer
// parsed and errors formed in "socialErrDomain". Runs on the main run loop.

#include <functional>
#include <map>
#include <string>

#include "kit/foundation/Data.h"
#include "kit/foundation/Error.h"
#include "kit/net/URLConnection.h"

namespace tolva {

class SNRequest;

class SNRequestDelegate {
 public:
  virtual ~SNRequestDelegate() = default;
  virtual void requestLoading(SNRequest&) {}
  virtual void requestDidReceiveResponse(SNRequest&, kit::URLResponse&) {}
  virtual void requestDidFailWithError(SNRequest&, kit::Error*) {}
  virtual void requestDidLoad(SNRequest&, kit::Object*) {}
  virtual void requestDidLoadRawResponse(SNRequest&, kit::Data*) {}
  // Whether this delegate takes parsed answers or failures at all; when not,
  // the answer is only handed over raw.
  virtual bool wantsParsedAnswers() const { return true; }
};

class SNRequest : public kit::Object, private kit::URLConnectionDelegate {
 public:
  enum State : unsigned { Ready = 0, Loading = 1, Complete = 2, Error = 3 };
  static constexpr const char* kErrorDomain = "socialErrDomain";
  // An answer that carries an error without a numeric code: the sharer takes
  // it as a login problem.
  static constexpr long kGenericErrorCode = 10000;
  // Errors this client forms itself (a refusal the body does not explain, an
  // address that cannot be built): a failed request, no login problem.
  static constexpr long kClientErrorCode = 10001;
  static constexpr const char* kBoundary = "3i2ndDfv2rTHiSisAbouNdArYfORhtTPEefj3q2f";
  static constexpr double kTimeoutInterval = 180;
  // Values are kit::String, kit::Image or kit::Data.
  using Params = std::map<std::string, kit::Ref<kit::Object>>;

  static kit::Ref<SNRequest> getRequestWithParams(Params params, std::string httpMethod, SNRequestDelegate* delegate,
                                                  std::string url);
  ~SNRequest() override;

  static std::string serializeURL(const std::string& base, const Params& params, const std::string& httpMethod = "GET");
  // The answer read as JSON (see the table in the source); the error, when one
  // is formed and `error` is given.
  static kit::Ref<kit::Object> parseJsonResponse(const kit::Data& data, kit::Ref<kit::Error>* error);
  static kit::Ref<kit::Error> formError(long code, kit::Ref<kit::Dictionary> userInfo);

  void connect();
  bool loading() const noexcept { return static_cast<bool>(connection_); }
  kit::Ref<kit::Data> generatePostBody() const;

  SNRequestDelegate* delegate() const noexcept { return delegate_; }
  void setDelegate(SNRequestDelegate* d) { delegate_ = d; }
  const std::string& url() const noexcept { return url_; }
  const std::string& httpMethod() const noexcept { return httpMethod_; }
  Params& params() noexcept { return params_; }
  State state() const noexcept { return state_; }
  kit::Error* error() const noexcept { return error_.get(); }
  // Called after each change of state (the client's bookkeeping).
  void setStateObserver(std::function<void(SNRequest&)> observer) { stateObserver_ = std::move(observer); }

  std::string className() const override { return "SNRequest"; }

 private:
  SNRequest(Params params, std::string httpMethod, SNRequestDelegate* delegate, std::string url);
  void setState(State s);
  void failWithError(kit::Error* error);
  void handleResponseData(kit::Data& data);
  void didReceiveResponse(kit::URLConnection&, kit::URLResponse& response) override;
  void didReceiveData(kit::URLConnection&, kit::Data& data) override;
  kit::Ref<kit::CachedURLResponse> willCacheResponse(kit::URLConnection&, kit::Ref<kit::CachedURLResponse>) override {
    return nullptr;
  }
  void didFinishLoading(kit::URLConnection&) override;
  void didFailWithError(kit::URLConnection&, kit::Error& error) override;

  SNRequestDelegate* delegate_;
  std::string url_;
  std::string httpMethod_;
  Params params_;
  kit::Ref<kit::URLConnection> connection_;
  kit::Ref<kit::MutableData> responseText_;
  int status_ = 0;
  State state_ = Ready;
  kit::Ref<kit::Error> error_;
  std::function<void(SNRequest&)> stateObserver_;
};

}  // namespace tolva
