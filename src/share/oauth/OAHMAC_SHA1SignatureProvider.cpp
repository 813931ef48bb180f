#include "share/oauth/OAHMAC_SHA1SignatureProvider.h"

#include "kit/security/Digest.h"
#include "share/oauth/OABase64.h"

namespace tolva {

std::string OAHMAC_SHA1SignatureProvider::signClearText(const std::string& text, const std::string& secret) const {
  kit::Digest::Sha1 digest = kit::Digest::hmacSha1(secret, text);
  char out[32];
  size_t size = sizeof out;
  if (!OABase64Encode(digest.data(), digest.size(), out, &size)) return {};
  return std::string(out, size);
}

}  // namespace tolva
