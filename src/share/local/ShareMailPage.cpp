#include "share/local/ShareMailPage.h"

#include <thread>

#include "kit/foundation/RunLoop.h"
#include "kit/foundation/URLEscaping.h"
#include "kit/net/HTTPURLResponse.h"
#include "kit/net/URLConnection.h"
#include "share/core/ShareFunctions.h"

namespace tolva {

std::string ShareMailPage::sharerTitle() const { return ShareLocalizedFormat("Email source file"); }

std::string ShareMailPage::linkText(const kit::URL& url) const {
  std::optional<std::string> decoded = kit::URLEscaping::replacePercentEscapes(url.absoluteString());
  return decoded ? *decoded : url.absoluteString();
}

bool ShareMailPage::sendMail() {
  kit::URL* url = item()->URL();
  if (!url || !(url->schemeIs("http") || url->schemeIs("https"))) return compose(nullptr);
  sendDidStart();
  kit::Ref<kit::URL> target(url);
  kit::Ref<ShareMailPage> self(this);
  // The fetch runs on its own thread; the draft is made on the main thread
  // when it ends. A failed fetch attaches nothing.
  std::thread([self, target]() mutable {
    kit::URLRequest request(target, kit::URLRequest::CachePolicy::UseProtocolCachePolicy, kFetchTimeout);
    kit::Ref<kit::URLResponse> response;
    kit::Ref<kit::Error> error;
    kit::Ref<kit::Data> data = kit::URLConnection::sendSynchronousRequest(request, &response, &error);
    auto* http = dynamic_cast<kit::HTTPURLResponse*>(response.get());
    if (!data || !http || http->statusCode() < 200 || http->statusCode() > 299 || data->length() > kMaximumPageBytes)
      data = nullptr;
    kit::RunLoop::performOnMainThread([self = std::move(self), data]() mutable {
      self->compose(data.get());
      self = nullptr;
    });
  }).detach();
  return true;
}

}  // namespace tolva
