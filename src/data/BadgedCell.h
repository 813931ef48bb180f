#pragma once
// A table cell with a count badge at its right edge (BadgeView). The badge
// hides while the cell is editing, and the labels never run under it.

#include <optional>
#include <string>

#include "data/BadgeView.h"
#include "kit/ui/TableViewCell.h"

namespace tolva {

class BadgedCell : public kit::TableViewCell {
 public:
  explicit BadgedCell(Style style = Style::Default, std::string reuseIdentifier = {});

  void layoutSubviews() override;
  void setHighlighted(bool highlighted, bool animated = false) override;
  void setSelected(bool selected, bool animated = false) override;
  void setEditing(bool editing, bool animated = false) override;

  const std::string& badgeString() const noexcept { return badgeString_; }
  void setBadgeString(std::string s);
  BadgeView* badge() const noexcept { return badge_.get(); }
  const std::optional<kit::Color>& badgeColor() const noexcept { return badgeColor_; }
  void setBadgeColor(std::optional<kit::Color> c) { badgeColor_ = c; }
  const std::optional<kit::Color>& badgeColorHighlighted() const noexcept { return badgeColorHighlighted_; }
  void setBadgeColorHighlighted(std::optional<kit::Color> c) { badgeColorHighlighted_ = c; }
  bool showShadow() const noexcept { return showShadow_; }
  void setShowShadow(bool s) { showShadow_ = s; }

  std::string className() const override { return "BadgedCell"; }

 private:
  void configureSelf();

  std::string badgeString_;
  kit::Ref<BadgeView> badge_;
  std::optional<kit::Color> badgeColor_;
  std::optional<kit::Color> badgeColorHighlighted_;
  bool showShadow_ = false;
};

}  // namespace tolva
