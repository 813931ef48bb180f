#include "shell/standins/ShareActivityIndicator.h"

namespace tolva {

ShareActivityIndicator* ShareActivityIndicator::currentIndicator() {
  static ShareActivityIndicator* instance = [] {
    auto* v = new ShareActivityIndicator();
    v->retain();  // kept for the life of the process
    v->setHidden(true);
    return v;
  }();
  return instance;
}

}  // namespace tolva
