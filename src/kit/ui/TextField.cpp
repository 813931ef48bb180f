#include "kit/ui/TextField.h"

#include "kit/foundation/NotificationCenter.h"
#include "kit/ui/Image.h"
#include "kit/ui/Touch.h"
#include "kit/ui/Utf16.h"

namespace kit {

TextField::TextField(Rect frame) : Control(frame) {}

TextField::~TextField() = default;

void TextField::setText(std::string text) {
  if (text == text_) return;
  text_ = std::move(text);
  notify(ViewChange::Content);
}

void TextField::setPlaceholder(std::string p) {
  placeholder_ = std::move(p);
  notify(ViewChange::Content);
}

void TextField::setFont(Font f) {
  font_ = std::move(f);
  notify(ViewChange::Content);
}

void TextField::setTextColor(Color c) {
  textColor_ = c;
  notify(ViewChange::Content);
}

void TextField::setTextAlignment(TextAlignment a) {
  alignment_ = a;
  notify(ViewChange::Content);
}

void TextField::setBorderStyle(BorderStyle b) {
  border_ = b;
  notify(ViewChange::Appearance);
}

void TextField::setClearButtonMode(ViewMode m) {
  clearMode_ = m;
  notify(ViewChange::Appearance);
}

void TextField::setLeftView(View* v) {
  leftView_ = v;
  notify(ViewChange::Content);
}

void TextField::setRightView(View* v) {
  rightView_ = v;
  notify(ViewChange::Content);
}

void TextField::setBackground(Ref<Image> image) {
  background_ = std::move(image);
  notify(ViewChange::Content);
}

void TextField::setSecureTextEntry(bool s) {
  traits_.secureTextEntry = s;
  notify(ViewChange::Content);
}

bool TextField::isClearButtonVisible() const {
  if (text_.empty()) return false;
  switch (clearMode_) {
    case ViewMode::Never:
      return false;
    case ViewMode::WhileEditing:
      return editing_;
    case ViewMode::UnlessEditing:
      return !editing_;
    case ViewMode::Always:
      return true;
  }
  return false;
}

// ---- Responder

bool TextField::canBecomeFirstResponder() const { return isEnabled(); }

bool TextField::becomeFirstResponder() {
  if (isFirstResponder()) return true;
  if (!canBecomeFirstResponder()) return false;
  Ref<TextField> keep(this);
  if (delegate_ && !delegate_->textFieldShouldBeginEditing(*this)) return false;
  return Control::becomeFirstResponder();
}

void TextField::didBecomeFirstResponder() {
  Ref<TextField> keep(this);
  editing_ = true;
  if (clearsOnBegin_ && !text_.empty()) setText("");
  notify(ViewChange::State);
  if (delegate_) delegate_->textFieldDidBeginEditing(*this);
  sendActionsForControlEvents(EditingDidBegin);
  NotificationCenter::defaultCenter().postNotification(kTextDidBeginEditingNotification, this);
}

bool TextField::resignFirstResponder() {
  if (!isFirstResponder()) return true;
  Ref<TextField> keep(this);
  if (delegate_ && !delegate_->textFieldShouldEndEditing(*this)) return false;
  return Control::resignFirstResponder();
}

void TextField::didResignFirstResponder() {
  Ref<TextField> keep(this);
  editing_ = false;
  notify(ViewChange::State);
  if (delegate_) delegate_->textFieldDidEndEditing(*this);
  sendActionsForControlEvents(EditingDidEnd);
  NotificationCenter::defaultCenter().postNotification(kTextDidEndEditingNotification, this);
}

// ---- Typing

void TextField::textChangedByUser() {
  notify(ViewChange::Content);
  sendActionsForControlEvents(EditingChanged);
  NotificationCenter::defaultCenter().postNotification(kTextDidChangeNotification, this);
}

bool TextField::replaceText(Range range, const std::string& replacement) {
  if (!editing_ && !becomeFirstResponder()) return false;
  Ref<TextField> keep(this);
  range = clampedUtf16Range(text_, range);
  if (delegate_ && !delegate_->textFieldShouldChangeCharacters(*this, range, replacement)) return false;
  // The delegate may have changed the text itself: the range is applied to what is there now.
  replaceUtf16Range(text_, range, replacement);
  textChangedByUser();
  return true;
}

bool TextField::insertText(const std::string& text) {
  if (!editing_ && !becomeFirstResponder()) return false;
  return replaceText({utf16Length(text_), 0}, text);
}

bool TextField::typeText(const std::string& text) {
  return typeEachCodePoint(text, [this](const std::string& cp) { return insertText(cp); });
}

bool TextField::deleteBackward() {
  if (!editing_ && !becomeFirstResponder()) return false;
  if (text_.empty()) return false;
  return replaceText(lastCodePointUtf16Range(text_), "");
}

bool TextField::tapClearButton() {
  Ref<TextField> keep(this);
  if (delegate_ && !delegate_->textFieldShouldClear(*this)) return false;
  if (text_.empty()) return true;
  text_.clear();
  textChangedByUser();
  return true;
}

bool TextField::pressReturn() {
  Ref<TextField> keep(this);
  bool answer = delegate_ ? delegate_->textFieldShouldReturn(*this) : true;
  if (answer && (allControlEvents() & EditingDidEndOnExit)) {
    sendActionsForControlEvents(EditingDidEndOnExit);
    resignFirstResponder();
  }
  return answer;
}

void TextField::touchesEnded(const Touches& touches, Event* event) {
  bool inside = !touches.empty() && bounds().contains(touches.front()->locationInView(this));
  Control::touchesEnded(touches, event);
  if (inside && isEnabled()) becomeFirstResponder();
}

}  // namespace kit
