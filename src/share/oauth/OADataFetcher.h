#pragma once
// Signs a request and loads it synchronously on the calling thread; the
// outcome goes to didFinish (a ticket, succeeded below status 400, and the
// reply) or to didFail (no response, no data, or a network error).

#include "share/oauth/OAAsynchronousDataFetcher.h"

namespace tolva {

class OADataFetcher {
 public:
  static void fetchDataWithRequest(kit::Ref<OAMutableURLRequest> request,
                                   const OAAsynchronousDataFetcher::DidFinish& didFinish,
                                   const OAAsynchronousDataFetcher::DidFail& didFail);
};

}  // namespace tolva
