#pragma once
// Shows an image (or its highlighted image while highlighted).

#include "kit/ui/Image.h"
#include "kit/ui/View.h"

namespace kit {

class ImageView : public View {
 public:
  explicit ImageView(Rect frame = {});
  // Sized to the image.
  explicit ImageView(Ref<Image> image);

  Image* image() const noexcept { return image_.get(); }
  void setImage(Ref<Image> image);
  Image* highlightedImage() const noexcept { return highlightedImage_.get(); }
  void setHighlightedImage(Ref<Image> image);
  bool isHighlighted() const noexcept { return highlighted_; }
  void setHighlighted(bool h);
  // What is shown now.
  Image* currentImage() const;

  Size sizeThatFits(Size size) const override;

  std::string className() const override { return "ImageView"; }

 private:
  Ref<Image> image_;
  Ref<Image> highlightedImage_;
  bool highlighted_ = false;
};

}  // namespace kit
