// The service replies the sharers read: XML answers, OAuth token replies and
// callback queries, the image host's and the micro-blog's answers.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "share/oauth/OAToken.h"
#include "share/oauth/ShareOAuthView.h"
#include "share/services/ShareXMLResponseParser.h"
#include "share/services/twitter/ShareTwitter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  tolva::OAToken::tokenWithHTTPResponseBody(text);
  kit::Ref<kit::Data> bytes = kit::Data::dataWithBytes(data, size);
  tolva::ShareXMLResponseParser::getValueForElement("error", bytes.get());
  tolva::ShareXMLResponseParser::getValueForElement("code", bytes.get());
  tolva::ShareTwitter::uploadedImageURL(text);
  tolva::ShareTwitter::errorMessage(text);
  if (kit::Ref<kit::URL> url = kit::URL::URLWithString("http://callback.test/done?" + std::string(text)))
    tolva::ShareOAuthView::queryParams(*url);
  return 0;
}
