#include "kit/security/FileKeychainStore.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <optional>

#include "kit/foundation/Array.h"
#include "kit/foundation/AtomicFile.h"
#include "kit/foundation/Data.h"
#include "kit/foundation/Dictionary.h"
#include "kit/foundation/Error.h"
#include "kit/foundation/Number.h"
#include "kit/foundation/PropertyList.h"
#include "kit/foundation/String.h"

namespace kit {

namespace {

constexpr long kFormatVersion = 1;

void say(const std::string& message) { std::fprintf(stderr, "keychain: %s\n", message.c_str()); }

bool isPosix(const Error* e, long code = -1) {
  return e->domain() == Error::kPOSIXErrorDomain && (code < 0 || e->code() == code);
}

Ref<Object> treeOf(const std::vector<KeychainItem>& items) {
  auto list = MutableArray::array();
  for (const KeychainItem& item : items) {
    auto entry = MutableDictionary::dictionary();
    entry->setObject(str(item.service), "service");
    entry->setObject(str(item.account), "account");
    if (item.label) entry->setObject(str(*item.label), "label");
    if (item.data) entry->setObject(make<Data>(*item.data), "data");
    list->addObject(entry);
  }
  auto root = MutableDictionary::dictionary();
  root->setObject(Number::numberWithInteger(kFormatVersion), "version");
  root->setObject(list, "items");
  return root;
}

// The items in a file's property list, or nullopt and the reason for anything
// this store would not have written.
std::optional<std::vector<KeychainItem>> itemsOf(Object* tree, std::string* why) {
  auto fail = [&](std::string reason) -> std::optional<std::vector<KeychainItem>> {
    *why = std::move(reason);
    return std::nullopt;
  };
  auto* root = cast<Dictionary>(tree);
  if (!root) return fail("the top level is not a dictionary");
  auto* version = root->get<Number>("version");
  if (!version || version->isBool() || version->isFloatingPoint() || version->longLongValue() != kFormatVersion)
    return fail("unknown format version");
  auto* list = root->get<Array>("items");
  if (!list) return fail("no item list");
  std::vector<KeychainItem> items;
  for (size_t i = 0; i < list->count(); ++i) {
    const std::string which = "item " + std::to_string(i);
    auto* entry = list->get<Dictionary>(i);
    if (!entry) return fail(which + " is not a dictionary");
    auto* service = entry->get<String>("service");
    auto* account = entry->get<String>("account");
    if (!service || !account) return fail(which + " lacks service or account");
    KeychainItem item{service->str(), account->str(), std::nullopt, std::nullopt};
    if (Object* label = entry->objectForKey("label")) {
      auto* s = cast<String>(label);
      if (!s) return fail(which + " has a label that is not text");
      item.label = s->str();
    }
    if (Object* data = entry->objectForKey("data")) {
      auto* d = cast<Data>(data);
      if (!d) return fail(which + " has data that is not bytes");
      item.data.emplace(d->bytes(), d->bytes() + d->length());
    }
    for (const KeychainItem& earlier : items)
      if (earlier.sameIdentity(item)) return fail(which + " repeats an earlier one");
    items.push_back(std::move(item));
  }
  return items;
}

}  // namespace

FileKeychainStore::FileKeychainStore(std::string path) : path_(std::move(path)) {}

std::string FileKeychainStore::movedAsidePath() const {
  std::lock_guard<std::mutex> g(mutex_);
  return movedAside_;
}

std::vector<KeychainItem> FileKeychainStore::load() {
  std::lock_guard<std::mutex> g(mutex_);
  blocked_ = false;
  movedAside_.clear();
  AtomicFile::removeStaleTemporaries(path_);  // of saves a crash cut short
  Ref<Error> error;
  Ref<Object> tree = PropertyList::readFromFile(path_, PropertyList::Options::Immutable, &error);
  std::string why;
  if (tree) {
    if (std::optional<std::vector<KeychainItem>> items = itemsOf(tree, &why)) return std::move(*items);
  } else if (isPosix(error, ENOENT)) {
    return {};
  } else if (isPosix(error)) {
    blocked_ = true;
    say("cannot read " + path_ + " (" + error->localizedDescription() +
        "); starting with an empty keychain and leaving the file as it is");
    return {};
  } else {
    why = error->localizedDescription();
  }

  std::string aside = AtomicFile::moveAside(path_, &error);
  if (aside.empty()) {
    blocked_ = true;
    say(path_ + " is damaged (" + why + ") and could not be moved aside (" + error->localizedDescription() +
        "); starting with an empty keychain that will not be saved");
    return {};
  }
  movedAside_ = aside;
  say(path_ + " is damaged (" + why + "); moved it to " + aside + " and starting with an empty keychain");
  return {};
}

KeychainStatus FileKeychainStore::save(const std::vector<KeychainItem>& items) {
  std::lock_guard<std::mutex> g(mutex_);
  if (blocked_) {
    say("not writing " + path_ + ": the file there could not be read and is kept as it is");
    return kKeychainIOError;
  }
  std::error_code ec;
  std::filesystem::path folder = std::filesystem::path(path_).parent_path();
  if (!folder.empty()) std::filesystem::create_directories(folder, ec);  // an error shows when writing

  Ref<Error> error = PropertyList::writeToFile(treeOf(items), path_, 0600);
  if (!error) return kKeychainSuccess;
  if (!isPosix(error)) {
    // The keychain refuses such text before it gets here; this guards other callers.
    say("an item cannot be stored (" + error->localizedDescription() + "); not saved");
    return kKeychainBadParameter;
  }
  say("cannot write " + path_ + " (" + error->localizedDescription() + ")");
  return kKeychainIOError;
}

}  // namespace kit
