#pragma once
// A scrolling, multi-line text entry. Editing and typing work as for a text
// field (see TextField.h) with the text view's own delegate calls and
// notifications; the return key types a line break.

#include <string>

#include "kit/ui/Font.h"
#include "kit/ui/ScrollView.h"
#include "kit/ui/TextInputTraits.h"

namespace kit {

class TextView;

class TextViewDelegate : public ScrollViewDelegate {
 public:
  virtual bool textViewShouldBeginEditing(TextView& tv) {
    (void)tv;
    return true;
  }
  virtual void textViewDidBeginEditing(TextView& tv) { (void)tv; }
  virtual bool textViewShouldEndEditing(TextView& tv) {
    (void)tv;
    return true;
  }
  virtual void textViewDidEndEditing(TextView& tv) { (void)tv; }
  virtual bool textViewShouldChangeText(TextView& tv, Range range, const std::string& replacement) {
    (void)tv;
    (void)range;
    (void)replacement;
    return true;
  }
  virtual void textViewDidChange(TextView& tv) { (void)tv; }
};

class TextView : public ScrollView {
 public:
  static constexpr const char* kTextDidBeginEditingNotification = "TextViewTextDidBeginEditingNotification";
  static constexpr const char* kTextDidChangeNotification = "TextViewTextDidChangeNotification";
  static constexpr const char* kTextDidEndEditingNotification = "TextViewTextDidEndEditingNotification";

  explicit TextView(Rect frame = {});

  const std::string& text() const noexcept { return text_; }
  void setText(std::string text);
  const Font& font() const noexcept { return font_; }
  void setFont(Font f);
  const Color& textColor() const noexcept { return textColor_; }
  void setTextColor(Color c);
  TextAlignment textAlignment() const noexcept { return alignment_; }
  void setTextAlignment(TextAlignment a);
  bool isEditable() const noexcept { return editable_; }
  void setEditable(bool e) { editable_ = e; }
  unsigned dataDetectorTypes() const noexcept { return detectors_; }
  void setDataDetectorTypes(unsigned d) { detectors_ = d; }
  TextInputTraits& traits() noexcept { return traits_; }
  const TextInputTraits& traits() const noexcept { return traits_; }

  // The text view's delegate (also its scroll view delegate).
  TextViewDelegate* textViewDelegate() const noexcept { return textDelegate_; }
  void setTextViewDelegate(TextViewDelegate* d);
  bool isEditing() const noexcept { return editing_; }

  bool canBecomeFirstResponder() const override { return editable_; }
  bool becomeFirstResponder() override;
  bool resignFirstResponder() override;
  bool showsKeyboard() const override { return true; }

  bool insertText(const std::string& text);
  bool typeText(const std::string& text);
  bool deleteBackward();
  bool replaceText(Range range, const std::string& replacement);

  void touchesEnded(const Touches& touches, Event* event) override;

  std::string className() const override { return "TextView"; }

 protected:
  void didBecomeFirstResponder() override;
  void didResignFirstResponder() override;

 private:
  std::string text_;
  Font font_ = Font::systemFont(Font::systemFontSize());
  Color textColor_ = Color::blackColor();
  TextAlignment alignment_ = TextAlignment::Left;
  bool editable_ = true;
  unsigned detectors_ = 0;
  TextInputTraits traits_;
  TextViewDelegate* textDelegate_ = nullptr;
  bool editing_ = false;
};

}  // namespace kit
