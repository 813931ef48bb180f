#include "share/services/ShareRequest.h"

#include "kit/foundation/String.h"
#include "kit/net/URLError.h"

namespace tolva {

ShareRequest::ShareRequest(kit::Ref<kit::URL> url, std::string params, IsFinished isFinished, std::string method,
                           bool autostart)
    : url_(std::move(url)), params_(std::move(params)), method_(std::move(method)), isFinished_(std::move(isFinished)) {
  if (autostart) start();
}

ShareRequest::~ShareRequest() {
  if (connection_) connection_->cancel();
}

void ShareRequest::start() {
  if (self_) return;
  data_ = kit::MutableData::data();
  self_ = kit::Ref<ShareRequest>(this);
  if (!url_) {
    // Reported on a later turn, as a failed connection would be.
    error_ = kit::URLError::make(kit::URLError::kBadURL, nullptr);
    kit::Ref<ShareRequest> keep(this);
    kit::RunLoop::current().performAfterDelay(this, "finish", nullptr, 0, [keep] { keep->finish(); });
    return;
  }
  kit::URLRequest request(url_, kit::URLRequest::CachePolicy::ReloadIgnoringLocalAndRemoteCacheData, kTimeoutInterval);
  if (headerFields_)
    headerFields_->enumerate([&](kit::Object* key, kit::Object* value, bool&) {
      auto* k = dynamic_cast<kit::String*>(key);
      auto* v = dynamic_cast<kit::String*>(value);
      if (k && v) request.setValue(v->str(), k->str());
    });
  if (!params_.empty()) {
    request.setHTTPMethod(method_);
    request.setHTTPBody(kit::Data::dataWithString(params_));
    // Form pairs are what every service expects; a header given above wins.
    if (!request.valueForHTTPHeaderField("Content-Type"))
      request.setValue("application/x-www-form-urlencoded", "Content-Type");
  }
  connection_ = kit::Ref<kit::URLConnection>(new kit::URLConnection(request, this, true));
}

void ShareRequest::didReceiveResponse(kit::URLConnection&, kit::URLResponse& response) {
  response_ = kit::Ref<kit::HTTPURLResponse>(dynamic_cast<kit::HTTPURLResponse*>(&response));
  headers_ = kit::MutableDictionary::dictionary();
  if (response_)
    for (const auto& [name, value] : response_->headerFields()) headers_->setObject(kit::String::string(value), name);
  data_ = kit::MutableData::data();
}

void ShareRequest::didReceiveData(kit::URLConnection&, kit::Data& data) { data_->appendData(data); }

void ShareRequest::didFinishLoading(kit::URLConnection&) { finish(); }

void ShareRequest::didFailWithError(kit::URLConnection&, kit::Error& error) {
  error_ = kit::Ref<kit::Error>(&error);
  finish();
}

void ShareRequest::finish() {
  kit::Ref<ShareRequest> keep = std::move(self_);
  connection_ = nullptr;
  int status = statusCode();
  success_ = status == 200 || status == 201;
  IsFinished callback = std::move(isFinished_);
  isFinished_ = nullptr;
  if (callback) callback(*this);
}

const std::string& ShareRequest::getResult() {
  if (!haveResult_) {
    result_ = data_ ? std::string(data_->view()) : std::string();
    haveResult_ = true;
  }
  return result_;
}

std::string ShareRequest::description() const {
  int status = statusCode();
  return "method: " + method_ + "\nurl: " + (url_ ? url_->absoluteString() : std::string()) + "\nparams: " + params_ +
         "\nresponse: " + std::to_string(status) + " (" + kit::HTTPURLResponse::localizedStringForStatusCode(status) +
         ")\ndata: " + (data_ ? std::string(data_->view()) : std::string());
}

}  // namespace tolva
