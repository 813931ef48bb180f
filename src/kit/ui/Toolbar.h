#pragma once
// A bar of items. Items are laid out left to right as soon as they are set or
// the bar changes size: fixed spaces take their width, flexible spaces share
// what is left, custom views keep their size and become subviews of the bar,
// other items take the width of their title or image plus padding.

#include <optional>
#include <vector>

#include "kit/ui/BarButtonItem.h"
#include "kit/ui/View.h"

namespace kit {

enum class BarStyle { Default = 0, Black = 1, BlackTranslucent = 2 };

class Toolbar : public View {
 public:
  static constexpr double kHeight = 44;
  static constexpr double kEdgePadding = 6;
  static constexpr double kItemGap = 10;

  explicit Toolbar(Rect frame = {});
  ~Toolbar() override;

  const std::vector<Ref<BarButtonItem>>& items() const noexcept { return items_; }
  void setItems(std::vector<Ref<BarButtonItem>> items, bool animated = false);
  BarStyle barStyle() const noexcept { return barStyle_; }
  void setBarStyle(BarStyle s);
  const std::optional<Color>& tintColor() const noexcept { return tint_; }
  void setTintColor(std::optional<Color> c);
  bool isTranslucent() const noexcept { return translucent_; }
  void setTranslucent(bool t);

  void setFrame(Rect frame) override;
  void setBounds(Rect bounds) override;
  void layoutSubviews() override;
  Size sizeThatFits(Size size) const override { return {size.width, kHeight}; }

  // The natural width of an item (flexible spaces: 0).
  static double naturalWidth(const BarButtonItem& item);

  std::string className() const override { return "Toolbar"; }

 private:
  void layoutItems();
  std::vector<Ref<BarButtonItem>> items_;
  BarStyle barStyle_ = BarStyle::Default;
  std::optional<Color> tint_;
  bool translucent_ = false;
};

}  // namespace kit
