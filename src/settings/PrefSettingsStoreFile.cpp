#include "settings/PrefSettingsStoreFile.h"

#include "kit/foundation/PropertyList.h"

namespace tolva {

PrefSettingsStoreFile::PrefSettingsStoreFile(std::string path) : filePath_(std::move(path)) {
  kit::Ref<kit::Object> loaded = kit::PropertyList::readFromFile(filePath_, kit::PropertyList::Options::MutableContainers);
  if (auto* d = dynamic_cast<kit::MutableDictionary*>(loaded.get())) {
    dict_ = d;
  } else {
    dict_ = kit::MutableDictionary::dictionary();
  }
}

void PrefSettingsStoreFile::setObject(kit::Ref<kit::Object> value, const std::string& key) {
  if (value) {
    dict_->setObject(std::move(value), key);
  } else {
    dict_->removeObjectForKey(key);
  }
}

kit::Ref<kit::Object> PrefSettingsStoreFile::objectForKey(const std::string& key) { return dict_->objectForKey(key); }

bool PrefSettingsStoreFile::synchronize() { return !kit::PropertyList::writeToFile(dict_.get(), filePath_); }

}  // namespace tolva
