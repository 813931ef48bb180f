#include "kit/ui/Toolbar.h"

#include <algorithm>

#include "kit/ui/Font.h"
#include "kit/ui/Image.h"
#include "kit/ui/TextMeasurement.h"

namespace kit {

Toolbar::Toolbar(Rect frame) : View(frame) {}

Toolbar::~Toolbar() {
  for (auto& i : items_) {
    if (i->bar() == this) i->placeInBar(nullptr, {});
  }
}

double Toolbar::naturalWidth(const BarButtonItem& item) {
  if (item.isSystemItem() && item.systemItem() == BarButtonItem::SystemItem::FlexibleSpace) return 0;
  if (item.isSystemItem() && item.systemItem() == BarButtonItem::SystemItem::FixedSpace) return item.width();
  if (item.width() > 0) return item.width();
  if (View* v = item.customView()) return v->frame().width();
  if (item.image()) return item.image()->size().width + 2 * kItemGap;
  if (!item.title().empty()) {
    double w = TextMeasurement::sizeOfText(item.title(), Font::boldSystemFont(12)).width + 2 * kItemGap;
    return std::max(w, 44.0);
  }
  return 44;
}

void Toolbar::setItems(std::vector<Ref<BarButtonItem>> items, bool) {
  for (auto& old : items_) {
    bool kept = std::any_of(items.begin(), items.end(), [&](const Ref<BarButtonItem>& n) { return n == old; });
    if (kept) continue;
    if (View* v = old->customView(); v && v->superview() == this) v->removeFromSuperview();
    if (old->bar() == this) old->placeInBar(nullptr, {});
  }
  items_ = std::move(items);
  layoutItems();
  notify(ViewChange::Content);
}

void Toolbar::setBarStyle(BarStyle s) {
  barStyle_ = s;
  notify(ViewChange::Appearance);
}

void Toolbar::setTintColor(std::optional<Color> c) {
  tint_ = c;
  notify(ViewChange::Appearance);
}

void Toolbar::setTranslucent(bool t) {
  translucent_ = t;
  notify(ViewChange::Appearance);
}

// The frame's change is announced before the items move: they are
// announced again once they have their new places.
void Toolbar::setFrame(Rect frame) {
  Size was = bounds().size;
  View::setFrame(frame);
  layoutItems();
  if (!(bounds().size == was)) notify(ViewChange::Content);
}

void Toolbar::setBounds(Rect bounds) {
  Rect was = this->bounds();
  View::setBounds(bounds);
  layoutItems();
  if (!(this->bounds() == was)) notify(ViewChange::Content);
}

void Toolbar::layoutSubviews() { layoutItems(); }

void Toolbar::layoutItems() {
  Rect b = bounds();
  double fixed = 0;
  size_t flexible = 0;
  for (auto& i : items_) {
    if (i->isSystemItem() && i->systemItem() == BarButtonItem::SystemItem::FlexibleSpace) {
      ++flexible;
    } else {
      fixed += naturalWidth(*i);
    }
  }
  double gaps = items_.size() > 1 ? kItemGap * double(items_.size() - 1) : 0;
  double room = b.width() - 2 * kEdgePadding - fixed - gaps;
  double share = flexible && room > 0 ? room / double(flexible) : 0;
  double x = b.x() + kEdgePadding;
  for (auto& i : items_) {
    bool flex = i->isSystemItem() && i->systemItem() == BarButtonItem::SystemItem::FlexibleSpace;
    double w = flex ? share : naturalWidth(*i);
    double h = 30;
    if (View* v = i->customView()) h = v->frame().height();
    Rect f{x, b.y() + (b.height() - h) / 2, w, h};
    i->placeInBar(this, f);
    if (View* v = i->customView()) {
      if (v->superview() != this) addSubview(v);
      v->setFrame(f);
    }
    x += w + kItemGap;
  }
}

}  // namespace kit
