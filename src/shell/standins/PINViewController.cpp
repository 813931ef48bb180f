#include "shell/standins/PINViewController.h"

namespace tolva {

bool PINViewController::enterCode(const std::string& code) {
  if (code.size() != 4 || !delegate_) return false;
  kit::Ref<PINViewController> self(this);  // an accepted code may dismiss (and drop) this screen
  return delegate_->pinView(*this, code);
}

}  // namespace tolva
