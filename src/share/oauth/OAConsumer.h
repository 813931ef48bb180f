#pragma once
// The application's identity at an OAuth 1.0 service.

#include <string>

#include "kit/foundation/Object.h"

namespace tolva {

class OAConsumer : public kit::Object {
 public:
  OAConsumer(std::string key, std::string secret) : key_(std::move(key)), secret_(std::move(secret)) {}

  const std::string& key() const noexcept { return key_; }
  void setKey(std::string k) { key_ = std::move(k); }
  const std::string& secret() const noexcept { return secret_; }
  void setSecret(std::string s) { secret_ = std::move(s); }

  std::string className() const override { return "OAConsumer"; }

 private:
  std::string key_;
  std::string secret_;
};

}  // namespace tolva
