#include "share/oauth/OAAsynchronousDataFetcher.h"

#include "kit/net/HTTPURLResponse.h"

namespace tolva {
namespace {

bool accepted(kit::URLResponse* response) {
  auto* http = dynamic_cast<kit::HTTPURLResponse*>(response);
  return http && http->statusCode() < 400;
}

}  // namespace

kit::Ref<OAAsynchronousDataFetcher> OAAsynchronousDataFetcher::asynchronousFetcherWithRequest(
    kit::Ref<OAMutableURLRequest> request, DidFinish didFinish, DidFail didFail) {
  return kit::Ref<OAAsynchronousDataFetcher>(
      new OAAsynchronousDataFetcher(std::move(request), std::move(didFinish), std::move(didFail)));
}

OAAsynchronousDataFetcher::OAAsynchronousDataFetcher(kit::Ref<OAMutableURLRequest> request, DidFinish didFinish,
                                                     DidFail didFail)
    : request_(std::move(request)), didFinish_(std::move(didFinish)), didFail_(std::move(didFail)) {}

OAAsynchronousDataFetcher::~OAAsynchronousDataFetcher() {
  if (connection_) connection_->cancel();
}

void OAAsynchronousDataFetcher::start() {
  if (connection_ || self_) return;
  responseData_ = kit::MutableData::data();
  self_ = kit::Ref<OAAsynchronousDataFetcher>(this);
  if (!request_ || !request_->url()) {
    finishWith(true, nullptr);
    return;
  }
  request_->prepare();
  connection_ = kit::Ref<kit::URLConnection>(new kit::URLConnection(*request_, this, true));
}

void OAAsynchronousDataFetcher::cancel() {
  if (connection_) connection_->cancel();
  connection_ = nullptr;
  didFinish_ = nullptr;
  didFail_ = nullptr;
  self_ = nullptr;  // may free this object: nothing may follow
}

void OAAsynchronousDataFetcher::didReceiveResponse(kit::URLConnection&, kit::URLResponse& response) {
  response_ = kit::Ref<kit::URLResponse>(&response);
  responseData_ = kit::MutableData::data();
}

void OAAsynchronousDataFetcher::didReceiveData(kit::URLConnection&, kit::Data& data) { responseData_->appendData(data); }

void OAAsynchronousDataFetcher::didFinishLoading(kit::URLConnection&) { finishWith(false, nullptr); }

void OAAsynchronousDataFetcher::didFailWithError(kit::URLConnection&, kit::Error& error) { finishWith(true, &error); }

void OAAsynchronousDataFetcher::finishWith(bool failed, kit::Error* error) {
  kit::Ref<OAAsynchronousDataFetcher> keep = std::move(self_);
  connection_ = nullptr;
  DidFinish finish = std::move(didFinish_);
  DidFail fail = std::move(didFail_);
  didFinish_ = nullptr;
  didFail_ = nullptr;
  if (failed) {
    kit::Ref<OAServiceTicket> ticket(new OAServiceTicket(request_, response_, nullptr, false));
    if (fail) fail(*ticket, error);
    return;
  }
  kit::Ref<kit::Data> data = responseData_;
  kit::Ref<OAServiceTicket> ticket(new OAServiceTicket(request_, response_, data, accepted(response_.get())));
  if (finish) finish(*ticket, data.get());
}

}  // namespace tolva
