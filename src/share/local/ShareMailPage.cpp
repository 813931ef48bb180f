#include "share/local/ShareMailPage.h"

#include "kit/foundation/URLEscaping.h"
#include "kit/net/HTTPURLResponse.h"
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
  if (connection_) return true;  // already loading
  sendDidStart();
  keepWhileLoading_ = kit::Ref<ShareMailPage>(this);
  page_ = kit::MutableData::data();
  kit::URLRequest request(kit::Ref<kit::URL>(url), kit::URLRequest::CachePolicy::UseProtocolCachePolicy,
                          kFetchTimeout);
  connection_ = kit::URLConnection::connectionWithRequest(request, this);
  return true;
}

void ShareMailPage::didReceiveResponse(kit::URLConnection&, kit::URLResponse& response) {
  auto* http = dynamic_cast<kit::HTTPURLResponse*>(&response);
  if (!http || http->statusCode() < 200 || http->statusCode() > 299) pageLoaded(false);
  else if (page_) page_->setLength(0);  // a redirect's body is not the page
}

void ShareMailPage::didReceiveData(kit::URLConnection&, kit::Data& data) {
  if (!page_) return;
  if (page_->length() + data.length() > kMaximumPageBytes) {
    pageLoaded(false);
    return;
  }
  page_->appendData(data);
}

void ShareMailPage::didFinishLoading(kit::URLConnection&) { pageLoaded(true); }

void ShareMailPage::didFailWithError(kit::URLConnection&, kit::Error&) { pageLoaded(false); }

void ShareMailPage::pageLoaded(bool attach) {
  if (!connection_) return;
  kit::Ref<ShareMailPage> keep = std::move(keepWhileLoading_);
  kit::Ref<kit::URLConnection> connection = std::move(connection_);
  connection->cancel();
  kit::Ref<kit::MutableData> page = std::move(page_);
  compose(attach ? page.get() : nullptr);
}

}  // namespace tolva
