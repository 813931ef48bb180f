#include "shell/VeskTabItemView.h"

#include <cstdio>
#include <vector>

#include "kit/foundation/Bundle.h"
#include "kit/ui/Device.h"
#include "kit/ui/Image.h"
#include "kit/ui/InterfaceFile.h"

namespace tolva {
namespace {

// An image resource of the bundle (type "png"); a blank one of the
// expected size when it is missing.
kit::Ref<kit::Image> resourceImage(const char* name, kit::Size size) {
  kit::Ref<kit::Image> image = kit::Image::imageNamed(name);
  if (!image) image = kit::Image::imageWithSize(size);
  image->setName(std::string(name) + ".png");
  return image;
}

const char* interfaceFile() {
  return kit::Device::currentDevice().isPad() ? VeskTabItemView::kInterfaceFile : VeskTabItemView::kPhoneInterfaceFile;
}

// The first object of the idiom's interface file, or null.
kit::Ref<kit::Object> loadFirstObject() {
  std::vector<kit::Ref<kit::Object>> objects = kit::InterfaceFile::load(interfaceFile(), nullptr);
  return objects.empty() ? nullptr : objects.front();
}

}  // namespace

VeskTabItemView::~VeskTabItemView() {
  if (doubleTap_) doubleTap_->removeTarget();
}

kit::Ref<VeskTabItemView> VeskTabItemView::allocInstance(kit::Rect frame, const std::string& title) {
  kit::Ref<VeskTabItemView> item(kit::cast<VeskTabItemView>(loadFirstObject()));
  if (!item) return nullptr;
  if (item->title_) item->title_->setText(title);
  item->setFrame(frame);
  item->setSelected(false);
  return item;
}

kit::Size VeskTabItemView::xibFrameSize() {
  kit::Ref<kit::View> view(kit::cast<kit::View>(loadFirstObject()));
  return view ? view->frame().size : kit::Size{};
}

kit::Image* VeskTabItemView::selectedImage() {
  static const kit::Ref<kit::Image> image = resourceImage("tab_selected", {160, 150});
  return image.get();
}

kit::Image* VeskTabItemView::normalImage() {
  static const kit::Ref<kit::Image> image = resourceImage("tab_normal", {160, 150});
  return image.get();
}

kit::Image* VeskTabItemView::selectedClose() {
  static const kit::Ref<kit::Image> image = resourceImage("close_selected", {30, 30});
  return image.get();
}

kit::Image* VeskTabItemView::normalClose() {
  static const kit::Ref<kit::Image> image = resourceImage("close_normal", {30, 30});
  return image.get();
}

void VeskTabItemView::awakeFromNib() {
  kit::View::awakeFromNib();
  if (tab_bg_) tab_bg_->setImage(normalImage());
  // The recogniser reaches the item weakly: it may outlive the item in a
  // backend's hands.
  kit::WeakRef<VeskTabItemView> weak(this);
  doubleTap_ = kit::Ref<kit::TapGestureRecognizer>(
      new kit::TapGestureRecognizer("onDoubleTap:", [weak](kit::GestureRecognizer& g) {
        if (kit::Ref<VeskTabItemView> item = weak.lock()) item->onDoubleTap(g);
      }));
  doubleTap_->setNumberOfTapsRequired(2);
  addGestureRecognizer(doubleTap_.get());
}

void VeskTabItemView::setSelected(bool selected) {
  selected_ = selected;
  if (screenShotBg_) screenShotBg_->setBackgroundColor(selected ? kit::Color::darkGrayColor() : kit::Color::grayColor());
  if (tabViewBg_) tabViewBg_->setBackgroundColor(selected ? kit::Color::blackColor() : kit::Color::grayColor());
  restyleTitle();
  if (tab_bg_) tab_bg_->setImage(selected ? selectedImage() : normalImage());
  if (closeBtn_) closeBtn_->setImage(selected ? selectedClose() : normalClose(), kit::Control::Normal);
  if (glossy_) glossy_->setHidden(selected);
  if (tab_shadow_) tab_shadow_->setHidden(selected);
}

void VeskTabItemView::setPrivateMode(bool privateMode) {
  privateMode_ = privateMode;
  restyleTitle();
}

void VeskTabItemView::restyleTitle() {
  if (!title_) return;
  if (privateMode_)
    title_->setTextColor(kit::Color::redColor());
  else
    title_->setTextColor(selected_ ? kit::Color::blackColor() : kit::Color::whiteColor());
}

kit::Rect VeskTabItemView::tabBounds() const { return tabView_ ? tabView_->bounds() : kit::Rect{}; }

void VeskTabItemView::onDoubleTap(kit::GestureRecognizer&) {
  std::fprintf(stderr, "tapped\n");
  if (delegate_) delegate_->onDoubleTapped(*this);
}

void VeskTabItemView::onCloseClicked() {
  if (delegate_) delegate_->onCloseClicked(*this);
}

}  // namespace tolva
