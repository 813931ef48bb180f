#include "shell/standins/PrefAppSettingsViewController.h"

namespace tolva {

void PrefAppSettingsViewController::dismiss() {
  if (delegate_) delegate_->settingsViewControllerDidEnd(*this);
}

}  // namespace tolva
