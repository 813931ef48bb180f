#pragma once
// An item of a toolbar or navigation bar: a system item (Done, Cancel, Edit,
// flexible or fixed space, ...), a title, an image or a custom view, with one
// action. The action is a function kept under a name so it can be replaced or
// removed; tap() is what a user's tap does (nothing while disabled).
//
// The bar that shows the item records where it put it (frameInBar), which is
// what a popover or action sheet shown from the item points at.

#include <functional>
#include <string>

#include "kit/foundation/Object.h"
#include "kit/ui/Geometry.h"

namespace kit {

class Image;
class View;

class BarButtonItem : public Object {
 public:
  enum class SystemItem {
    Done = 0,
    Cancel = 1,
    Edit = 2,
    Save = 3,
    Add = 4,
    FlexibleSpace = 5,
    FixedSpace = 6,
    Compose = 7,
    Reply = 8,
    Action = 9,
    Organize = 10,
    Bookmarks = 11,
    Search = 12,
    Refresh = 13,
    Stop = 14,
    Camera = 15,
    Trash = 16,
    Play = 17,
    Pause = 18,
    Rewind = 19,
    FastForward = 20,
    Undo = 21,
    Redo = 22,
    PageCurl = 23,
  };
  enum class Style { Plain = 0, Bordered = 1, Done = 2 };
  using Action = std::function<void(BarButtonItem& sender)>;

  BarButtonItem();
  ~BarButtonItem() override;

  static Ref<BarButtonItem> withSystemItem(SystemItem item, std::string actionName = {}, Action action = {});
  static Ref<BarButtonItem> withTitle(std::string title, Style style = Style::Bordered, std::string actionName = {},
                                      Action action = {});
  static Ref<BarButtonItem> withImage(Ref<Image> image, Style style = Style::Plain, std::string actionName = {},
                                      Action action = {});
  static Ref<BarButtonItem> withCustomView(View* view);

  bool isSystemItem() const noexcept { return isSystem_; }
  SystemItem systemItem() const noexcept { return system_; }
  bool isSpace() const {
    return isSystem_ && (system_ == SystemItem::FlexibleSpace || system_ == SystemItem::FixedSpace);
  }
  const std::string& title() const noexcept { return title_; }
  void setTitle(std::string t);
  Image* image() const noexcept { return image_.get(); }
  void setImage(Ref<Image> image);
  Style style() const noexcept { return style_; }
  void setStyle(Style s);
  // Width of a fixed space or a forced width (0: natural).
  double width() const noexcept { return width_; }
  void setWidth(double w);
  View* customView() const noexcept { return customView_.get(); }
  void setCustomView(View* v);
  bool isEnabled() const noexcept { return enabled_; }
  void setEnabled(bool e);
  long tag() const noexcept { return tag_; }
  void setTag(long t) { tag_ = t; }

  // ---- Action
  void setTarget(std::string actionName, Action action);
  // Removes the action when its name matches (an empty name removes any).
  void removeTarget(const std::string& actionName = {});
  const std::string& actionName() const noexcept { return actionName_; }
  bool hasAction() const { return static_cast<bool>(action_); }
  // A user's tap: runs the action when enabled; answers whether it ran. Like
  // a finger it must find the item: shown in a bar that a finger reaches at
  // the item's centre, with an image, a title or a system look (else it
  // throws IllegalStateException naming why).
  bool tap();
  // Why a finger could not find the item (empty: it could).
  std::string whyUntappable() const;
  // Runs the action as tap() does, for a press the window itself took.
  bool perform();

  // ---- Placement (set by the bar showing the item)
  // The bar showing the item; null when none (or once that bar is gone).
  View* bar() const;
  Rect frameInBar() const noexcept { return frame_; }
  // frameInBar in window coordinates (zero when in no bar).
  Rect frameInWindow() const;
  void placeInBar(View* bar, Rect frame);

  std::string className() const override { return "BarButtonItem"; }

 private:
  void changed();

  bool isSystem_ = false;
  SystemItem system_ = SystemItem::Done;
  std::string title_;
  Ref<Image> image_;
  Style style_ = Style::Plain;
  double width_ = 0;
  Ref<View> customView_;
  bool enabled_ = true;
  long tag_ = 0;
  std::string actionName_;
  Action action_;
  // Weak: an item outlives the bars that showed it.
  WeakRef<View> bar_;
  Rect frame_;
};

}  // namespace kit
