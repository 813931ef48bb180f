#include "share/oauth/OADataFetcher.h"

#include "kit/net/HTTPURLResponse.h"

namespace tolva {

void OADataFetcher::fetchDataWithRequest(kit::Ref<OAMutableURLRequest> request,
                                         const OAAsynchronousDataFetcher::DidFinish& didFinish,
                                         const OAAsynchronousDataFetcher::DidFail& didFail) {
  kit::Ref<kit::URLResponse> response;
  kit::Ref<kit::Error> error;
  kit::Ref<kit::Data> data;
  if (request && request->url()) {
    request->prepare();
    data = kit::URLConnection::sendSynchronousRequest(*request, &response, &error);
  }
  if (!response || !data || error) {
    kit::Ref<OAServiceTicket> ticket(new OAServiceTicket(request, response, nullptr, false));
    if (didFail) didFail(*ticket, error.get());
    return;
  }
  auto* http = dynamic_cast<kit::HTTPURLResponse*>(response.get());
  kit::Ref<OAServiceTicket> ticket(new OAServiceTicket(request, response, data, http && http->statusCode() < 400));
  if (didFinish) didFinish(*ticket, data.get());
}

}  // namespace tolva
