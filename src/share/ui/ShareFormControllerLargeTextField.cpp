#include "share/ui/ShareFormControllerLargeTextField.h"

#include <algorithm>

#include "kit/foundation/String.h"
#include "kit/ui/Application.h"
#include "kit/ui/BarButtonItem.h"
#include "kit/ui/GeometryValue.h"
#include "kit/ui/NavigationItem.h"
#include "kit/ui/Screen.h"
#include "kit/ui/Utf16.h"
#include "settings/PrefAutorotation.h"
#include "share/core/Share.h"
#include "share/core/ShareFunctions.h"
#include "share/core/ShareSharer.h"

namespace tolva {

ShareFormControllerLargeTextField::ShareFormControllerLargeTextField(
    ShareFormControllerLargeTextFieldDelegate* delegate, std::string nibName)
    : kit::ViewController(std::move(nibName)) {
  setDelegate(delegate);
}

ShareFormControllerLargeTextField::~ShareFormControllerLargeTextField() {
  if (textView_) textView_->setTextViewDelegate(nullptr);
}

ShareFormControllerLargeTextFieldDelegate* ShareFormControllerLargeTextField::delegate() const {
  if (delegateIsObject_ && !delegateObject_.lock()) return nullptr;
  return delegate_;
}

void ShareFormControllerLargeTextField::setDelegate(ShareFormControllerLargeTextFieldDelegate* d) {
  delegate_ = d;
  auto* object = dynamic_cast<kit::Object*>(d);
  delegateIsObject_ = object != nullptr;
  delegateObject_ = object;
}

void ShareFormControllerLargeTextField::loadView() {
  auto root = kit::make<kit::View>(kit::Screen::mainScreen().applicationFrame());
  root->setBackgroundColor(kit::Color::whiteColor());
  setView(root.get());
  textView_ = kit::make<kit::TextView>(root->bounds());
  textView_->setTextViewDelegate(this);
  textView_->setFont(kit::Font::systemFont(15));
  textView_->setContentInset({5, 5, 5, 0});
  textView_->setBackgroundColor(kit::Color::whiteColor());
  textView_->setAutoresizingMask(kit::View::FlexibleWidth | kit::View::FlexibleHeight);
  root->addSubview(textView_.get());
}

void ShareFormControllerLargeTextField::viewWillAppear(bool animated) {
  kit::ViewController::viewWillAppear(animated);
  textView_->setText(text_);
  setupBarButtonItems();
}

void ShareFormControllerLargeTextField::viewDidAppear(bool animated) {
  kit::ViewController::viewDidAppear(animated);
  editorAppeared(*this, *textView_, keyboardToken_, [this](const kit::Notification& n) { keyboardWillShow(n); });
}

void ShareFormControllerLargeTextField::viewDidDisappear(bool animated) {
  kit::ViewController::viewDidDisappear(animated);
  editorDisappeared(keyboardToken_);
}

void ShareFormControllerLargeTextField::editorAppeared(kit::ViewController& screen, kit::TextView& editor,
                                                       kit::NotificationCenter::Token& token,
                                                       std::function<void(const kit::Notification&)> willShow) {
  kit::WeakRef<kit::ViewController> weak(&screen);
  token = kit::NotificationCenter::defaultCenter().addObserver(
      kit::Application::kKeyboardWillShowNotification, nullptr,
      [weak, willShow = std::move(willShow)](const kit::Notification& note) {
        if (auto alive = weak.lock()) willShow(note);
      });
  editor.becomeFirstResponder();
}

void ShareFormControllerLargeTextField::editorDisappeared(kit::NotificationCenter::Token& token) {
  token.reset();
  Share::currentHelper()->viewWasDismissed();
}

bool ShareFormControllerLargeTextField::fitAboveKeyboard(kit::ViewController& screen, kit::TextView* editor,
                                                         const kit::Notification& notification, bool widthInLandscape) {
  if (!editor) return false;
  const double height = editorHeightAboveKeyboard(screen, notification, widthInLandscape);
  editor->setFrame({0, 0, screen.view()->bounds().width(), height});
  return true;
}

void ShareFormControllerLargeTextField::setupBarButtonItems() {
  navigationItem()->setLeftBarButtonItem(kit::BarButtonItem::withSystemItem(
      kit::BarButtonItem::SystemItem::Cancel, "cancel", [this](kit::BarButtonItem&) { cancel(); }));
  std::string service;
  if (auto* sharer = dynamic_cast<ShareSharer*>(delegate())) service = sharer->sharerTitle();
  navigationItem()->setRightBarButtonItem(
      kit::BarButtonItem::withTitle(ShareLocalizedFormat("Send to %@", {service}), kit::BarButtonItem::Style::Done,
                                    "save", [this](kit::BarButtonItem&) { save(); }));
}

bool ShareFormControllerLargeTextField::shouldAutorotateToInterfaceOrientation(kit::InterfaceOrientation o) {
  return PrefAutorotation::shouldAutorotate(this, o);
}

double ShareFormControllerLargeTextField::editorHeightAboveKeyboard(const kit::ViewController& controller,
                                                                    const kit::Notification& notification,
                                                                    bool widthInLandscape) {
  kit::Rect keyboard;
  if (kit::Dictionary* info = notification.userInfo())
    if (auto* frame = kit::cast<kit::GeometryValue>(info->objectForKey(kit::Application::kKeyboardFrameEndUserInfoKey)))
      keyboard = frame->rectValue();
  const bool controllerUpright = kit::isPortrait(controller.interfaceOrientation());
  const double k = (!widthInLandscape || controllerUpright) ? keyboard.height() : keyboard.width();

  auto* self = const_cast<kit::ViewController&>(controller).view();
  const auto orientation = kit::Application::sharedApplication()->statusBarOrientation();
  const bool sideways = kit::isLandscape(orientation);
  const bool fromOppositeEdge = orientation == kit::InterfaceOrientation::PortraitUpsideDown ||
                                orientation == kit::InterfaceOrientation::LandscapeRight;
  const kit::Rect app = kit::Screen::mainScreen().applicationFrame();
  const kit::Point origin = self->convertPointToView({0, 0}, nullptr);
  const double d = sideways ? app.width() : app.height();
  double p = sideways ? origin.x : origin.y;
  if (fromOppositeEdge) p = d - p;
  const double height = self->bounds().height();
  double below = d - (p + height);
  if (!kit::Application::sharedApplication()->isStatusBarHidden() && !fromOppositeEdge) below += 20;
  return std::max(0.0, height - k + below);
}

kit::Rect ShareFormControllerLargeTextField::counterFrame(const kit::View& editor) {
  const kit::Rect b = editor.bounds();
  return {b.width() - 165, b.height() - 24, kCounterWidth, kCounterHeight};
}

void ShareFormControllerLargeTextField::keyboardWillShow(const kit::Notification& notification) {
  if (fitAboveKeyboard(*this, textView_.get(), notification, true)) layoutCounter();
}

long ShareFormControllerLargeTextField::remainingCharacters() const {
  if (maxTextLength_ == 0) return 0;
  const long typed = textView_ ? static_cast<long>(kit::utf16Length(textView_->text())) : 0;
  return static_cast<long>(maxTextLength_) - (image_ ? static_cast<long>(imageTextLength_) : 0) - typed;
}

bool ShareFormControllerLargeTextField::shouldShowCounter() const {
  return maxTextLength_ != 0 || image_ || hasLink_;
}

void ShareFormControllerLargeTextField::ifNoTextDisableSendButton() {
  if (kit::BarButtonItem* send = navigationItem()->rightBarButtonItem())
    send->setEnabled(textView_ && !textView_->text().empty());
}

void ShareFormControllerLargeTextField::updateCounter() {
  ifNoTextDisableSendButton();
  if (!shouldShowCounter() || !textView_) return;
  if (!counter_) {
    counter_ = kit::make<kit::Label>();
    counter_->setBackgroundColor(kit::Color::clearColor());
    counter_->setOpaque(false);
    counter_->setFont(kit::Font::boldSystemFont(14));
    counter_->setTextAlignment(kit::TextAlignment::Right);
    counter_->setAutoresizingMask(kit::View::FlexibleLeftMargin | kit::View::FlexibleTopMargin);
    textView_->addSubview(counter_.get());
    layoutCounter();
  }
  const long r = remainingCharacters();
  const std::string number = maxTextLength_ != 0 ? std::to_string(r) : std::string();
  const std::string imagePart = image_ ? ShareLocalizedFormat("Image %@ ", {r > 0 ? "+" : ""}) : std::string();
  counter_->setText(imagePart + number);
  if (r < 0) {
    counter_->setTextColor(kit::Color::redColor());
    if (kit::BarButtonItem* send = navigationItem()->rightBarButtonItem()) send->setEnabled(false);
  } else {
    counter_->setTextColor(kit::Color::blackColor());
    ifNoTextDisableSendButton();
  }
}

void ShareFormControllerLargeTextField::layoutCounter() {
  if (!counter_ || !textView_) return;
  counter_->setFrame(counterFrame(*textView_));
  textView_->setContentInset({5, 5, 32, 0});
}

void ShareFormControllerLargeTextField::textViewDidBeginEditing(kit::TextView&) { updateCounter(); }
void ShareFormControllerLargeTextField::textViewDidChange(kit::TextView&) { updateCounter(); }
void ShareFormControllerLargeTextField::textViewDidEndEditing(kit::TextView&) { updateCounter(); }

void ShareFormControllerLargeTextField::save() {
  kit::Ref<ShareFormControllerLargeTextField> keep(this);
  Share::currentHelper()->hideCurrentViewControllerAnimated(true);
  if (auto* d = delegate()) d->sendForm(this);
}

void ShareFormControllerLargeTextField::cancel() {
  kit::Ref<ShareFormControllerLargeTextField> keep(this);
  Share::currentHelper()->hideCurrentViewControllerAnimated(true);
  if (auto* d = delegate()) d->sendDidCancel();
}

}  // namespace tolva
