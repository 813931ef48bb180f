#include "data/BadgedCell.h"

#include <cmath>

#include "kit/ui/ImageView.h"
#include "kit/ui/Label.h"
#include "kit/ui/Layer.h"

namespace tolva {

BadgedCell::BadgedCell(Style style, std::string reuseIdentifier) : kit::TableViewCell(style, std::move(reuseIdentifier)) {
  configureSelf();
}

void BadgedCell::configureSelf() {
  badge_ = kit::make<BadgeView>(kit::Rect{});
  badge_->setParent(this);
  contentView()->addSubview(badge_.get());
  badge_->drawRect();
}

void BadgedCell::setBadgeString(std::string s) {
  badgeString_ = std::move(s);
  setNeedsLayout();
}

void BadgedCell::layoutSubviews() {
  kit::TableViewCell::layoutSubviews();
  const kit::Rect content = contentView()->frame();
  const double w = content.size.width;
  const double h = content.size.height;
  kit::Label* labels[] = {textLabel(), detailTextLabel()};

  if (imageView() && imageView()->image()) {
    imageView()->setFrame(kit::Rect{0, 0, h - 1, h - 1});
    imageView()->setContentMode(kit::View::ContentMode::ScaleAspectFit);
    for (kit::Label* label : labels) {
      if (!label) continue;
      kit::Rect f = label->frame();
      label->setFrame(kit::Rect{h + 10, f.origin.y, w - h - 20, f.size.height});
    }
  }

  if (badgeString_.empty()) {
    badge_->setHidden(true);
    return;
  }
  badge_->setHidden(isEditing());
  const double t = BadgeView::textWidth(badgeString_);
  kit::Rect frame{w - (t + 25), std::round((h - BadgeView::kHeight) / 2), t + 13, BadgeView::kHeight};
  badge_->setFrame(frame);
  badge_->setShowShadow(showShadow_);
  badge_->setBadgeString(badgeString_);

  for (kit::Label* label : labels) {
    if (!label) continue;
    kit::Rect f = label->frame();
    if (f.origin.x + f.size.width >= frame.origin.x) {
      f.size.width -= frame.size.width + 10;
      label->setFrame(f);
    }
  }

  badge_->setBadgeColorHighlighted(badgeColorHighlighted_.value_or(kit::Color::whiteColor()));
  badge_->setBadgeColor(badgeColor_.value_or(BadgeView::defaultColor()));
}

void BadgedCell::setHighlighted(bool highlighted, bool animated) {
  kit::TableViewCell::setHighlighted(highlighted, animated);
  badge_->drawRect();
  if (showShadow_) {
    for (kit::Label* label : {textLabel(), detailTextLabel()}) {
      if (!label) continue;
      kit::Layer* shade = label->layer();
      shade->setShadowOffset(kit::Size{0, 1});
      shade->setShadowRadius(1);
      shade->setShadowOpacity(0.8);
    }
  }
}

void BadgedCell::setSelected(bool selected, bool animated) {
  kit::TableViewCell::setSelected(selected, animated);
  badge_->drawRect();
}

void BadgedCell::setEditing(bool editing, bool animated) {
  kit::TableViewCell::setEditing(editing, animated);
  badge_->setHidden(editing);
  badge_->drawRect();
  setNeedsLayout();
}

}  // namespace tolva
