#pragma once
// Which keychain items an operation concerns: every given attribute must be
// equal; absent ones match anything.

#include <cstddef>
#include <optional>
#include <string>

#include "kit/security/KeychainItem.h"

namespace kit {

struct KeychainQuery {
  static constexpr size_t kAll = static_cast<size_t>(-1);

  std::optional<std::string> service;
  std::optional<std::string> account;
  std::optional<std::string> label;
  // How many matches a search returns, in the order the items were added.
  size_t limit = 1;

  bool matches(const KeychainItem& item) const {
    return (!service || *service == item.service) && (!account || *account == item.account) &&
           (!label || label == item.label);
  }
};

}  // namespace kit
