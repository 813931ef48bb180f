#include "data/VeskFaviconDatabase.h"

namespace tolva {

VeskFaviconDatabase* VeskFaviconDatabase::getSharedInstance() {
  static VeskFaviconDatabase* instance = [] {
    auto* db = new VeskFaviconDatabase();
    db->retain();  // kept for the life of the process
    return db;
  }();
  return instance;
}

bool VeskFaviconDatabase::checkFavicon(const std::string&) const { return false; }

kit::Ref<kit::Image> VeskFaviconDatabase::getFavicon(const std::string&) { return nullptr; }

void VeskFaviconDatabase::makeFaviconAvailable(const std::string&) {}

}  // namespace tolva
