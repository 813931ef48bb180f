#pragma once
// One generic-password item of the keychain. Service and account together
// identify it (absent ones count as empty text); data may be absent, which is
// not the same as empty.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kit {

struct KeychainItem {
  std::string service;
  std::string account;
  std::optional<std::string> label;
  std::optional<std::vector<std::uint8_t>> data;

  bool sameIdentity(const KeychainItem& o) const { return service == o.service && account == o.account; }
  bool operator==(const KeychainItem&) const = default;
};

}  // namespace kit
