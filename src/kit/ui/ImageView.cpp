#include "kit/ui/ImageView.h"

namespace kit {

ImageView::ImageView(Rect frame) : View(frame) { setUserInteractionEnabled(false); }

ImageView::ImageView(Ref<Image> image) : View(image ? Rect{{0, 0}, image->size()} : Rect{}), image_(std::move(image)) {
  setUserInteractionEnabled(false);
}

void ImageView::setImage(Ref<Image> image) {
  if (image == image_) return;
  image_ = std::move(image);
  notify(ViewChange::Content);
}

void ImageView::setHighlightedImage(Ref<Image> image) {
  highlightedImage_ = std::move(image);
  notify(ViewChange::Content);
}

void ImageView::setHighlighted(bool h) {
  if (h == highlighted_) return;
  highlighted_ = h;
  notify(ViewChange::Content);
}

Image* ImageView::currentImage() const {
  if (highlighted_ && highlightedImage_) return highlightedImage_.get();
  return image_.get();
}

Size ImageView::sizeThatFits(Size) const { return image_ ? image_->size() : Size{}; }

}  // namespace kit
