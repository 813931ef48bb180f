#pragma once
// The older micro-blog compose screen with the service's fixed limit (140
// characters, 115 with a picture) and its own checks on Send. Nothing in the
// program opens it; sharers use ShareFormControllerLargeTextField.
//
// The delegate is held weakly: a form left on screen must not keep its
// sharer alive, nor call one that is gone.

#include "kit/foundation/Notification.h"
#include "kit/foundation/NotificationCenter.h"
#include "kit/ui/Label.h"
#include "kit/ui/TextView.h"
#include "kit/ui/ViewController.h"
#include "share/ui/ShareTwitterFormDelegate.h"

namespace tolva {

class ShareTwitterForm : public kit::ViewController, public kit::TextViewDelegate {
 public:
  static constexpr long kLimit = 140;
  static constexpr long kLimitWithAttachment = 115;

  explicit ShareTwitterForm(std::string nibName = {});
  ~ShareTwitterForm() override;

  void loadView() override;
  void viewDidAppear(bool animated) override;
  void viewDidDisappear(bool animated) override;
  bool shouldAutorotateToInterfaceOrientation(kit::InterfaceOrientation orientation) override;
  void keyboardWillShow(const kit::Notification& notification);
  void updateCounter();
  void layoutCounter();
  void textViewDidBeginEditing(kit::TextView& tv) override;
  void textViewDidChange(kit::TextView& tv) override;
  void textViewDidEndEditing(kit::TextView& tv) override;
  void cancel();
  void save();

  // The limit less the text's length in UTF-16 units (negative when too long).
  long remainingCharacters() const;

  // The delegate must be a ShareTwitterFormDelegate to hear of a send.
  kit::Object* delegate() const { return delegate_.lock().get(); }
  void setDelegate(kit::Object* d) { delegate_ = d; }
  kit::TextView* textView() const noexcept { return textView_.get(); }
  void setTextView(kit::TextView* tv) { textView_ = tv; }
  kit::Label* counter() const noexcept { return counter_.get(); }
  void setCounter(kit::Label* l) { counter_ = l; }
  bool hasAttachment() const noexcept { return hasAttachment_; }
  void setHasAttachment(bool a) { hasAttachment_ = a; }

  std::string className() const override { return "ShareTwitterForm"; }

 private:
  kit::WeakRef<kit::Object> delegate_;
  kit::Ref<kit::TextView> textView_;
  kit::Ref<kit::Label> counter_;
  bool hasAttachment_ = false;
  kit::NotificationCenter::Token keyboardToken_;
};

}  // namespace tolva
