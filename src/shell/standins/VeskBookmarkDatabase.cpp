#include "shell/standins/VeskBookmarkDatabase.h"

#include "kit/foundation/String.h"

namespace tolva {

VeskBookmarkDatabase* VeskBookmarkDatabase::getSharedInstance() {
  static VeskBookmarkDatabase* instance = [] {
    auto* db = new VeskBookmarkDatabase();
    db->retain();  // kept for the life of the process
    return db;
  }();
  return instance;
}

VeskBookmarkDatabase::VeskBookmarkDatabase() : history_(kit::MutableArray::array()) {}

void VeskBookmarkDatabase::addItemAtHistory(const std::string& title, const std::string& url) {
  history_->addObject(
      kit::Ref<kit::Dictionary>(new kit::Dictionary({{"title", kit::str(title)}, {"url", kit::str(url)}})));
}

void VeskBookmarkDatabase::clearHistory() { history_->removeAllObjects(); }

size_t VeskBookmarkDatabase::nonFolderItemCount(const kit::Array*) const { return 0; }

kit::Ref<kit::Dictionary> VeskBookmarkDatabase::getItemAt(size_t, bool, const kit::Array*) const { return nullptr; }

void VeskBookmarkDatabase::resetForTesting() {
  opt_saveHistory_ = true;
  bookmark_ = nullptr;
  history_->removeAllObjects();
}

}  // namespace tolva
