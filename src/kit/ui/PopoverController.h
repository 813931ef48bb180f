#pragma once
// Shows a controller's view in a floating panel pointing at a rectangle or a
// bar item. Headless, the panel is a PopoverView placed in the window of the
// view it points from (the key window for a bar item outside any bar), on
// top of everything, beside the anchor on the first permitted side where it
// fits (below, above, right, left), kept inside the window. With no
// permitted direction it is centred on the anchor.
//
// dismissPopoverAnimated() does not tell the delegate (as on the platform); a
// user's tap outside (tapOutside) asks the delegate first and tells it
// afterwards. A visible popover keeps itself alive until dismissed.

#include <vector>

#include "kit/foundation/Object.h"
#include "kit/ui/Geometry.h"
#include "kit/ui/View.h"

namespace kit {

class BarButtonItem;
class PopoverController;
class ViewController;

enum PopoverArrowDirection : unsigned {
  PopoverArrowUp = 1,
  PopoverArrowDown = 2,
  PopoverArrowLeft = 4,
  PopoverArrowRight = 8,
  PopoverArrowAny = 15,
  PopoverArrowUnknown = 0xFFFFFFFFu,
};

class PopoverControllerDelegate {
 public:
  virtual ~PopoverControllerDelegate() = default;
  virtual bool popoverControllerShouldDismissPopover(PopoverController& popover) {
    (void)popover;
    return true;
  }
  virtual void popoverControllerDidDismissPopover(PopoverController& popover) { (void)popover; }
};

// The panel a popover shows its content in.
class PopoverView : public View {
 public:
  explicit PopoverView(PopoverController* owner) : owner_(owner) {}
  PopoverController* popoverController() const noexcept { return owner_; }
  std::string className() const override { return "PopoverView"; }

 private:
  friend class PopoverController;
  PopoverController* owner_;
};

class PopoverController : public Object {
 public:
  // Used when neither the popover nor its content asks for a size.
  static constexpr double kDefaultWidth = 320;
  static constexpr double kDefaultHeight = 1100;

  explicit PopoverController(ViewController* content);
  ~PopoverController() override;
  static Ref<PopoverController> withContentViewController(ViewController* content) {
    return Ref<PopoverController>(new PopoverController(content));
  }

  ViewController* contentViewController() const noexcept { return content_.get(); }
  void setContentViewController(ViewController* content, bool animated = false);
  // The size asked for: set here, else the content's, else the default.
  Size popoverContentSize() const;
  void setPopoverContentSize(Size size, bool animated = false);
  PopoverControllerDelegate* delegate() const noexcept { return delegate_; }
  void setDelegate(PopoverControllerDelegate* d) { delegate_ = d; }
  // Views that stay touchable while the popover is up.
  const std::vector<Ref<View>>& passthroughViews() const noexcept { return passthrough_; }
  void setPassthroughViews(std::vector<Ref<View>> views) { passthrough_ = std::move(views); }

  bool isPopoverVisible() const noexcept { return visible_; }
  // The side the arrow points to; Unknown while hidden or without arrow.
  unsigned popoverArrowDirection() const noexcept { return arrow_; }
  // Where it points, in window coordinates.
  Rect anchorRect() const noexcept { return anchor_; }
  PopoverView* popoverView() const noexcept { return panel_.get(); }

  // `rect` is in `view`'s coordinates. Presenting again moves the popover.
  void presentPopoverFromRect(Rect rect, View* view, unsigned arrowDirections, bool animated);
  void presentPopoverFromBarButtonItem(BarButtonItem* item, unsigned arrowDirections, bool animated);
  void dismissPopoverAnimated(bool animated);
  // A tap outside the popover on `tapped` (null: on nothing in particular).
  // A pass-through view (or one inside it) takes the tap and the popover
  // stays; otherwise the delegate may keep it. Answers whether it was dismissed.
  bool tapOutside(View* tapped = nullptr);

  // The popovers currently shown.
  static std::vector<Ref<PopoverController>> visiblePopovers();

  std::string className() const override { return "PopoverController"; }

 private:
  void show(Rect anchorInWindow, Window* window, unsigned arrows, bool animated);
  void layoutPanel();

  Ref<ViewController> content_;
  Size size_;
  PopoverControllerDelegate* delegate_ = nullptr;
  std::vector<Ref<View>> passthrough_;
  bool visible_ = false;
  unsigned arrow_ = PopoverArrowUnknown;
  unsigned permitted_ = PopoverArrowAny;
  Rect anchor_;
  Ref<PopoverView> panel_;
  // Holds the popover while it is visible.
  Ref<PopoverController> self_;
};

}  // namespace kit
