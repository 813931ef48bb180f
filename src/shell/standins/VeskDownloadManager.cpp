#include "shell/standins/VeskDownloadManager.h"

#include "kit/foundation/Dictionary.h"
#include "kit/foundation/String.h"

namespace tolva {

VeskDownloadManager* VeskDownloadManager::sharedInstance() {
  static VeskDownloadManager* instance = [] {
    auto* m = new VeskDownloadManager();
    m->retain();  // kept for the life of the process
    return m;
  }();
  return instance;
}

size_t VeskDownloadManager::start(const std::string& url) {
  list_->addObject(kit::Ref<kit::Dictionary>(new kit::Dictionary({{"url", kit::str(url)}})));
  return list_->count() - 1;
}

}  // namespace tolva
