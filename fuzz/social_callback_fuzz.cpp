// The callback URLs the social-network login and dialogs read.
#include <cstddef>
#include <cstdint>
#include <string>

#include "share/social/SocialClient.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  tolva::SocialClient::parseURLParams(text);
  tolva::SNDialog::getStringFromUrl(text, "access_token=");
  tolva::SNDialog::getStringFromUrl(text, "error_code=");
  static tolva::SocialClient* client = [] {
    auto* c = new tolva::SocialClient("123", nullptr);
    c->retain();
    return c;
  }();
  if (kit::Ref<kit::URL> url = kit::URL::URLWithString("fb123://authorize" + text)) client->handleOpenURL(*url);
  return 0;
}
