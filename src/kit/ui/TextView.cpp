#include "kit/ui/TextView.h"

#include "kit/foundation/NotificationCenter.h"
#include "kit/ui/Touch.h"
#include "kit/ui/Utf16.h"

namespace kit {

TextView::TextView(Rect frame) : ScrollView(frame) {}

void TextView::setText(std::string text) {
  if (text == text_) return;
  text_ = std::move(text);
  notify(ViewChange::Content);
}

void TextView::setFont(Font f) {
  font_ = std::move(f);
  notify(ViewChange::Content);
}

void TextView::setTextColor(Color c) {
  textColor_ = c;
  notify(ViewChange::Content);
}

void TextView::setTextAlignment(TextAlignment a) {
  alignment_ = a;
  notify(ViewChange::Content);
}

void TextView::setTextViewDelegate(TextViewDelegate* d) {
  textDelegate_ = d;
  setDelegate(d);
}

bool TextView::becomeFirstResponder() {
  if (isFirstResponder()) return true;
  if (!canBecomeFirstResponder()) return false;
  Ref<TextView> keep(this);
  if (textDelegate_ && !textDelegate_->textViewShouldBeginEditing(*this)) return false;
  return ScrollView::becomeFirstResponder();
}

void TextView::didBecomeFirstResponder() {
  Ref<TextView> keep(this);
  editing_ = true;
  notify(ViewChange::State);
  if (textDelegate_) textDelegate_->textViewDidBeginEditing(*this);
  NotificationCenter::defaultCenter().postNotification(kTextDidBeginEditingNotification, this);
}

bool TextView::resignFirstResponder() {
  if (!isFirstResponder()) return true;
  Ref<TextView> keep(this);
  if (textDelegate_ && !textDelegate_->textViewShouldEndEditing(*this)) return false;
  return ScrollView::resignFirstResponder();
}

void TextView::didResignFirstResponder() {
  Ref<TextView> keep(this);
  editing_ = false;
  notify(ViewChange::State);
  if (textDelegate_) textDelegate_->textViewDidEndEditing(*this);
  NotificationCenter::defaultCenter().postNotification(kTextDidEndEditingNotification, this);
}

bool TextView::replaceText(Range range, const std::string& replacement) {
  if (!editing_ && !becomeFirstResponder()) return false;
  Ref<TextView> keep(this);
  range = clampedUtf16Range(text_, range);
  if (textDelegate_ && !textDelegate_->textViewShouldChangeText(*this, range, replacement)) return false;
  replaceUtf16Range(text_, range, replacement);
  notify(ViewChange::Content);
  if (textDelegate_) textDelegate_->textViewDidChange(*this);
  NotificationCenter::defaultCenter().postNotification(kTextDidChangeNotification, this);
  return true;
}

bool TextView::insertText(const std::string& text) {
  if (!editing_ && !becomeFirstResponder()) return false;
  return replaceText({utf16Length(text_), 0}, text);
}

bool TextView::typeText(const std::string& text) {
  return typeEachCodePoint(text, [this](const std::string& cp) { return insertText(cp); });
}

bool TextView::deleteBackward() {
  if (!editing_ && !becomeFirstResponder()) return false;
  if (text_.empty()) return false;
  return replaceText(lastCodePointUtf16Range(text_), "");
}

void TextView::touchesEnded(const Touches& touches, Event* event) {
  bool inside = !touches.empty() && bounds().contains(touches.front()->locationInView(this));
  if (inside && editable_) {
    becomeFirstResponder();
    return;
  }
  ScrollView::touchesEnded(touches, event);
}

}  // namespace kit
