#include "data/PINViewController.h"

#include "kit/foundation/Notification.h"
#include "kit/ui/Application.h"
#include "kit/ui/InterfaceFile.h"
#include "kit/ui/Layer.h"
#include "kit/ui/NavigationController.h"
#include "kit/ui/ViewAnimation.h"
#include "settings/PrefAutorotation.h"

namespace tolva {
namespace {

using kit::Rect;
using kit::View;

bool allDigits(const std::string& text) {
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

kit::Ref<kit::Label> makeLabel(kit::InterfaceFile::Context& ctx, View* parent, Rect frame, double fontSize) {
  kit::Ref<kit::Label> label = ctx.make<kit::Label>(frame);
  label->setTextAlignment(kit::TextAlignment::Center);
  label->setFont(kit::Font::boldSystemFont(fontSize));
  label->setBackgroundColor(kit::Color::clearColor());
  parent->addSubview(label.get());
  return label;
}

// Four boxes in a row under the prompt, the error line below them; the
// field that takes the key presses sits behind the boxes.
void buildPINView(kit::InterfaceFile::Context& ctx) {
  auto* owner = ctx.ownerAs<PINViewController>();
  const double W = 320, H = 460, box = 56, gap = 14;
  kit::Ref<View> root = ctx.makeTopLevel<View>(Rect(0, 0, W, H));
  root->setAutoresizingMask(View::FlexibleWidth | View::FlexibleHeight);
  root->setBackgroundColor(kit::Color::withWhite(0.92));
  // The row of boxes keeps its size and stays centred on a wider screen.
  kit::Ref<View> pad = ctx.make<View>(Rect(0, 0, W, 200));
  pad->setAutoresizingMask(View::FlexibleLeftMargin | View::FlexibleRightMargin | View::FlexibleBottomMargin);
  pad->setBackgroundColor(kit::Color::clearColor());
  root->addSubview(pad.get());

  kit::Ref<kit::Label> message = makeLabel(ctx, pad.get(), Rect(10, 40, W - 20, 30), 18);
  const double left = (W - 4 * box - 3 * gap) / 2;
  std::vector<kit::Ref<kit::Label>> boxes;
  for (int i = 0; i < 4; ++i) {
    kit::Ref<kit::Label> digit = makeLabel(ctx, pad.get(), Rect(left + i * (box + gap), 90, box, box), 28);
    digit->setBackgroundColor(kit::Color::whiteColor());
    digit->layer()->setCornerRadius(6);
    digit->layer()->setBorderWidth(1);
    digit->layer()->setBorderColor(kit::Color::grayColor());
    boxes.push_back(digit);
  }
  kit::Ref<kit::Label> error = makeLabel(ctx, pad.get(), Rect(10, 160, W - 20, 30), 15);
  error->setTextColor(kit::Color::redColor());

  // On a desktop a hidden entry takes no key presses: the field is there but
  // fully transparent.
  kit::Ref<kit::TextField> input = ctx.make<kit::TextField>(Rect(left, 90, 4 * box + 3 * gap, box));
  input->setAlpha(0);
  pad->insertSubview(input.get(), 0);

  if (owner) {
    owner->setOutlets(boxes[0].get(), boxes[1].get(), boxes[2].get(), boxes[3].get(), message.get(), error.get(),
                      input.get());
    owner->setView(root.get());
  }
}

}  // namespace

PINViewController::PINViewController(std::string nibName) : kit::ViewController(std::move(nibName)) {
  setTitle(std::string());
}

PINViewController::~PINViewController() { observers_.clear(); }

void PINViewController::registerInterfaceFile() { kit::InterfaceFile::registerBuilder("PINViewDefault", buildPINView); }

void PINViewController::setOutlets(kit::Label* one, kit::Label* two, kit::Label* three, kit::Label* four,
                                   kit::Label* message, kit::Label* error, kit::TextField* input) {
  fieldOneLabel_ = one;
  fieldTwoLabel_ = two;
  fieldThreeLabel_ = three;
  fieldFourLabel_ = four;
  messageLabel_ = message;
  errorLabel_ = error;
  inputField_ = input;
}

// ---- View life cycle

void PINViewController::viewDidLoad() {
  kit::ViewController::viewDidLoad();
  auto& center = kit::NotificationCenter::defaultCenter();
  observers_.push_back(center.addObserver(kit::TextField::kTextDidChangeNotification, inputField_.get(),
                                          [this](const kit::Notification& n) { textDidChange(n); }));
  observers_.push_back(center.addObserver(kit::Application::kKeyboardDidHideNotification, nullptr,
                                          [this](const kit::Notification& n) { keyboardHide(n); }));
  if (inputField_) {
    inputField_->setDelegate(this);
    inputField_->setKeyboardType(kit::KeyboardType::NumberPad);
    inputField_->setAlpha(0);
    inputField_->becomeFirstResponder();
  }
  pinFields_.clear();
  for (const kit::Ref<kit::Label>& box : {fieldOneLabel_, fieldTwoLabel_, fieldThreeLabel_, fieldFourLabel_})
    if (box) pinFields_.push_back(box);
  updatePINDisplay();
  if (messageLabel_) messageLabel_->setText(messageText_);
  if (errorLabel_) errorLabel_->setText(errorText_);
}

void PINViewController::viewDidUnload() {
  observers_.clear();
  pinFields_.clear();
  if (inputField_) {
    inputField_->resignFirstResponder();
    inputField_->setDelegate(nullptr);
  }
  setOutlets(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
  kit::ViewController::viewDidUnload();
}

void PINViewController::viewWillAppear(bool animated) {
  kit::ViewController::viewWillAppear(animated);
  if (kit::NavigationController* nav = navigationController()) nav->setNavigationBarHidden(false, animated);
}

bool PINViewController::shouldAutorotateToInterfaceOrientation(kit::InterfaceOrientation orientation) {
  return PrefAutorotation::shouldAutorotate(this, orientation);
}

void PINViewController::presentViewFromViewController(kit::ViewController* controller, bool animated) {
  if (!controller) return;
  kit::Ref<kit::NavigationController> nav = kit::NavigationController::withRootViewController(this);
  controller->presentViewController(nav.get(), animated);
}

// ---- Typing

void PINViewController::keyboardHide(const kit::Notification&) {
  if (inputField_ && inputField_->text().size() != kDigits) inputField_->becomeFirstResponder();
}

void PINViewController::textDidChange(const kit::Notification& notification) {
  if (!inputField_ || notification.object() != inputField_.get()) return;
  // An accepted code may pop or dismiss this screen from inside the delegate.
  kit::Ref<PINViewController> keep(this);
  kit::Ref<kit::TextField> field = inputField_;
  const std::string text = field->text();
  if (text.size() == kDigits) {
    bool accepted = delegate_ && delegate_->pinView(*this, text);
    if (!accepted) {
      kit::Application::sharedApplication()->vibrate();
      setErrorLabelHidden(false, true);
      field->setText(std::string());
    }
  } else {
    PINText_ = text;
  }
  updatePINDisplay();
}

bool PINViewController::textFieldShouldChangeCharacters(kit::TextField& field, kit::Range range,
                                                        const std::string& replacement) {
  if (!replacement.empty() && PINText_.size() >= kDigits) return false;
  // Digits only, never more than four: a longer paste would reach past the last box.
  if (!allDigits(replacement)) return false;
  const size_t length = field.text().size();
  const size_t removed = std::min(range.length, length - std::min(range.location, length));
  if (length - removed + replacement.size() > kDigits) return false;
  setErrorLabelHidden(true, true);
  return true;
}

// ---- Display

void PINViewController::setErrorLabelHidden(bool hidden, bool animated) {
  if (!errorLabel_) return;
  kit::Ref<kit::Label> label = errorLabel_;
  const double alpha = hidden ? 0 : 1;
  if (animated)
    kit::ViewAnimation::animate(0.3, [label, alpha] { label->setAlpha(alpha); });
  else
    label->setAlpha(alpha);
}

void PINViewController::updatePINDisplay() {
  for (size_t i = 0; i < pinFields_.size(); ++i) {
    std::string shown;
    if (i < PINText_.size()) shown = secureTextEntry_ ? std::string(kSecureDot) : std::string(1, PINText_[i]);
    pinFields_[i]->setText(shown);
  }
}

// ---- Properties

void PINViewController::setMessageText(std::string text) {
  messageText_ = std::move(text);
  if (isViewLoaded() && messageLabel_) messageLabel_->setText(messageText_);
}

void PINViewController::setErrorText(std::string text) {
  errorText_ = std::move(text);
  if (isViewLoaded() && errorLabel_) errorLabel_->setText(errorText_);
}

void PINViewController::setSecureTextEntry(bool secure) {
  secureTextEntry_ = secure;
  if (isViewLoaded()) updatePINDisplay();
}

}  // namespace tolva
