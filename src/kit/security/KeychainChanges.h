#pragma once
// New values for the items an update matches; absent fields stay as they are.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "kit/security/KeychainItem.h"

namespace kit {

struct KeychainChanges {
  std::optional<std::string> service;
  std::optional<std::string> account;
  std::optional<std::string> label;
  std::optional<std::vector<std::uint8_t>> data;

  bool empty() const { return !service && !account && !label && !data; }
  void applyTo(KeychainItem& item) const {
    if (service) item.service = *service;
    if (account) item.account = *account;
    if (label) item.label = *label;
    if (data) item.data = *data;
  }
};

}  // namespace kit
