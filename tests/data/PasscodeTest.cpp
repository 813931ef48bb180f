// The PIN view (digit boxes, what the field accepts, a refused code) and the
// passcode settings screen's phases, opened from the settings as the
// program does.

#include <unistd.h>

#include "ScreenTestSupport.h"
#include "data/PINViewController.h"
#include "data/VeskPasscodeStore.h"
#include "data/VeskPasscodeViewController.h"
#include "kit/foundation/Number.h"
#include "kit/foundation/Paths.h"
#include "kit/foundation/PropertyList.h"
#include "kit/ui/Button.h"
#include "kit/ui/Switch.h"

using tolva::PINViewController;
using tolva::VeskPasscodeViewController;

namespace {

// Answers from a list and notes what it was asked, and what the boxes showed meanwhile.
struct Checker : tolva::PINViewControllerDelegate {
  bool answer = false;
  std::vector<std::string> codes;
  std::string fourthBoxWhileAsked = "(not asked)";
  std::function<void(PINViewController&)> then;
  bool pinView(PINViewController& pin, const std::string& code) override {
    codes.push_back(code);
    fourthBoxWhileAsked = pin.fieldFourLabel()->text();
    if (then) then(pin);
    return answer;
  }
};

class PINViewTest : public datatest::ScreenTest {
 protected:
  kit::Ref<PINViewController> makePIN() {
    kit::Ref<PINViewController> pin = kit::make<PINViewController>("PINViewDefault");
    pin->setDelegate(&checker);
    pin->setMessageText("Enter Your PIN");
    show(pin.get());
    return pin;
  }
  static std::vector<std::string> boxes(PINViewController& pin) {
    return {pin.fieldOneLabel()->text(), pin.fieldTwoLabel()->text(), pin.fieldThreeLabel()->text(),
            pin.fieldFourLabel()->text()};
  }
  static size_t vibrations() { return kit::Application::sharedApplication()->vibrationCount(); }
  Checker checker;
};

const std::string dot = PINViewController::kSecureDot;

TEST_F(PINViewTest, DigitsFillTheBoxesAndTheFourthGoesToTheDelegate) {
  kit::Ref<PINViewController> pin = makePIN();
  ASSERT_TRUE(pin->inputField());
  EXPECT_EQ(pin->messageLabel()->text(), "Enter Your PIN");
  EXPECT_TRUE(pin->inputField()->isFirstResponder());
  EXPECT_EQ(pin->inputField()->keyboardType(), kit::KeyboardType::NumberPad);
  EXPECT_EQ(pin->inputField()->alpha(), 0);
  EXPECT_FALSE(nav->isNavigationBarHidden());

  pin->inputField()->typeText("123");
  EXPECT_EQ(boxes(*pin), (std::vector<std::string>{dot, dot, dot, ""}));
  EXPECT_EQ(pin->PINText(), "123");
  pin->inputField()->typeText("4");
  EXPECT_EQ(checker.codes, (std::vector<std::string>{"1234"}));
  EXPECT_EQ(checker.fourthBoxWhileAsked, "");

  // Refused: the device vibrates, the error line fades in and the field is emptied.
  EXPECT_EQ(vibrations(), 1u);
  EXPECT_EQ(pin->inputField()->text(), "");
  loop().advance(1);
  EXPECT_EQ(pin->errorLabel()->alpha(), 1);
  // The next digit hides the error line again.
  pin->inputField()->typeText("9");
  loop().advance(1);
  EXPECT_EQ(pin->errorLabel()->alpha(), 0);
  EXPECT_EQ(pin->PINText(), "9");
  EXPECT_EQ(boxes(*pin), (std::vector<std::string>{dot, "", "", ""}));

  // Without secure entry the digits themselves are shown; a deletion is taken.
  pin->setSecureTextEntry(false);
  pin->inputField()->typeText("8");
  EXPECT_EQ(boxes(*pin), (std::vector<std::string>{"9", "8", "", ""}));
  pin->inputField()->deleteBackward();
  EXPECT_EQ(boxes(*pin), (std::vector<std::string>{"9", "", "", ""}));
  EXPECT_EQ(vibrations(), 1u);
}

TEST_F(PINViewTest, OnlyDigitsAndNeverMoreThanFour) {
  kit::Ref<PINViewController> pin = makePIN();
  kit::TextField* field = pin->inputField();
  EXPECT_FALSE(field->insertText("a"));
  EXPECT_FALSE(field->insertText("1a"));
  EXPECT_FALSE(field->insertText("\xD9\xA3"));  // a digit of another script
  EXPECT_FALSE(field->insertText("12345"));      // a paste longer than the boxes
  EXPECT_EQ(field->text(), "");
  EXPECT_TRUE(checker.codes.empty());
  field->insertText("12");
  EXPECT_FALSE(field->insertText("345"));
  // Replacing a selection counts what stays.
  EXPECT_TRUE(field->replaceText({0, 2}, "987"));
  EXPECT_EQ(pin->PINText(), "987");
  // A paste of exactly four is a code.
  field->setText("");
  EXPECT_TRUE(field->insertText("4321"));
  EXPECT_EQ(checker.codes, (std::vector<std::string>{"4321"}));
}

TEST_F(PINViewTest, TheErrorTextAndTheKeyboardComingBack) {
  kit::Ref<PINViewController> pin = makePIN();
  pin->setErrorText("Passcode did not match. Try again.");
  EXPECT_EQ(pin->errorLabel()->text(), "Passcode did not match. Try again.");
  // The keyboard closed with fewer than four digits in: it is brought back.
  pin->inputField()->typeText("12");
  pin->inputField()->resignFirstResponder();
  kit::NotificationCenter::defaultCenter().postNotification(kit::Application::kKeyboardDidHideNotification);
  EXPECT_TRUE(pin->inputField()->isFirstResponder());
  // A change of another field is none of its business.
  kit::Ref<kit::TextField> other = kit::make<kit::TextField>();
  kit::NotificationCenter::defaultCenter().postNotification(kit::TextField::kTextDidChangeNotification, other.get());
  EXPECT_EQ(pin->PINText(), "12");
}

TEST_F(PINViewTest, AScreenDismissedByItsOwnDelegateLivesUntilTheAnswer) {
  kit::Ref<kit::ViewController> base = kit::make<kit::ViewController>();
  show(base.get());
  kit::WeakRef<PINViewController> weak;
  {
    kit::Ref<PINViewController> pin = kit::make<PINViewController>("PINViewDefault");
    pin->setDelegate(&checker);
    pin->presentViewFromViewController(base.get(), false);
    weak = pin.get();
    auto* presented = dynamic_cast<kit::NavigationController*>(base->presentedViewController());
    ASSERT_TRUE(presented);
    EXPECT_EQ(presented->topViewController(), pin.get());
  }
  checker.answer = true;
  checker.then = [&](PINViewController& p) { p.navigationController()->dismissViewControllerAnimated(false); };
  weak.lock()->inputField()->typeText("1111");
  EXPECT_EQ(checker.codes.size(), 1u);
  EXPECT_FALSE(base->presentedViewController());
  loop().advance(1);
  EXPECT_FALSE(weak.lock());
}

class PasscodeScreenTest : public datatest::ScreenTest {
 protected:
  VeskPasscodeViewController* open() {
    screen = kit::cast<VeskPasscodeViewController>(openFromSettings("Passcode Lock"));
    return screen.get();
  }
  PINViewController* topPIN() { return dynamic_cast<PINViewController*>(nav->topViewController()); }
  // Types a code into the PIN view on top and lets the transitions end.
  void enter(const std::string& code) {
    PINViewController* pin = topPIN();
    ASSERT_TRUE(pin) << "no PIN view on top";
    pin->inputField()->typeText(code);
    loop().advance(1);
  }
  static std::string passcode() { return tolva::VeskPasscodeStore::passcode().value_or("(none)"); }
  kit::Ref<VeskPasscodeViewController> screen;
};

TEST_F(PasscodeScreenTest, SwitchingOnAsksTwiceAndAMismatchStartsOver) {
  ASSERT_TRUE(open());
  EXPECT_EQ(screen->btnEnable()->currentTitle(), "Enable Passcode Lock");
  EXPECT_EQ(screen->btnEnable()->titleForState(kit::Control::Selected), "Disable Passcode Lock");
  EXPECT_FALSE(screen->btnChangePw()->isEnabled());
  EXPECT_EQ(screen->btnChangePw()->currentTitle(), "Change passcode");

  screen->btnEnable()->tap();
  loop().advance(1);
  EXPECT_EQ(screen->phase(), 1);
  ASSERT_TRUE(topPIN());
  EXPECT_EQ(topPIN()->messageText(), "Enter your new PIN");
  EXPECT_EQ(topPIN()->title(), "PIN Code");
  EXPECT_EQ(topPIN()->delegate(), screen.get());
  enter("1234");
  EXPECT_EQ(screen->phase(), 2);
  EXPECT_EQ(screen->lastInput(), "1234");
  EXPECT_EQ(topPIN()->messageText(), "Re-enter your new PIN");
  EXPECT_EQ(nav->viewControllers().size(), 3u);

  // A different confirmation: back to a new PIN with the error shown.
  enter("4321");
  EXPECT_EQ(screen->phase(), 1);
  EXPECT_EQ(topPIN()->messageText(), "Enter your new PIN");
  EXPECT_EQ(topPIN()->errorText(), "Passcode did not match. Try again.");
  EXPECT_EQ(topPIN()->errorLabel()->alpha(), 1);
  EXPECT_EQ(passcode(), "(none)");
  EXPECT_EQ(nav->viewControllers().size(), 3u);

  enter("5678");
  enter("5678");
  EXPECT_FALSE(defaults().exists("passcode_value"));  // kept in the keychain only
  EXPECT_EQ(passcode(), "5678");
  EXPECT_EQ(screen->phase(), 0);
  EXPECT_EQ(nav->topViewController(), screen.get());
  EXPECT_TRUE(screen->btnEnable()->isSelected());
  EXPECT_EQ(screen->btnEnable()->currentTitle(), "Disable Passcode Lock");
  EXPECT_TRUE(screen->btnChangePw()->isEnabled());
}

TEST_F(PasscodeScreenTest, SwitchingOffAndChangingAskForTheCurrentPasscode) {
  tolva::VeskPasscodeStore::setPasscode("2468");
  ASSERT_TRUE(open());
  EXPECT_TRUE(screen->btnEnable()->isSelected());
  EXPECT_TRUE(screen->btnChangePw()->isEnabled());

  // Changing: the wrong current passcode is refused with the error.
  screen->btnChangePw()->tap();
  loop().advance(1);
  EXPECT_EQ(screen->phase(), 3);
  EXPECT_EQ(topPIN()->messageText(), "Enter your current PIN");
  size_t before = kit::Application::sharedApplication()->vibrationCount();
  enter("1111");
  EXPECT_EQ(topPIN()->errorText(), "Passcode did not match. Try again.");
  EXPECT_EQ(kit::Application::sharedApplication()->vibrationCount(), before + 1);
  EXPECT_EQ(passcode(), "2468");
  // The right one removes it and asks for a new one.
  enter("2468");
  EXPECT_EQ(passcode(), "(none)");
  EXPECT_EQ(screen->phase(), 1);
  EXPECT_FALSE(screen->btnEnable()->isSelected());
  EXPECT_FALSE(screen->btnChangePw()->isEnabled());
  EXPECT_EQ(topPIN()->messageText(), "Enter your new PIN");
  EXPECT_EQ(nav->viewControllers().size(), 3u);
  enter("1357");
  enter("1357");
  EXPECT_EQ(passcode(), "1357");

  // Switching off: the wrong passcode, then the right one.
  screen->btnEnable()->tap();
  loop().advance(1);
  EXPECT_EQ(screen->phase(), 0);
  EXPECT_EQ(topPIN()->messageText(), "Enter Your PIN");
  enter("2468");
  EXPECT_EQ(passcode(), "1357");
  EXPECT_EQ(topPIN()->errorText(), "Passcode did not match. Try again.");
  enter("1357");
  EXPECT_EQ(passcode(), "(none)");
  EXPECT_EQ(nav->topViewController(), screen.get());
  EXPECT_FALSE(screen->btnEnable()->isSelected());
}

TEST_F(PasscodeScreenTest, APasscodeGoneMeanwhileIsRefusedWithoutAnError) {
  tolva::VeskPasscodeStore::setPasscode("2468");
  ASSERT_TRUE(open());
  screen->btnEnable()->tap();
  loop().advance(1);
  tolva::VeskPasscodeStore::removePasscode();
  enter("2468");
  EXPECT_EQ(topPIN()->errorText(), "");
  EXPECT_EQ(screen->phase(), 0);
}

TEST_F(PasscodeScreenTest, AStoredValueOfAnotherLengthIsNoLockAndTheSwitchIsStored) {
  tolva::VeskPasscodeStore::setPasscode("12345");
  defaults().setBool(true, "passcode_ask_only_private_exists");
  ASSERT_TRUE(open());
  EXPECT_FALSE(screen->btnEnable()->isSelected());
  EXPECT_FALSE(screen->btnChangePw()->isEnabled());
  EXPECT_TRUE(screen->privateOnlyswitch()->isOn());
  EXPECT_EQ(screen->btnPrivateOpion()->currentTitle(),
            "Ask passcode only when any private tab exists. Otherwise, it will ask when ever Tolva starts.");
  screen->privateOnlyswitch()->setOn(false);
  screen->privateOnlyswitch()->sendActionsForControlEvents(kit::Control::ValueChanged);
  EXPECT_FALSE(defaults().boolForKey("passcode_ask_only_private_exists"));
  EXPECT_TRUE(defaults().exists("passcode_ask_only_private_exists"));
  // Flushed at once: the file itself holds it.
  kit::Ref<kit::Dictionary> onDisk(
      kit::cast<kit::Dictionary>(kit::PropertyList::readFromFile(kit::Paths::preferencesFile())));
  ASSERT_TRUE(onDisk);
  auto* flag = onDisk->get<kit::Number>("passcode_ask_only_private_exists");
  ASSERT_TRUE(flag);
  EXPECT_FALSE(flag->boolValue());
  // Enabling starts a new passcode.
  screen->btnEnable()->tap();
  loop().advance(1);
  EXPECT_EQ(screen->phase(), 1);
}

TEST_F(PasscodeScreenTest, TheCodeLivesInTheKeychainAndAnOldSettingsValueMovesThereOnce) {
  // Left in the settings by an earlier version.
  defaults().setString("2468", "passcode_value");
  ASSERT_TRUE(defaults().synchronize());
  // While the keychain cannot take it, it stays there and still locks.
  keychainStore->failSavesWith(kit::kKeychainIOError);
  testing::internal::CaptureStderr();
  EXPECT_EQ(passcode(), "2468");
  EXPECT_NE(testing::internal::GetCapturedStderr().find("could not be moved"), std::string::npos);
  EXPECT_TRUE(defaults().exists("passcode_value"));
  keychainStore->failSavesWith(kit::kKeychainSuccess);
  ASSERT_TRUE(open());
  EXPECT_TRUE(screen->btnEnable()->isSelected());
  auto settingsFile = [] {
    return kit::PropertyList::write(kit::PropertyList::readFromFile(kit::Paths::preferencesFile()).get());
  };
  ASSERT_TRUE(settingsFile());
  EXPECT_EQ(settingsFile()->view().find("2468"), std::string::npos);
  EXPECT_FALSE(defaults().exists("passcode_value"));
  ASSERT_EQ(keychain().items().size(), 1u);
  EXPECT_EQ(passcode(), "2468");

  // A settings file copied in later neither changes nor removes the lock.
  defaults().setString("0000", "passcode_value");
  EXPECT_EQ(passcode(), "2468");
  EXPECT_FALSE(defaults().exists("passcode_value"));
  kit::UserDefaults::discardStandardUserDefaultsForTesting();
  ::unlink(kit::Paths::preferencesFile().c_str());
  EXPECT_EQ(passcode(), "2468");
}

}  // namespace
