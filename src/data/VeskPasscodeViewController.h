#pragma once
// The passcode settings screen: switches the lock on and off, changes the
// passcode and sets whether it is asked only while a private tab exists.
// Each step asks for a PIN in a new PIN view pushed on this screen's
// navigation stack; `phase` says what the entered code is for:
//   0 switching off (or nothing going on), 1 a new passcode, 2 its
//   confirmation, 3 the current passcode before a change.
// The code is kept by VeskPasscodeStore; the lock is on when it has four
// characters.

#include <string>

#include "data/PINViewController.h"
#include "kit/ui/Button.h"
#include "kit/ui/Switch.h"
#include "kit/ui/ViewController.h"

namespace tolva {

class VeskPasscodeViewController : public kit::ViewController, public PINViewControllerDelegate {
 public:
  static constexpr const char* kPrivateOnlyKey = "passcode_ask_only_private_exists";

  VeskPasscodeViewController();

  void loadView() override;
  void viewDidLoad() override;
  bool shouldAutorotateToInterfaceOrientation(kit::InterfaceOrientation orientation) override;

  void onBtnEnable(kit::Object* sender);
  void onBtnChangePw(kit::Object* sender);
  void onPrivateOnlySwitch(kit::Switch* sender);

  // ---- PINViewControllerDelegate: the phase machine
  bool pinView(PINViewController& pinView, const std::string& code) override;

  int phase() const noexcept { return phase_; }
  const std::string& lastInput() const noexcept { return lastInput_; }
  void setLastInput(std::string input) { lastInput_ = std::move(input); }
  kit::Button* btnEnable() const noexcept { return btnEnable_.get(); }
  kit::Button* btnChangePw() const noexcept { return btnChangePw_.get(); }
  kit::Switch* privateOnlyswitch() const noexcept { return privateOnlyswitch_.get(); }
  kit::Button* btnPrivateOpion() const noexcept { return btnPrivateOpion_.get(); }

  std::string className() const override { return "VeskPasscodeViewController"; }

 private:
  // A new PIN view with this screen as delegate, pushed on the stack.
  kit::Ref<PINViewController> pushPINView(const std::string& message, bool animated);
  void popPINView(bool animated);
  // The lock goes off: the stored passcode is removed and the buttons follow.
  void switchLockOff();

  kit::Ref<kit::Button> btnEnable_;
  kit::Ref<kit::Button> btnChangePw_;
  kit::Ref<kit::Switch> privateOnlyswitch_;
  kit::Ref<kit::Button> btnPrivateOpion_;
  int phase_ = 0;
  std::string lastInput_;
};

}  // namespace tolva
