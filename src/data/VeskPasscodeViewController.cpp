#include "data/VeskPasscodeViewController.h"

#include "data/VeskPasscodeStore.h"
#include "common/LocalizedText.h"
#include "kit/foundation/String.h"
#include "kit/foundation/UserDefaults.h"
#include "kit/ui/NavigationController.h"
#include "kit/ui/Screen.h"
#include "settings/PrefAutorotation.h"

namespace tolva {
namespace {

using kit::Rect;
using kit::View;

constexpr const char* kMismatch = "Passcode did not match. Try again.";

kit::UserDefaults& defaults() { return kit::UserDefaults::standardUserDefaults(); }

}  // namespace

VeskPasscodeViewController::VeskPasscodeViewController() { setTitle(LocalizedText::localized("Passcode Lock")); }

void VeskPasscodeViewController::loadView() {
  const Rect frame = kit::Screen::mainScreen().applicationFrame();
  kit::Ref<View> root = View::view(frame);
  root->setAutoresizingMask(View::FlexibleWidth | View::FlexibleHeight);
  root->setBackgroundColor(kit::Color::withWhite(0.92));
  const double W = frame.width(), margin = 20, width = W - 2 * margin;
  const unsigned stretch = View::FlexibleWidth | View::FlexibleBottomMargin;

  btnEnable_ = kit::make<kit::Button>(Rect(margin, 30, width, 44), kit::Button::Type::RoundedRect);
  btnEnable_->setAutoresizingMask(stretch);
  btnEnable_->addTarget("onBtnEnable:", kit::Control::TouchUpInside, [this](kit::Control& b) { onBtnEnable(&b); });
  btnChangePw_ = kit::make<kit::Button>(Rect(margin, 90, width, 44), kit::Button::Type::RoundedRect);
  btnChangePw_->setAutoresizingMask(stretch);
  btnChangePw_->setEnabled(false);
  btnChangePw_->addTarget("onBtnChangePw:", kit::Control::TouchUpInside,
                          [this](kit::Control& b) { onBtnChangePw(&b); });
  privateOnlyswitch_ = kit::make<kit::Switch>(Rect(W - margin - 79, 160, 79, 27));
  privateOnlyswitch_->setAutoresizingMask(View::FlexibleLeftMargin | View::FlexibleBottomMargin);
  privateOnlyswitch_->addTarget("onPrivateOnlySwitch:", kit::Control::ValueChanged,
                                [this](kit::Control&) { onPrivateOnlySwitch(privateOnlyswitch_.get()); });
  btnPrivateOpion_ = kit::make<kit::Button>(Rect(margin, 150, width - 79 - 10, 50), kit::Button::Type::Custom);
  btnPrivateOpion_->setAutoresizingMask(stretch);
  btnPrivateOpion_->setTitleColor(kit::Color::darkGrayColor());
  btnPrivateOpion_->titleLabel()->setNumberOfLines(0);
  btnPrivateOpion_->setContentHorizontalAlignment(kit::Control::ContentHorizontalAlignment::Left);
  for (View* v : {static_cast<View*>(btnEnable_.get()), static_cast<View*>(btnChangePw_.get()),
                  static_cast<View*>(btnPrivateOpion_.get()), static_cast<View*>(privateOnlyswitch_.get())})
    root->addSubview(v);
  setView(root.get());
}

void VeskPasscodeViewController::viewDidLoad() {
  kit::ViewController::viewDidLoad();
  if (VeskPasscodeStore::isOn()) {
    btnEnable_->setSelected(true);
    btnChangePw_->setEnabled(true);
  }
  if (defaults().exists(kPrivateOnlyKey)) privateOnlyswitch_->setOn(defaults().boolForKey(kPrivateOnlyKey));
  btnEnable_->setTitle(LocalizedText::localized("Enable Passcode Lock"), kit::Control::Normal);
  btnEnable_->setTitle(LocalizedText::localized("Disable Passcode Lock"), kit::Control::Selected);
  btnChangePw_->setTitle(LocalizedText::localized("Change passcode"), kit::Control::Normal);
  btnPrivateOpion_->setTitle(
      LocalizedText::localized(
          "Ask passcode only when any private tab exists. Otherwise, it will ask when ever Tolva starts."),
      kit::Control::Normal);
}

bool VeskPasscodeViewController::shouldAutorotateToInterfaceOrientation(kit::InterfaceOrientation orientation) {
  return PrefAutorotation::shouldAutorotate(this, orientation);
}

// ---- Buttons

kit::Ref<PINViewController> VeskPasscodeViewController::pushPINView(const std::string& message, bool animated) {
  kit::Ref<PINViewController> pin = kit::make<PINViewController>("PINViewDefault");
  pin->setDelegate(this);
  pin->setTitle(LocalizedText::localized("PIN Code"));
  pin->setMessageText(LocalizedText::localized(message));
  if (kit::NavigationController* nav = navigationController()) nav->pushViewController(pin.get(), animated);
  return pin;
}

void VeskPasscodeViewController::popPINView(bool animated) {
  if (kit::NavigationController* nav = navigationController()) nav->popViewControllerAnimated(animated);
}

void VeskPasscodeViewController::onBtnEnable(kit::Object*) {
  if (btnEnable_ && btnEnable_->isSelected()) {
    phase_ = 0;
    pushPINView("Enter Your PIN", true);
  } else {
    phase_ = 1;
    pushPINView("Enter your new PIN", true);
  }
}

void VeskPasscodeViewController::onBtnChangePw(kit::Object*) {
  phase_ = 3;
  pushPINView("Enter your current PIN", true);
}

void VeskPasscodeViewController::onPrivateOnlySwitch(kit::Switch* sender) {
  if (!sender) return;
  defaults().setBool(sender->isOn(), kPrivateOnlyKey);
  defaults().synchronize();
}

void VeskPasscodeViewController::switchLockOff() {
  if (btnEnable_) btnEnable_->setSelected(false);
  if (btnChangePw_) btnChangePw_->setEnabled(false);
  VeskPasscodeStore::removePasscode();
}

// ---- The phase machine

bool VeskPasscodeViewController::pinView(PINViewController& pinView, const std::string& code) {
  kit::Ref<VeskPasscodeViewController> keep(this);
  switch (phase_) {
    case 0:
    case 3: {
      std::optional<std::string> stored = VeskPasscodeStore::passcode();
      if (!stored) return false;
      if (*stored != code) {
        pinView.setErrorText(LocalizedText::localized(kMismatch));
        return false;
      }
      const bool change = phase_ == 3;
      switchLockOff();
      popPINView(false);
      // A change goes on with a new passcode, the old one already gone.
      if (change) onBtnEnable(nullptr);
      return true;
    }
    case 1:
      setLastInput(code);
      phase_ = 2;
      popPINView(false);
      pushPINView("Re-enter your new PIN", true);
      return true;
    case 2: {
      if (code == lastInput_) {
        VeskPasscodeStore::setPasscode(code);
        popPINView(true);
        if (btnEnable_) btnEnable_->setSelected(true);
        if (btnChangePw_) btnChangePw_->setEnabled(true);
        phase_ = 0;
        return true;
      }
      popPINView(false);
      phase_ = 1;
      kit::Ref<PINViewController> again = pushPINView("Enter your new PIN", true);
      again->setErrorText(LocalizedText::localized(kMismatch));
      return false;
    }
    default:
      return false;
  }
}

}  // namespace tolva
