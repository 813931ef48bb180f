#include "shell/standins/VeskPagePasswordDatabase.h"

namespace tolva {

VeskPagePasswordDatabase* VeskPagePasswordDatabase::sharedInstance() {
  static VeskPagePasswordDatabase* instance = [] {
    auto* db = new VeskPagePasswordDatabase();
    db->retain();  // kept for the life of the process
    return db;
  }();
  return instance;
}

void VeskPagePasswordDatabase::updatePassword(const std::string&, const kit::Dictionary* fields,
                                              const std::string& site) {
  if (!fields) return;
  kit::Ref<kit::MutableDictionary> copy = kit::MutableDictionary::dictionary();
  copy->addEntriesFromDictionary(*fields);
  entries_[site] = copy;
}

kit::Ref<kit::MutableDictionary> VeskPagePasswordDatabase::retrieveByURL(const std::string& site) const {
  auto it = entries_.find(site);
  if (it == entries_.end()) return nullptr;
  kit::Ref<kit::MutableDictionary> copy = kit::MutableDictionary::dictionary();
  copy->addEntriesFromDictionary(*it->second);
  return copy;
}

void VeskPagePasswordDatabase::deleteAllPasswords() {
  for (const auto& [site, fields] : entries_) options_.erase(site);
  entries_.clear();
}

void VeskPagePasswordDatabase::resetForTesting() {
  entries_.clear();
  options_.clear();
  optSavePassword_ = true;
}

int VeskPagePasswordDatabase::getSaveOption(const std::string& site) const {
  auto it = options_.find(site);
  return it == options_.end() ? 0 : it->second;
}

void VeskPagePasswordDatabase::setSaveOption(const std::string& site, int option) { options_[site] = option; }

}  // namespace tolva
