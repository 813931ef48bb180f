#pragma once
// The row of a slider setting: a slider across the row, narrowed to make
// room for the images at its ends when there are any.

#include "kit/ui/ImageView.h"
#include "kit/ui/TableViewCell.h"
#include "settings/PrefSlider.h"

namespace tolva {

class PrefPSSliderSpecifierViewCell : public kit::TableViewCell {
 public:
  static constexpr double kImageSize = 21;

  PrefPSSliderSpecifierViewCell();

  PrefSlider* slider() const noexcept { return slider_.get(); }
  kit::ImageView* minImage() const noexcept { return minImage_.get(); }
  kit::ImageView* maxImage() const noexcept { return maxImage_.get(); }

  // Clears both images.
  void prepareForReuse() override;
  void layoutSubviews() override;
  std::string className() const override { return "PrefPSSliderSpecifierViewCell"; }

 private:
  kit::Ref<PrefSlider> slider_;
  kit::Ref<kit::ImageView> minImage_;
  kit::Ref<kit::ImageView> maxImage_;
};

}  // namespace tolva
