#include "kit/ui/BarButtonItem.h"

#include "kit/foundation/Exception.h"
#include "kit/ui/Image.h"
#include "kit/ui/View.h"

namespace kit {
namespace {

std::string systemTitle(BarButtonItem::SystemItem item) {
  switch (item) {
    case BarButtonItem::SystemItem::Done:
      return "Done";
    case BarButtonItem::SystemItem::Cancel:
      return "Cancel";
    case BarButtonItem::SystemItem::Edit:
      return "Edit";
    case BarButtonItem::SystemItem::Save:
      return "Save";
    case BarButtonItem::SystemItem::Undo:
      return "Undo";
    case BarButtonItem::SystemItem::Redo:
      return "Redo";
    default:
      return "";
  }
}

}  // namespace

BarButtonItem::BarButtonItem() = default;

BarButtonItem::~BarButtonItem() = default;

Ref<BarButtonItem> BarButtonItem::withSystemItem(SystemItem item, std::string actionName, Action action) {
  Ref<BarButtonItem> b(new BarButtonItem());
  b->isSystem_ = true;
  b->system_ = item;
  b->title_ = systemTitle(item);
  b->style_ = item == SystemItem::Done ? Style::Done : Style::Bordered;
  if (action) b->setTarget(std::move(actionName), std::move(action));
  return b;
}

Ref<BarButtonItem> BarButtonItem::withTitle(std::string title, Style style, std::string actionName, Action action) {
  Ref<BarButtonItem> b(new BarButtonItem());
  b->title_ = std::move(title);
  b->style_ = style;
  if (action) b->setTarget(std::move(actionName), std::move(action));
  return b;
}

Ref<BarButtonItem> BarButtonItem::withImage(Ref<Image> image, Style style, std::string actionName, Action action) {
  Ref<BarButtonItem> b(new BarButtonItem());
  b->image_ = std::move(image);
  b->style_ = style;
  if (action) b->setTarget(std::move(actionName), std::move(action));
  return b;
}

Ref<BarButtonItem> BarButtonItem::withCustomView(View* view) {
  Ref<BarButtonItem> b(new BarButtonItem());
  b->customView_ = view;
  return b;
}

void BarButtonItem::changed() {
  if (Ref<View> bar = bar_.lock()) {
    bar->setNeedsLayout();
    bar->setNeedsDisplay();
  }
}

void BarButtonItem::setTitle(std::string t) {
  if (t == title_) return;
  title_ = std::move(t);
  changed();
}

void BarButtonItem::setImage(Ref<Image> image) {
  image_ = std::move(image);
  changed();
}

void BarButtonItem::setStyle(Style s) {
  if (s == style_) return;
  style_ = s;
  changed();
}

void BarButtonItem::setWidth(double w) {
  width_ = w;
  changed();
}

void BarButtonItem::setCustomView(View* v) {
  if (customView_ && customView_.get() != v && bar() && customView_->superview() == bar()) {
    customView_->removeFromSuperview();
  }
  customView_ = v;
  changed();
}

void BarButtonItem::setEnabled(bool e) {
  if (e == enabled_) return;
  enabled_ = e;
  changed();
}

void BarButtonItem::setTarget(std::string actionName, Action action) {
  actionName_ = std::move(actionName);
  action_ = std::move(action);
}

void BarButtonItem::removeTarget(const std::string& actionName) {
  if (actionName.empty() || actionName == actionName_) {
    actionName_.clear();
    action_ = nullptr;
  }
}

std::string BarButtonItem::whyUntappable() const {
  if (customView_) return "has a custom view (tap that instead)";
  Ref<View> bar = bar_.lock();
  if (!bar) return "is in no bar";
  if (frame_.isEmpty()) return "has no room in its bar";
  if (!image_ && title_.empty() && !isSystemItem()) return "draws nothing (no image, title or system look)";
  View* shown = bar.get();
  return bar->whyUnreachableAt(frame_.center(), "at the item's centre", [shown](View* hit) { return hit == shown; });
}

bool BarButtonItem::tap() {
  if (std::string why = whyUntappable(); !why.empty())
    throw IllegalStateException("tap on bar item \"" + title_ + "\": it " + why);
  return perform();
}

bool BarButtonItem::perform() {
  if (!enabled_ || !action_) return false;
  Ref<BarButtonItem> keep(this);
  Action a = action_;  // the action may replace itself
  a(*this);
  return true;
}

Rect BarButtonItem::frameInWindow() const {
  Ref<View> bar = bar_.lock();
  if (!bar) return {};
  return bar->convertRectToView(frame_, nullptr);
}

View* BarButtonItem::bar() const { return bar_.lock().get(); }

void BarButtonItem::placeInBar(View* bar, Rect frame) {
  bar_ = bar;
  frame_ = frame;
}

}  // namespace kit
