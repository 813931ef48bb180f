#include "share/core/DeleteForURL.h"

#include "kit/net/HTTPCookieStorage.h"

namespace tolva::DeleteForURL {

void deleteCookiesForURL(const kit::URL* url) {
  if (!url) return;
  kit::HTTPCookieStorage& storage = kit::HTTPCookieStorage::sharedHTTPCookieStorage();
  for (const auto& cookie : storage.cookiesForURL(*url)) storage.deleteCookie(*cookie);
}

}  // namespace tolva::DeleteForURL
