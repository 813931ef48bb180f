#pragma once
// Stand-in for the 4-digit PIN screen: its texts, its delegate and the
// entry of a code (what the screen does once four digits are typed). The
// real screen (digit boxes, hidden number-pad field) replaces it.

#include <string>

#include "kit/ui/ViewController.h"

namespace tolva {

class PINViewController;

class PINViewControllerDelegate {
 public:
  virtual ~PINViewControllerDelegate() = default;
  // validateCode: whether the four digits are accepted.
  virtual bool pinView(PINViewController& pinView, const std::string& code) = 0;
};

class PINViewController : public kit::ViewController {
 public:
  explicit PINViewController(std::string nibName) : kit::ViewController(std::move(nibName)) {}

  PINViewControllerDelegate* delegate() const noexcept { return delegate_; }
  void setDelegate(PINViewControllerDelegate* d) { delegate_ = d; }
  const std::string& messageText() const noexcept { return messageText_; }
  void setMessageText(std::string t) { messageText_ = std::move(t); }
  const std::string& errorText() const noexcept { return errorText_; }
  void setErrorText(std::string t) { errorText_ = std::move(t); }

  // Four digits were typed: asks the delegate. Anything but four characters is ignored.
  bool enterCode(const std::string& code);

  std::string className() const override { return "PINViewController"; }

 private:
  PINViewControllerDelegate* delegate_ = nullptr;
  std::string messageText_;
  std::string errorText_;
};

}  // namespace tolva
