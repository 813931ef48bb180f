#pragma once
// Forward declarations of kit's security classes.

namespace kit {

class Keychain;
class KeychainStore;
class FileKeychainStore;
class MemoryKeychainStore;
struct KeychainItem;
struct KeychainQuery;
struct KeychainChanges;

}  // namespace kit
