#pragma once
// Stand-in for the settings screen: made from its interface file name, with
// a delegate told when the user is done. The real screen (built from the
// bundle's settings description) replaces it.

#include "kit/ui/ViewController.h"

namespace tolva {

class PrefAppSettingsViewController;

class PrefSettingsDelegate {
 public:
  virtual ~PrefSettingsDelegate() = default;
  virtual void settingsViewControllerDidEnd(PrefAppSettingsViewController& sender) = 0;
};

class PrefAppSettingsViewController : public kit::ViewController {
 public:
  explicit PrefAppSettingsViewController(std::string nibName) : kit::ViewController(std::move(nibName)) {}

  PrefSettingsDelegate* delegate() const noexcept { return delegate_; }
  void setDelegate(PrefSettingsDelegate* d) { delegate_ = d; }
  bool showDoneButton() const noexcept { return showDoneButton_; }
  void setShowDoneButton(bool s) { showDoneButton_ = s; }
  // The Done button: tells the delegate.
  void dismiss();

  std::string className() const override { return "PrefAppSettingsViewController"; }

 private:
  PrefSettingsDelegate* delegate_ = nullptr;
  bool showDoneButton_ = false;
};

}  // namespace tolva
