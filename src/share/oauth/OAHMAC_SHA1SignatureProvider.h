#pragma once
// "HMAC-SHA1": the Base64 text of HMAC-SHA1(secret, text).

#include "share/oauth/OASignatureProviding.h"

namespace tolva {

class OAHMAC_SHA1SignatureProvider : public OASignatureProviding {
 public:
  std::string name() const override { return "HMAC-SHA1"; }
  std::string signClearText(const std::string& text, const std::string& secret) const override;
  std::string className() const override { return "OAHMAC_SHA1SignatureProvider"; }
};

}  // namespace tolva
