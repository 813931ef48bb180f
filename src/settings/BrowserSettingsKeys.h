#pragma once
// Every user-defaults key the browser's settings description writes, and
// every "opt_" key the browser reads that the description leaves out on
// purpose, with who reads it. Kept beside the code so that the description,
// the readers and this list cannot drift apart unnoticed (a test holds all
// three together).

#include <string_view>
#include <vector>

namespace tolva {

struct BrowserSettingsKey {
  const char* key;
  // The class that reads the key.
  const char* readBy;
  // Offered in the settings description; otherwise written elsewhere, see `note`.
  bool userSettable;
  const char* note;
};

namespace BrowserSettingsKeys {

const std::vector<BrowserSettingsKey>& all();
// Null for a key not in the list.
const BrowserSettingsKey* find(std::string_view key);

}  // namespace BrowserSettingsKeys

}  // namespace tolva
