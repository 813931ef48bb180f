#pragma once
// Result codes of keychain operations. The values are the mobile platform's
// status codes, because callers store them as error codes and compare them.

#include <cstdint>
#include <string>

namespace kit {

using KeychainStatus = std::int32_t;

inline constexpr KeychainStatus kKeychainSuccess = 0;
inline constexpr KeychainStatus kKeychainItemNotFound = -25300;
inline constexpr KeychainStatus kKeychainDuplicateItem = -25299;
inline constexpr KeychainStatus kKeychainBadParameter = -50;
// The store could not be written (or was not safe to write); nothing changed.
inline constexpr KeychainStatus kKeychainIOError = -36;

// A short English text for logs and error descriptions.
std::string keychainStatusDescription(KeychainStatus status);

}  // namespace kit
