#pragma once
// A screen that takes exactly four digits and asks its delegate whether they
// are right. The digits go into a text field the user does not see (it
// keeps the keyboard up) and are drawn in four boxes, as dots while
// secureTextEntry is on. A refused code vibrates, fades the error line in
// and empties the field. The layout comes from the interface file the
// caller names ("PINViewDefault").

#include <string>
#include <vector>

#include "data/PINViewControllerDelegate.h"
#include "kit/foundation/NotificationCenter.h"
#include "kit/ui/Label.h"
#include "kit/ui/TextField.h"
#include "kit/ui/ViewController.h"

namespace tolva {

class PINViewController : public kit::ViewController, public kit::TextFieldDelegate {
 public:
  static constexpr size_t kDigits = 4;
  // The dot drawn for a digit while secureTextEntry is on.
  static constexpr const char* kSecureDot = "\xE2\x97\x8F";

  explicit PINViewController(std::string nibName = "PINViewDefault");
  ~PINViewController() override;

  // Registers the interface file "PINViewDefault".
  static void registerInterfaceFile();

  void viewDidLoad() override;
  void viewDidUnload() override;
  void viewWillAppear(bool animated) override;
  bool shouldAutorotateToInterfaceOrientation(kit::InterfaceOrientation orientation) override;

  // Wraps this screen in a new navigation controller presented over `controller`.
  void presentViewFromViewController(kit::ViewController* controller, bool animated);

  // The keyboard went away before four digits were in: it comes back.
  void keyboardHide(const kit::Notification& notification);
  void textDidChange(const kit::Notification& notification);

  // ---- kit::TextFieldDelegate
  bool textFieldShouldChangeCharacters(kit::TextField& field, kit::Range range,
                                       const std::string& replacement) override;

  const std::string& messageText() const noexcept { return messageText_; }
  void setMessageText(std::string text);
  const std::string& errorText() const noexcept { return errorText_; }
  void setErrorText(std::string text);
  const std::string& PINText() const noexcept { return PINText_; }
  bool secureTextEntry() const noexcept { return secureTextEntry_; }
  void setSecureTextEntry(bool secure);
  PINViewControllerDelegate* delegate() const noexcept { return delegate_; }
  void setDelegate(PINViewControllerDelegate* delegate) { delegate_ = delegate; }
  kit::Object* userInfo() const noexcept { return userInfo_.get(); }
  void setUserInfo(kit::Object* info) { userInfo_ = info; }

  // The outlets, set by the interface file.
  kit::Label* fieldOneLabel() const noexcept { return fieldOneLabel_.get(); }
  kit::Label* fieldTwoLabel() const noexcept { return fieldTwoLabel_.get(); }
  kit::Label* fieldThreeLabel() const noexcept { return fieldThreeLabel_.get(); }
  kit::Label* fieldFourLabel() const noexcept { return fieldFourLabel_.get(); }
  kit::Label* messageLabel() const noexcept { return messageLabel_.get(); }
  kit::Label* errorLabel() const noexcept { return errorLabel_.get(); }
  kit::TextField* inputField() const noexcept { return inputField_.get(); }
  void setOutlets(kit::Label* one, kit::Label* two, kit::Label* three, kit::Label* four, kit::Label* message,
                  kit::Label* error, kit::TextField* input);

  std::string className() const override { return "PINViewController"; }

 private:
  void setErrorLabelHidden(bool hidden, bool animated);
  void updatePINDisplay();

  kit::Ref<kit::Label> fieldOneLabel_, fieldTwoLabel_, fieldThreeLabel_, fieldFourLabel_;
  kit::Ref<kit::Label> messageLabel_, errorLabel_;
  kit::Ref<kit::TextField> inputField_;
  std::vector<kit::Ref<kit::Label>> pinFields_;
  std::string messageText_;
  std::string errorText_;
  std::string PINText_;
  bool secureTextEntry_ = true;
  PINViewControllerDelegate* delegate_ = nullptr;
  kit::Ref<kit::Object> userInfo_;
  std::vector<kit::NotificationCenter::Token> observers_;
};

}  // namespace tolva
