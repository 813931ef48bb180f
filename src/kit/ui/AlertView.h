#pragma once
// A modal question with a title, a message and buttons. Made with a cancel
// button (index 0 when given) and other buttons in order; more may be added.
//
// show() puts it in the alert window (Window::alertWindow()) on top of any
// alert already there, telling the delegate will/did present. A user's tap
// (tapButton) tells the delegate clickedButtonAtIndex and then dismisses
// through dismissWithClickedButtonIndex, which a subclass may override; that
// tells the delegate will/did dismiss with the index and removes the alert.
// A dismissal from code tells only will/did dismiss. Headless, everything
// happens at once.

#include <string>
#include <vector>

#include "kit/ui/View.h"

namespace kit {

class AlertView;

class AlertViewDelegate {
 public:
  virtual ~AlertViewDelegate() = default;
  virtual void alertViewClickedButtonAtIndex(AlertView& alert, long index) {
    (void)alert;
    (void)index;
  }
  virtual void willPresentAlertView(AlertView& alert) { (void)alert; }
  virtual void didPresentAlertView(AlertView& alert) { (void)alert; }
  virtual void alertViewWillDismissWithButtonIndex(AlertView& alert, long index) {
    (void)alert;
    (void)index;
  }
  virtual void alertViewDidDismissWithButtonIndex(AlertView& alert, long index) {
    (void)alert;
    (void)index;
  }
};

class AlertView : public View {
 public:
  // Empty texts mean none; an empty cancel title means no cancel button.
  AlertView(std::string title, std::string message, AlertViewDelegate* delegate, std::string cancelButtonTitle,
            std::vector<std::string> otherButtonTitles = {});
  AlertView();
  ~AlertView() override;

  const std::string& title() const noexcept { return title_; }
  void setTitle(std::string t);
  const std::string& message() const noexcept { return message_; }
  void setMessage(std::string m);
  AlertViewDelegate* delegate() const noexcept { return delegate_; }
  void setDelegate(AlertViewDelegate* d) { delegate_ = d; }

  // Answers the new button's index.
  long addButtonWithTitle(std::string title);
  long numberOfButtons() const noexcept { return static_cast<long>(buttons_.size()); }
  // Empty for an index out of range.
  std::string buttonTitleAtIndex(long index) const;
  // -1 when there is none.
  long cancelButtonIndex() const noexcept { return cancelIndex_; }
  void setCancelButtonIndex(long i);
  long firstOtherButtonIndex() const;

  bool isVisible() const noexcept { return visible_; }
  void show();
  virtual void dismissWithClickedButtonIndex(long index, bool animated);

  // ---- A user's answer
  // Answers false (and does nothing) when not visible or the index is out of range.
  bool tapButton(long index);
  // The first button with this title.
  bool tapButtonWithTitle(const std::string& title);

  // Alerts showing now, the topmost last.
  static std::vector<Ref<AlertView>> visibleAlerts();
  static AlertView* topVisibleAlert();

  std::string className() const override { return "AlertView"; }

 private:
  std::string title_;
  std::string message_;
  AlertViewDelegate* delegate_ = nullptr;
  std::vector<std::string> buttons_;
  long cancelIndex_ = -1;
  bool visible_ = false;
};

}  // namespace kit
