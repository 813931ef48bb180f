#pragma once
// Signs a request and loads it on the calling thread's run loop, then calls
// back once: didFinish with a ticket (succeeded when the status is below 400)
// and the reply, or didFail with the network error. The fetcher keeps itself
// alive until that call has been made, and then drops the callbacks (and
// whatever they hold).

#include <functional>

#include "kit/net/URLConnection.h"
#include "share/oauth/OAServiceTicket.h"

namespace tolva {

class OAAsynchronousDataFetcher : public kit::Object, private kit::URLConnectionDelegate {
 public:
  using DidFinish = std::function<void(OAServiceTicket& ticket, kit::Data* data)>;
  using DidFail = std::function<void(OAServiceTicket& ticket, kit::Error* error)>;

  static kit::Ref<OAAsynchronousDataFetcher> asynchronousFetcherWithRequest(kit::Ref<OAMutableURLRequest> request,
                                                                            DidFinish didFinish, DidFail didFail);
  ~OAAsynchronousDataFetcher() override;

  void start();
  // Stops the load; no callback follows.
  void cancel();

  OAMutableURLRequest* request() const noexcept { return request_.get(); }

  std::string className() const override { return "OAAsynchronousDataFetcher"; }

 private:
  OAAsynchronousDataFetcher(kit::Ref<OAMutableURLRequest> request, DidFinish didFinish, DidFail didFail);
  void didReceiveResponse(kit::URLConnection&, kit::URLResponse& response) override;
  void didReceiveData(kit::URLConnection&, kit::Data& data) override;
  void didFinishLoading(kit::URLConnection&) override;
  void didFailWithError(kit::URLConnection&, kit::Error& error) override;
  void finishWith(bool failed, kit::Error* error);

  kit::Ref<OAMutableURLRequest> request_;
  kit::Ref<kit::URLResponse> response_;
  kit::Ref<kit::URLConnection> connection_;
  kit::Ref<kit::MutableData> responseData_;
  DidFinish didFinish_;
  DidFail didFail_;
  kit::Ref<OAAsynchronousDataFetcher> self_;  // held while the load runs
};

}  // namespace tolva
