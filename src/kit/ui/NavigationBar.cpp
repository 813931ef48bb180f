#include "kit/ui/NavigationBar.h"

#include <algorithm>

namespace kit {

NavigationBar::NavigationBar(Rect frame) : View(frame) {}

NavigationBar::~NavigationBar() {
  for (auto& i : items_) {
    if (i->bar() == this) i->setBar(nullptr);
  }
}

NavigationItem* NavigationBar::topItem() const { return items_.empty() ? nullptr : items_.back().get(); }

NavigationItem* NavigationBar::backItem() const {
  return items_.size() < 2 ? nullptr : items_[items_.size() - 2].get();
}

void NavigationBar::setItems(std::vector<Ref<NavigationItem>> items, bool) {
  for (auto& i : items_) {
    if (i->bar() == this) i->setBar(nullptr);
  }
  items_ = std::move(items);
  itemsChanged();
}

void NavigationBar::pushNavigationItem(Ref<NavigationItem> item, bool) {
  if (!item) return;
  items_.push_back(std::move(item));
  itemsChanged();
}

Ref<NavigationItem> NavigationBar::popNavigationItem(bool) {
  if (items_.empty()) return nullptr;
  Ref<NavigationItem> top = items_.back();
  items_.pop_back();
  if (top->bar() == this) top->setBar(nullptr);
  itemsChanged();
  return top;
}

void NavigationBar::itemsChanged() {
  for (auto& i : items_) i->setBar(this);
  layoutItems();
  notify(ViewChange::Content);
}

bool NavigationBar::tapBackButton() {
  if (!backButton_) return false;
  if (backAction_) {
    auto fn = backAction_;
    fn();
  } else {
    popNavigationItem(true);
  }
  return true;
}

void NavigationBar::setBarStyle(BarStyle s) {
  barStyle_ = s;
  notify(ViewChange::Appearance);
}

void NavigationBar::setTintColor(std::optional<Color> c) {
  tint_ = c;
  notify(ViewChange::Appearance);
}

void NavigationBar::setTranslucent(bool t) {
  translucent_ = t;
  notify(ViewChange::Appearance);
}

void NavigationBar::setFrame(Rect frame) {
  View::setFrame(frame);
  layoutItems();
}

void NavigationBar::layoutItems() {
  auto previous = std::move(shownViews_);
  shownViews_.clear();
  // Views of an item no longer on top leave the bar at the end.
  struct Sweep {
    NavigationBar* bar;
    std::vector<Ref<View>>& previous;
    ~Sweep() {
      for (auto& v : previous) {
        bool still = std::any_of(bar->shownViews_.begin(), bar->shownViews_.end(),
                                 [&](const Ref<View>& s) { return s == v; });
        if (!still && v->superview() == bar) v->removeFromSuperview();
      }
    }
  } sweep{this, previous};
  NavigationItem* top = topItem();
  backButton_ = nullptr;
  if (!top) return;
  Rect b = bounds();
  std::vector<BarButtonItem*> left;
  for (auto& i : top->leftBarButtonItems()) left.push_back(i.get());
  if (left.empty() && !top->hidesBackButton()) {
    if (NavigationItem* below = backItem()) {
      std::string title = below->backBarButtonItem() ? below->backBarButtonItem()->title() : below->title();
      if (title.empty()) title = "Back";
      backButton_ = BarButtonItem::withTitle(title, BarButtonItem::Style::Bordered);
      left.push_back(backButton_.get());
    }
  }
  auto place = [&](BarButtonItem* item, double x, double w) {
    double h = item->customView() ? item->customView()->frame().height() : 30;
    Rect f{x, b.y() + (b.height() - h) / 2, w, h};
    item->placeInBar(this, f);
    if (View* v = item->customView()) {
      if (v->superview() != this) addSubview(v);
      v->setFrame(f);
      shownViews_.emplace_back(v);
    }
  };
  double x = b.x() + Toolbar::kEdgePadding;
  for (BarButtonItem* item : left) {
    double w = Toolbar::naturalWidth(*item);
    place(item, x, w);
    x += w + Toolbar::kItemGap;
  }
  double right = b.maxX() - Toolbar::kEdgePadding;
  for (auto& item : top->rightBarButtonItems()) {
    double w = Toolbar::naturalWidth(*item);
    right -= w;
    place(item.get(), right, w);
    right -= Toolbar::kItemGap;
  }
  if (View* tv = top->titleView()) {
    Rect f = tv->frame();
    f.origin = {b.midX() - f.width() / 2, b.y() + (b.height() - f.height()) / 2};
    if (tv->superview() != this) addSubview(tv);
    tv->setFrame(f);
    shownViews_.emplace_back(tv);
  }
}

}  // namespace kit
