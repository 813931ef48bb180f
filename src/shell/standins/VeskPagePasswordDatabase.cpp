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

void VeskPagePasswordDatabase::deleteAllPasswords() { entries_.clear(); }

}  // namespace tolva
