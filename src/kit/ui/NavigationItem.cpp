#include "kit/ui/NavigationItem.h"

#include "kit/ui/BarButtonItem.h"
#include "kit/ui/NavigationBar.h"
#include "kit/ui/View.h"

namespace kit {

NavigationItem::NavigationItem(std::string title) : title_(std::move(title)) {}

NavigationItem::~NavigationItem() = default;

void NavigationItem::changed() {
  if (auto* nav = dynamic_cast<NavigationBar*>(bar_)) {
    nav->itemsChanged();  // places the new buttons before the backend redraws the bar
  } else if (bar_) {
    bar_->setNeedsLayout();
    bar_->setNeedsDisplay();
  }
}

void NavigationItem::setTitle(std::string t) {
  if (t == title_) return;
  title_ = std::move(t);
  changed();
}

void NavigationItem::setTitleView(View* v) {
  titleView_ = v;
  changed();
}

void NavigationItem::setPrompt(std::string p) {
  prompt_ = std::move(p);
  changed();
}

void NavigationItem::setBackBarButtonItem(Ref<BarButtonItem> item) {
  back_ = std::move(item);
  changed();
}

void NavigationItem::setHidesBackButton(bool h, bool) {
  hidesBack_ = h;
  changed();
}

BarButtonItem* NavigationItem::leftBarButtonItem() const { return left_.empty() ? nullptr : left_.front().get(); }

BarButtonItem* NavigationItem::rightBarButtonItem() const { return right_.empty() ? nullptr : right_.front().get(); }

void NavigationItem::setLeftBarButtonItem(Ref<BarButtonItem> item, bool animated) {
  std::vector<Ref<BarButtonItem>> v;
  if (item) v.push_back(std::move(item));
  setLeftBarButtonItems(std::move(v), animated);
}

void NavigationItem::setRightBarButtonItem(Ref<BarButtonItem> item, bool animated) {
  std::vector<Ref<BarButtonItem>> v;
  if (item) v.push_back(std::move(item));
  setRightBarButtonItems(std::move(v), animated);
}

void NavigationItem::setLeftBarButtonItems(std::vector<Ref<BarButtonItem>> items, bool) {
  for (auto& i : left_) {
    if (i->bar() == bar_) i->placeInBar(nullptr, {});
  }
  left_ = std::move(items);
  changed();
}

void NavigationItem::setRightBarButtonItems(std::vector<Ref<BarButtonItem>> items, bool) {
  for (auto& i : right_) {
    if (i->bar() == bar_) i->placeInBar(nullptr, {});
  }
  right_ = std::move(items);
  changed();
}

}  // namespace kit
