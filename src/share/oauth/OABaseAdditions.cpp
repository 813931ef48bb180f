#include "share/oauth/OABaseAdditions.h"

namespace tolva::OABaseAdditions {

std::string URLStringWithoutQuery(const kit::URL& url) {
  const std::string& s = url.absoluteString();
  return s.substr(0, s.find_first_of("?#"));
}

std::string normalizedURLString(const kit::URL& url) {
  if (!url.hasAuthority()) return URLStringWithoutQuery(url);
  const std::string scheme = url.lowercaseScheme();
  std::string host = url.lowercaseHost();
  if (host.find(':') != std::string::npos) host = "[" + host + "]";
  std::string out = scheme + "://" + host;
  if (auto port = url.port()) {
    bool isDefault = (scheme == "http" && *port == 80) || (scheme == "https" && *port == 443);
    if (!isDefault) out += ":" + std::to_string(*port);
  }
  const std::string& path = url.percentEncodedPath();
  out += path.empty() ? "/" : path;
  return out;
}

}  // namespace tolva::OABaseAdditions
