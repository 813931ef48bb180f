#include "data/KeychainUtils.h"

#include <vector>

#include "kit/security/Keychain.h"

namespace tolva {
namespace {

kit::KeychainQuery itemOf(const std::string& username, const std::string& serviceName) {
  kit::KeychainQuery q;
  q.service = serviceName;
  q.account = username;
  return q;
}

std::vector<std::uint8_t> bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

}  // namespace

void KeychainUtils::fail(kit::Ref<kit::Error>* error, long code) {
  if (error) *error = kit::Error::errorWithDomain(kErrorDomain, code);
}

std::optional<std::string> KeychainUtils::getPasswordForUsername(const std::optional<std::string>& username,
                                                                 const std::optional<std::string>& serviceName,
                                                                 kit::Ref<kit::Error>* error) {
  if (error) *error = nullptr;
  if (!username || !serviceName) {
    fail(error, kMissingArgument);
    return std::nullopt;
  }
  kit::Keychain& keychain = kit::Keychain::shared();
  std::vector<kit::KeychainItem> found;
  // First whether the item exists at all: a missing one is no failure.
  kit::KeychainStatus status = keychain.copyMatching(itemOf(*username, *serviceName), &found);
  if (status == kit::kKeychainItemNotFound) return std::nullopt;
  if (status != kit::kKeychainSuccess) {
    fail(error, status);
    return std::nullopt;
  }
  // Then its data; gone in between, or never given any, it holds no password.
  found.clear();
  status = keychain.copyMatching(itemOf(*username, *serviceName), &found);
  if (status == kit::kKeychainItemNotFound || (status == kit::kKeychainSuccess && (found.empty() || !found[0].data))) {
    fail(error, kNoPasswordData);
    return std::nullopt;
  }
  if (status != kit::kKeychainSuccess) {
    fail(error, status);
    return std::nullopt;
  }
  const std::vector<std::uint8_t>& data = *found[0].data;
  return std::string(data.begin(), data.end());
}

bool KeychainUtils::storeUsername(const std::optional<std::string>& username, const std::optional<std::string>& password,
                                  const std::optional<std::string>& serviceName, bool updateExisting,
                                  kit::Ref<kit::Error>* error) {
  if (error) *error = nullptr;
  if (!username || !password || !serviceName) {
    fail(error, kMissingArgument);
    return false;
  }
  kit::Ref<kit::Error> readError;
  std::optional<std::string> existing = getPasswordForUsername(username, serviceName, &readError);
  if (readError && readError->code() == kNoPasswordData) {
    // An item without a password is in the way of a new one.
    kit::Ref<kit::Error> deleteError;
    if (!deleteItemForUsername(username, serviceName, &deleteError)) {
      if (error) *error = deleteError;
      return false;
    }
  } else if (readError) {
    if (error) *error = readError;
    return false;
  }
  if (existing && (*existing == *password || !updateExisting)) return true;

  kit::Keychain& keychain = kit::Keychain::shared();
  kit::KeychainStatus status;
  if (existing) {
    kit::KeychainChanges changes;
    changes.service = *serviceName;
    changes.label = *serviceName;
    changes.account = *username;
    changes.data = bytesOf(*password);
    status = keychain.update(itemOf(*username, *serviceName), changes);
  } else {
    status = keychain.add(kit::KeychainItem{*serviceName, *username, *serviceName, bytesOf(*password)});
  }
  if (status != kit::kKeychainSuccess) {
    fail(error, status);
    return false;
  }
  return true;
}

bool KeychainUtils::deleteItemForUsername(const std::optional<std::string>& username,
                                          const std::optional<std::string>& serviceName, kit::Ref<kit::Error>* error) {
  if (error) *error = nullptr;
  if (!username || !serviceName) {
    fail(error, kMissingArgument);
    return false;
  }
  kit::KeychainStatus status = kit::Keychain::shared().remove(itemOf(*username, *serviceName));
  if (status != kit::kKeychainSuccess) {
    fail(error, status);
    return false;
  }
  return true;
}

}  // namespace tolva
