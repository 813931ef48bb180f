#include "shell/standins/VeskAdblockManager.h"

namespace tolva {

VeskAdblockManager* VeskAdblockManager::sharedInstance() {
  static VeskAdblockManager* instance = [] {
    auto* m = new VeskAdblockManager();
    m->retain();  // kept for the life of the process
    return m;
  }();
  return instance;
}

bool VeskAdblockManager::checkWithFilter(const std::string&) const { return false; }

}  // namespace tolva
