#pragma once
// The bar above a navigation stack: a stack of navigation items, the top one
// shown. Under the top item's left items (unless it has some or hides it) sits
// a back button titled by the item below (its back item's title, else its
// title, else "Back"); tapping it pops. Item frames are laid out as soon as
// anything changes so popovers can point at them.

#include <functional>
#include <optional>
#include <vector>

#include "kit/ui/NavigationItem.h"
#include "kit/ui/Toolbar.h"
#include "kit/ui/View.h"

namespace kit {

class NavigationBar : public View {
 public:
  static constexpr double kHeight = 44;

  explicit NavigationBar(Rect frame = {});
  ~NavigationBar() override;

  const std::vector<Ref<NavigationItem>>& items() const noexcept { return items_; }
  void setItems(std::vector<Ref<NavigationItem>> items, bool animated = false);
  void pushNavigationItem(Ref<NavigationItem> item, bool animated = false);
  Ref<NavigationItem> popNavigationItem(bool animated = false);
  NavigationItem* topItem() const;
  NavigationItem* backItem() const;
  // The back button shown for the top item, or null when there is none.
  BarButtonItem* backButton() const { return backButton_.get(); }
  // A user's tap on the back button; answers whether there was one to tap.
  bool tapBackButton();
  // What the back button does (a navigation controller pops); default: pop the item.
  void setBackAction(std::function<void()> fn) { backAction_ = std::move(fn); }

  BarStyle barStyle() const noexcept { return barStyle_; }
  void setBarStyle(BarStyle s);
  const std::optional<Color>& tintColor() const noexcept { return tint_; }
  void setTintColor(std::optional<Color> c);
  bool isTranslucent() const noexcept { return translucent_; }
  void setTranslucent(bool t);

  void setFrame(Rect frame) override;
  void layoutSubviews() override { layoutItems(); }
  Size sizeThatFits(Size size) const override { return {size.width, kHeight}; }
  // Re-reads the top item (items call this through setNeedsLayout too).
  void layoutItems();

  std::string className() const override { return "NavigationBar"; }
  // An item's title or buttons changed: place them again and tell the backend.
  void itemsChanged();

 private:
  std::vector<Ref<NavigationItem>> items_;
  Ref<BarButtonItem> backButton_;
  std::function<void()> backAction_;
  std::vector<Ref<View>> shownViews_;
  BarStyle barStyle_ = BarStyle::Default;
  std::optional<Color> tint_;
  bool translucent_ = false;
};

}  // namespace kit
