#include "share/ui/ShareTwitterForm.h"

#include "kit/ui/AlertView.h"
#include "kit/ui/BarButtonItem.h"
#include "kit/ui/NavigationItem.h"
#include "kit/ui/Screen.h"
#include "kit/ui/Utf16.h"
#include "settings/PrefAutorotation.h"
#include "share/core/Share.h"
#include "share/core/ShareFunctions.h"
#include "share/ui/ShareFormControllerLargeTextField.h"

namespace tolva {
namespace {

void closeAlert(const std::string& title, const std::string& message) {
  auto alert = kit::make<kit::AlertView>();
  alert->setTitle(ShareLocalizedFormat(title));
  alert->setMessage(ShareLocalizedFormat(message));
  alert->setCancelButtonIndex(alert->addButtonWithTitle(ShareLocalizedFormat("Close")));
  alert->show();
}

}  // namespace

ShareTwitterForm::ShareTwitterForm(std::string nibName) : kit::ViewController(std::move(nibName)) {
  navigationItem()->setLeftBarButtonItem(kit::BarButtonItem::withSystemItem(
      kit::BarButtonItem::SystemItem::Cancel, "cancel", [this](kit::BarButtonItem&) { cancel(); }));
  navigationItem()->setRightBarButtonItem(kit::BarButtonItem::withTitle(
      ShareLocalizedFormat("Send to Twitter"), kit::BarButtonItem::Style::Done, "save",
      [this](kit::BarButtonItem&) { save(); }));
}

ShareTwitterForm::~ShareTwitterForm() {
  if (textView_) textView_->setTextViewDelegate(nullptr);
}

void ShareTwitterForm::loadView() {
  auto root = kit::make<kit::View>(kit::Screen::mainScreen().applicationFrame());
  root->setBackgroundColor(kit::Color::whiteColor());
  setView(root.get());
  textView_ = kit::make<kit::TextView>(root->bounds());
  textView_->setTextViewDelegate(this);
  textView_->setFont(kit::Font::systemFont(15));
  textView_->setContentInset({5, 5, 0, 0});
  textView_->setAutoresizingMask(kit::View::FlexibleWidth | kit::View::FlexibleHeight);
  root->addSubview(textView_.get());
}

void ShareTwitterForm::viewDidAppear(bool animated) {
  kit::ViewController::viewDidAppear(animated);
  ShareFormControllerLargeTextField::editorAppeared(*this, *textView_, keyboardToken_,
                                                    [this](const kit::Notification& n) { keyboardWillShow(n); });
}

void ShareTwitterForm::viewDidDisappear(bool animated) {
  kit::ViewController::viewDidDisappear(animated);
  ShareFormControllerLargeTextField::editorDisappeared(keyboardToken_);
}

bool ShareTwitterForm::shouldAutorotateToInterfaceOrientation(kit::InterfaceOrientation o) {
  return PrefAutorotation::shouldAutorotate(this, o);
}

void ShareTwitterForm::keyboardWillShow(const kit::Notification& notification) {
  if (ShareFormControllerLargeTextField::fitAboveKeyboard(*this, textView_.get(), notification, false)) layoutCounter();
}

long ShareTwitterForm::remainingCharacters() const {
  const long typed = textView_ ? static_cast<long>(kit::utf16Length(textView_->text())) : 0;
  return (hasAttachment_ ? kLimitWithAttachment : kLimit) - typed;
}

void ShareTwitterForm::updateCounter() {
  if (!textView_) return;
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
  counter_->setText((hasAttachment_ ? ShareLocalizedFormat("Image + ") : std::string()) + std::to_string(r));
  counter_->setTextColor(r < 0 ? kit::Color::redColor() : kit::Color::blackColor());
}

void ShareTwitterForm::layoutCounter() {
  if (counter_ && textView_) counter_->setFrame(ShareFormControllerLargeTextField::counterFrame(*textView_));
}

void ShareTwitterForm::textViewDidBeginEditing(kit::TextView&) { updateCounter(); }
void ShareTwitterForm::textViewDidChange(kit::TextView&) { updateCounter(); }
void ShareTwitterForm::textViewDidEndEditing(kit::TextView&) { updateCounter(); }

void ShareTwitterForm::save() {
  if (remainingCharacters() < 0) {
    closeAlert("Message is too long", "Twitter posts can only be 140 characters in length.");
    return;
  }
  if (!textView_ || textView_->text().empty()) {
    closeAlert("Message is empty", "You must enter a message in order to post.");
    return;
  }
  kit::Ref<ShareTwitterForm> keep(this);
  if (auto* d = dynamic_cast<ShareTwitterFormDelegate*>(delegate_.lock().get())) d->sendForm(this);
  Share::currentHelper()->hideCurrentViewControllerAnimated(true);
}

void ShareTwitterForm::cancel() { Share::currentHelper()->hideCurrentViewControllerAnimated(true); }

}  // namespace tolva
