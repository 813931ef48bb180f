#pragma once
// A count badge: a rounded patch of colour with its text cut out of it, so
// the text shows the cell's background. Drawn from kit views: the patch is
// this view's layer (colour and corner radius), the text a label in the
// cell's background colour. Highlighted, it can cast a shadow (its layer's).

#include <optional>
#include <string>

#include "kit/ui/Color.h"
#include "kit/ui/Label.h"
#include "kit/ui/View.h"

namespace kit {
class TableViewCell;
}

namespace tolva {

class BadgeView : public kit::View {
 public:
  static constexpr double kFontSize = 11;
  static constexpr double kHeight = 18;
  static kit::Color defaultColor() { return kit::Color::rgba(0.53, 0.6, 0.738, 1); }

  explicit BadgeView(kit::Rect frame = {});

  // The badge's width when last drawn.
  unsigned width() const noexcept { return width_; }
  const std::string& badgeString() const noexcept { return badgeString_; }
  void setBadgeString(std::string s);
  kit::TableViewCell* parent() const noexcept { return parent_; }
  void setParent(kit::TableViewCell* cell) { parent_ = cell; }
  const std::optional<kit::Color>& badgeColor() const noexcept { return badgeColor_; }
  void setBadgeColor(std::optional<kit::Color> c);
  const std::optional<kit::Color>& badgeColorHighlighted() const noexcept { return badgeColorHighlighted_; }
  void setBadgeColorHighlighted(std::optional<kit::Color> c);
  bool showShadow() const noexcept { return showShadow_; }
  void setShowShadow(bool s);
  // 0 means 4.
  double radius() const noexcept { return radius_; }
  void setRadius(double r);

  // Redraws from the current state.
  void drawRect();

  // What the last drawing showed.
  bool drawnHighlighted() const noexcept { return drawnHighlighted_; }
  kit::Color drawnColor() const noexcept { return drawnColor_; }
  kit::Label* textLabel() const noexcept { return label_.get(); }

  // The width of a badge text in the badge's font.
  static double textWidth(const std::string& text);

  std::string className() const override { return "BadgeView"; }

 private:
  unsigned width_ = 0;
  std::string badgeString_;
  kit::TableViewCell* parent_ = nullptr;
  std::optional<kit::Color> badgeColor_;
  std::optional<kit::Color> badgeColorHighlighted_;
  bool showShadow_ = false;
  double radius_ = 0;
  bool drawnHighlighted_ = false;
  kit::Color drawnColor_ = defaultColor();
  kit::Ref<kit::Label> label_;
};

}  // namespace tolva
