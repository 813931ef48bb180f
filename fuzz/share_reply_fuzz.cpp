// The service replies the sharers read: XML answers and OAuth token replies.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "share/oauth/OAToken.h"
#include "share/services/ShareXMLResponseParser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  tolva::OAToken::tokenWithHTTPResponseBody(text);
  kit::Ref<kit::Data> bytes = kit::Data::dataWithBytes(data, size);
  tolva::ShareXMLResponseParser::getValueForElement("error", bytes.get());
  tolva::ShareXMLResponseParser::getValueForElement("code", bytes.get());
  return 0;
}
