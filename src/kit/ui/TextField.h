#pragma once
// A one-line text entry.
//
// Editing begins when the field becomes the first responder (a tap, or
// becomeFirstResponder()) and the delegate agrees: didBeginEditing, the
// EditingDidBegin actions and kTextDidBeginEditingNotification follow, and
// the keyboard shows. Typing (insertText/typeText/deleteBackward/
// replaceText) asks the delegate about each change, then sends
// EditingChanged and kTextDidChangeNotification; setText() does neither.
// The clear button asks shouldClear; the return key asks shouldReturn and,
// when answered YES, sends EditingDidEndOnExit (a field with actions for that
// event then resigns, closing the keyboard). Resigning asks shouldEndEditing,
// then didEndEditing, EditingDidEnd and kTextDidEndEditingNotification.
// Ranges are in UTF-16 code units; typing goes to the end of the text.

#include <optional>
#include <string>

#include "kit/ui/Control.h"
#include "kit/ui/Font.h"
#include "kit/ui/Geometry.h"
#include "kit/ui/TextInputTraits.h"

namespace kit {

class Image;
class TextField;

class TextFieldDelegate {
 public:
  virtual ~TextFieldDelegate() = default;
  virtual bool textFieldShouldBeginEditing(TextField& field) {
    (void)field;
    return true;
  }
  virtual void textFieldDidBeginEditing(TextField& field) { (void)field; }
  virtual bool textFieldShouldEndEditing(TextField& field) {
    (void)field;
    return true;
  }
  virtual void textFieldDidEndEditing(TextField& field) { (void)field; }
  virtual bool textFieldShouldChangeCharacters(TextField& field, Range range, const std::string& replacement) {
    (void)field;
    (void)range;
    (void)replacement;
    return true;
  }
  virtual bool textFieldShouldClear(TextField& field) {
    (void)field;
    return true;
  }
  virtual bool textFieldShouldReturn(TextField& field) {
    (void)field;
    return true;
  }
};

class TextField : public Control {
 public:
  static constexpr const char* kTextDidBeginEditingNotification = "TextFieldTextDidBeginEditingNotification";
  static constexpr const char* kTextDidChangeNotification = "TextFieldTextDidChangeNotification";
  static constexpr const char* kTextDidEndEditingNotification = "TextFieldTextDidEndEditingNotification";

  enum class BorderStyle { None = 0, Line = 1, Bezel = 2, RoundedRect = 3 };
  enum class ViewMode { Never = 0, WhileEditing = 1, UnlessEditing = 2, Always = 3 };

  explicit TextField(Rect frame = {});
  ~TextField() override;

  const std::string& text() const noexcept { return text_; }
  void setText(std::string text);
  const std::string& placeholder() const noexcept { return placeholder_; }
  void setPlaceholder(std::string p);
  const Font& font() const noexcept { return font_; }
  void setFont(Font f);
  const Color& textColor() const noexcept { return textColor_; }
  void setTextColor(Color c);
  TextAlignment textAlignment() const noexcept { return alignment_; }
  void setTextAlignment(TextAlignment a);
  BorderStyle borderStyle() const noexcept { return border_; }
  void setBorderStyle(BorderStyle b);
  ViewMode clearButtonMode() const noexcept { return clearMode_; }
  void setClearButtonMode(ViewMode m);
  bool clearsOnBeginEditing() const noexcept { return clearsOnBegin_; }
  void setClearsOnBeginEditing(bool c) { clearsOnBegin_ = c; }
  bool adjustsFontSizeToFitWidth() const noexcept { return adjusts_; }
  void setAdjustsFontSizeToFitWidth(bool a) { adjusts_ = a; }
  double minimumFontSize() const noexcept { return minimumFontSize_; }
  void setMinimumFontSize(double s) { minimumFontSize_ = s; }
  View* leftView() const noexcept { return leftView_.get(); }
  void setLeftView(View* v);
  View* rightView() const noexcept { return rightView_.get(); }
  void setRightView(View* v);
  Image* background() const noexcept { return background_.get(); }
  void setBackground(Ref<Image> image);

  // Keyboard traits.
  const TextInputTraits& traits() const noexcept { return traits_; }
  bool isSecureTextEntry() const noexcept { return traits_.secureTextEntry; }
  void setSecureTextEntry(bool s);
  KeyboardType keyboardType() const noexcept { return traits_.keyboardType; }
  void setKeyboardType(KeyboardType t) { traits_.keyboardType = t; }
  TextAutocapitalizationType autocapitalizationType() const noexcept { return traits_.autocapitalizationType; }
  void setAutocapitalizationType(TextAutocapitalizationType t) { traits_.autocapitalizationType = t; }
  TextAutocorrectionType autocorrectionType() const noexcept { return traits_.autocorrectionType; }
  void setAutocorrectionType(TextAutocorrectionType t) { traits_.autocorrectionType = t; }
  ReturnKeyType returnKeyType() const noexcept { return traits_.returnKeyType; }
  void setReturnKeyType(ReturnKeyType t) { traits_.returnKeyType = t; }
  bool enablesReturnKeyAutomatically() const noexcept { return traits_.enablesReturnKeyAutomatically; }
  void setEnablesReturnKeyAutomatically(bool e) { traits_.enablesReturnKeyAutomatically = e; }

  TextFieldDelegate* delegate() const noexcept { return delegate_; }
  void setDelegate(TextFieldDelegate* d) { delegate_ = d; }
  bool isEditing() const noexcept { return editing_; }
  // Whether the clear button shows now (by clearButtonMode, editing and text).
  bool isClearButtonVisible() const;

  // ---- Responder
  bool canBecomeFirstResponder() const override;
  bool becomeFirstResponder() override;
  bool resignFirstResponder() override;
  bool showsKeyboard() const override { return true; }

  // ---- A user's typing (begins editing first when needed; answers whether the text changed)
  bool insertText(const std::string& text);
  // One insertText per character.
  bool typeText(const std::string& text);
  bool deleteBackward();
  bool replaceText(Range range, const std::string& replacement);
  // The clear button; answers whether the text was cleared.
  bool tapClearButton();
  // The return key; answers the delegate's answer.
  bool pressReturn();

  void touchesEnded(const Touches& touches, Event* event) override;

  std::string className() const override { return "TextField"; }

 protected:
  void didBecomeFirstResponder() override;
  void didResignFirstResponder() override;

 private:
  void textChangedByUser();

  std::string text_;
  std::string placeholder_;
  Font font_ = Font::systemFont(Font::labelFontSize());
  Color textColor_ = Color::blackColor();
  TextAlignment alignment_ = TextAlignment::Left;
  BorderStyle border_ = BorderStyle::None;
  ViewMode clearMode_ = ViewMode::Never;
  bool clearsOnBegin_ = false;
  bool adjusts_ = false;
  double minimumFontSize_ = 0;
  Ref<View> leftView_;
  Ref<View> rightView_;
  Ref<Image> background_;
  TextInputTraits traits_;
  TextFieldDelegate* delegate_ = nullptr;
  bool editing_ = false;
};

}  // namespace kit
