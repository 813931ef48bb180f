#pragma once
// A full-screen editor in which the user writes a post before it is sent,
// with Cancel and "Send to <service>" buttons and, when the post has a limit,
// an image or a link, a counter of the characters left (UTF-16 units, as the
// services count them). The editor is fitted above the keyboard whenever the
// keyboard is about to show.
//
// The delegate is not owned; when it is an object of the kit it is also
// watched, so a form outliving its sharer calls nobody.

#include <functional>
#include <string>

#include "kit/foundation/Notification.h"
#include "kit/foundation/NotificationCenter.h"
#include "kit/ui/Image.h"
#include "kit/ui/Label.h"
#include "kit/ui/TextView.h"
#include "kit/ui/ViewController.h"
#include "share/ui/ShareFormControllerLargeTextFieldDelegate.h"

namespace tolva {

class ShareFormControllerLargeTextField : public kit::ViewController, public kit::TextViewDelegate {
 public:
  static constexpr double kCounterWidth = 150;
  static constexpr double kCounterHeight = 15;

  explicit ShareFormControllerLargeTextField(ShareFormControllerLargeTextFieldDelegate* delegate,
                                             std::string nibName = {});
  ~ShareFormControllerLargeTextField() override;

  void loadView() override;
  void viewWillAppear(bool animated) override;
  void viewDidAppear(bool animated) override;
  void viewDidDisappear(bool animated) override;
  void setupBarButtonItems();
  bool shouldAutorotateToInterfaceOrientation(kit::InterfaceOrientation orientation) override;
  void keyboardWillShow(const kit::Notification& notification);
  void updateCounter();
  void ifNoTextDisableSendButton();
  void layoutCounter();
  bool shouldShowCounter() const;
  void textViewDidBeginEditing(kit::TextView& tv) override;
  void textViewDidChange(kit::TextView& tv) override;
  void textViewDidEndEditing(kit::TextView& tv) override;
  void cancel();
  void save();

  // Characters left under the limit once the image took its share; 0 with
  // no limit. Negative when the text is too long.
  long remainingCharacters() const;

  // The editor's height once the keyboard described by `notification` shows
  // over `view` (never below 0). `widthInLandscape`: the keyboard's height is
  // its frame's width when the controller is turned sideways.
  static double editorHeightAboveKeyboard(const kit::ViewController& controller, const kit::Notification& notification,
                                          bool widthInLandscape);
  // The keyboard handling of a compose screen. As it shows: the keyboard
  // watched (while `token` lives, `willShow` hears of every keyboard about to
  // show, as long as `screen` is alive) and `editor` given the keyboard.
  static void editorAppeared(kit::ViewController& screen, kit::TextView& editor, kit::NotificationCenter::Token& token,
                             std::function<void(const kit::Notification&)> willShow);
  // As it goes: the watch ended and the share screens told.
  static void editorDisappeared(kit::NotificationCenter::Token& token);
  // `editor` fitted, full width, above the keyboard of `notification`; false
  // (nothing done) without an editor.
  static bool fitAboveKeyboard(kit::ViewController& screen, kit::TextView* editor, const kit::Notification& notification,
                               bool widthInLandscape);
  // Where a counter sits in `editor`: its bottom right corner.
  static kit::Rect counterFrame(const kit::View& editor);

  ShareFormControllerLargeTextFieldDelegate* delegate() const;
  void setDelegate(ShareFormControllerLargeTextFieldDelegate* d);
  kit::TextView* textView() const noexcept { return textView_.get(); }
  void setTextView(kit::TextView* tv) { textView_ = tv; }
  unsigned long maxTextLength() const noexcept { return maxTextLength_; }
  void setMaxTextLength(unsigned long n) { maxTextLength_ = n; }
  kit::Label* counter() const noexcept { return counter_.get(); }
  void setCounter(kit::Label* l) { counter_ = l; }
  bool hasLink() const noexcept { return hasLink_; }
  void setHasLink(bool h) { hasLink_ = h; }
  kit::Image* image() const noexcept { return image_.get(); }
  void setImage(kit::Image* i) { image_ = i; }
  unsigned long imageTextLength() const noexcept { return imageTextLength_; }
  void setImageTextLength(unsigned long n) { imageTextLength_ = n; }
  const std::string& text() const noexcept { return text_; }
  void setText(std::string t) { text_ = std::move(t); }

  std::string className() const override { return "ShareFormControllerLargeTextField"; }

 private:
  ShareFormControllerLargeTextFieldDelegate* delegate_ = nullptr;
  kit::WeakRef<kit::Object> delegateObject_;
  bool delegateIsObject_ = false;
  kit::Ref<kit::TextView> textView_;
  unsigned long maxTextLength_ = 0;
  kit::Ref<kit::Label> counter_;
  bool hasLink_ = false;
  kit::Ref<kit::Image> image_;
  unsigned long imageTextLength_ = 0;
  std::string text_;
  kit::NotificationCenter::Token keyboardToken_;
};

}  // namespace tolva
