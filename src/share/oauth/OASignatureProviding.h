#pragma once
// A way of signing the base string with the consumer and token secrets.

#include <string>

#include "kit/foundation/Object.h"

namespace tolva {

class OASignatureProviding : public kit::Object {
 public:
  virtual std::string name() const = 0;
  virtual std::string signClearText(const std::string& text, const std::string& secret) const = 0;
};

}  // namespace tolva
