#include "settings/PrefPSSliderSpecifierViewCell.h"

#include <algorithm>

#include "settings/PrefSpecifier.h"

namespace tolva {

PrefPSSliderSpecifierViewCell::PrefPSSliderSpecifierViewCell()
    : kit::TableViewCell(Style::Default, kPSSliderSpecifier) {
  setSelectionStyle(SelectionStyle::None);
  slider_ = kit::make<PrefSlider>(kit::Rect{0, 0, 100, 23});
  contentView()->addSubview(slider_.get());
  minImage_ = kit::make<kit::ImageView>(kit::Rect{0, 0, kImageSize, kImageSize});
  maxImage_ = kit::make<kit::ImageView>(kit::Rect{0, 0, kImageSize, kImageSize});
  contentView()->addSubview(minImage_.get());
  contentView()->addSubview(maxImage_.get());
}

void PrefPSSliderSpecifierViewCell::prepareForReuse() {
  kit::TableViewCell::prepareForReuse();
  minImage_->setImage(nullptr);
  maxImage_->setImage(nullptr);
}

void PrefPSSliderSpecifierViewCell::layoutSubviews() {
  kit::TableViewCell::layoutSubviews();
  kit::Rect c = contentView()->bounds();
  bool hasMin = minImage_->image() != nullptr;
  bool hasMax = maxImage_->image() != nullptr;
  double width = c.width() - 22;
  double centerX = c.width() / 2;
  if (hasMin && hasMax) {
    width = c.width() - 86;
  } else if (hasMin) {
    width = c.width() - 54;
    centerX += 16;
  } else if (hasMax) {
    width = c.width() - 54;
    centerX -= 16;
  }
  width = std::max(0.0, width);
  double h = slider_->frame().height();
  slider_->setFrame({centerX - width / 2, (c.height() - h) / 2, width, h});
  double iy = (c.height() - kImageSize) / 2;
  minImage_->setFrame({kPadding, iy, kImageSize, kImageSize});
  maxImage_->setFrame({c.width() - kPadding - kImageSize, iy, kImageSize, kImageSize});
  minImage_->setHidden(!hasMin);
  maxImage_->setHidden(!hasMax);
}

}  // namespace tolva
