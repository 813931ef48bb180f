#pragma once
// "PLAINTEXT": the signature is the secret itself (only safe over TLS).

#include "share/oauth/OASignatureProviding.h"

namespace tolva {

class OAPlaintextSignatureProvider : public OASignatureProviding {
 public:
  std::string name() const override { return "PLAINTEXT"; }
  std::string signClearText(const std::string&, const std::string& secret) const override { return secret; }
  std::string className() const override { return "OAPlaintextSignatureProvider"; }
};

}  // namespace tolva
