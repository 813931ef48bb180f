#pragma once
// A menu of choices. Buttons are numbered in the platform's order: the
// destructive button first, then the others, then the cancel button.
//
// It is shown from a view, a rectangle in a view, a bar item or a toolbar;
// the anchor is recorded (window coordinates). Like an alert it is a view in
// the alert window while visible; a user's tap (tapButton) tells the delegate
// clickedButtonAtIndex and then calls dismissWithClickedButtonIndex (which a
// subclass may override, e.g. to carry the data its buttons act on). A tap
// outside (as in a tablet's popover) counts as the cancel button, or -1 when
// there is none.

#include <string>
#include <vector>

#include "kit/ui/BarButtonItem.h"
#include "kit/ui/View.h"

namespace kit {

class ActionSheet;
class Toolbar;

class ActionSheetDelegate {
 public:
  virtual ~ActionSheetDelegate() = default;
  virtual void actionSheetClickedButtonAtIndex(ActionSheet& sheet, long index) {
    (void)sheet;
    (void)index;
  }
  virtual void actionSheetCancel(ActionSheet& sheet) { (void)sheet; }
  virtual void willPresentActionSheet(ActionSheet& sheet) { (void)sheet; }
  virtual void didPresentActionSheet(ActionSheet& sheet) { (void)sheet; }
  virtual void actionSheetWillDismissWithButtonIndex(ActionSheet& sheet, long index) {
    (void)sheet;
    (void)index;
  }
  virtual void actionSheetDidDismissWithButtonIndex(ActionSheet& sheet, long index) {
    (void)sheet;
    (void)index;
  }
};

class ActionSheet : public View {
 public:
  enum class Style { Automatic = -1, Default = 0, BlackTranslucent = 1, BlackOpaque = 2 };
  enum class Anchor { None, View, Rect, BarButtonItem, Toolbar };

  // Empty titles mean none.
  ActionSheet(std::string title, ActionSheetDelegate* delegate, std::string cancelButtonTitle,
              std::string destructiveButtonTitle, std::vector<std::string> otherButtonTitles = {});
  ActionSheet();
  ~ActionSheet() override;

  const std::string& title() const noexcept { return title_; }
  void setTitle(std::string t);
  ActionSheetDelegate* delegate() const noexcept { return delegate_; }
  void setDelegate(ActionSheetDelegate* d) { delegate_ = d; }
  Style actionSheetStyle() const noexcept { return style_; }
  void setActionSheetStyle(Style s) { style_ = s; }

  long addButtonWithTitle(std::string title);
  long numberOfButtons() const noexcept { return static_cast<long>(buttons_.size()); }
  std::string buttonTitleAtIndex(long index) const;
  long cancelButtonIndex() const noexcept { return cancelIndex_; }
  void setCancelButtonIndex(long i);
  long destructiveButtonIndex() const noexcept { return destructiveIndex_; }
  void setDestructiveButtonIndex(long i);
  long firstOtherButtonIndex() const;

  bool isVisible() const noexcept { return visible_; }
  void showInView(View* view);
  void showFromRect(Rect rect, View* view, bool animated);
  void showFromBarButtonItem(BarButtonItem* item, bool animated);
  void showFromToolbar(Toolbar* toolbar);
  Anchor anchor() const noexcept { return anchor_; }
  Rect anchorRect() const noexcept { return anchorRect_; }
  View* anchorView() const { return anchorView_.lock().get(); }
  BarButtonItem* anchorItem() const { return anchorItem_.lock().get(); }
  virtual void dismissWithClickedButtonIndex(long index, bool animated);

  // ---- A user's answer
  bool tapButton(long index);
  bool tapButtonWithTitle(const std::string& title);
  // A tap outside the sheet.
  bool tapOutside();

  static std::vector<Ref<ActionSheet>> visibleSheets();
  static ActionSheet* topVisibleSheet();

  std::string className() const override { return "ActionSheet"; }

 private:
  void present(Anchor anchor, Rect rectInWindow, View* view, BarButtonItem* item);

  std::string title_;
  ActionSheetDelegate* delegate_ = nullptr;
  Style style_ = Style::Automatic;
  std::vector<std::string> buttons_;
  long cancelIndex_ = -1;
  long destructiveIndex_ = -1;
  bool visible_ = false;
  Anchor anchor_ = Anchor::None;
  Rect anchorRect_;
  WeakRef<View> anchorView_;
  WeakRef<BarButtonItem> anchorItem_;
};

}  // namespace kit
