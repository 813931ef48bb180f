#pragma once
// The small wrapper over the keychain that the saved-password store uses: a
// generic password per (account, service), read, stored and deleted with the
// keychain's status codes. An error is made only when the caller asks for
// one; a missing argument is -2000, an item that holds no password -1999.

#include <optional>
#include <string>

#include "kit/foundation/Error.h"

namespace tolva {

class KeychainUtils {
 public:
  static constexpr const char* kErrorDomain = "KeychainUtilsErrorDomain";
  static constexpr long kMissingArgument = -2000;
  static constexpr long kNoPasswordData = -1999;

  // The password, or none: no item (no error), or a failure (with its error).
  static std::optional<std::string> getPasswordForUsername(const std::optional<std::string>& username,
                                                           const std::optional<std::string>& serviceName,
                                                           kit::Ref<kit::Error>* error = nullptr);
  // Keeps `password` for the pair. An equal password already kept, or any
  // password kept while updateExisting is off, answers true with no change.
  static bool storeUsername(const std::optional<std::string>& username, const std::optional<std::string>& password,
                            const std::optional<std::string>& serviceName, bool updateExisting,
                            kit::Ref<kit::Error>* error = nullptr);
  static bool deleteItemForUsername(const std::optional<std::string>& username,
                                    const std::optional<std::string>& serviceName,
                                    kit::Ref<kit::Error>* error = nullptr);

 private:
  static void fail(kit::Ref<kit::Error>* error, long code);
};

}  // namespace tolva
