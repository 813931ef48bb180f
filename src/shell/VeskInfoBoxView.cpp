#include "shell/VeskInfoBoxView.h"

#include <map>
#include <mutex>

namespace tolva {
namespace {

kit::Image* stockIcon(const std::string& name) {
  static std::mutex m;
  static std::map<std::string, kit::Ref<kit::Image>> icons;
  std::lock_guard<std::mutex> g(m);
  auto& icon = icons[name];
  if (!icon) {
    icon = kit::Image::imageWithSize({32, 32});
    icon->setName(name);
  }
  return icon.get();
}

}  // namespace

VeskInfoBoxView::VeskInfoBoxView(kit::Rect frame)
    : kit::View(frame), label_(new kit::Label()), icon_(new kit::ImageView()) {
  addSubview(icon_.get());
  addSubview(label_.get());
  setHidden(true);
}

void VeskInfoBoxView::twinkle(const std::string& text, kit::Image* image) {
  label_->setText(text);
  icon_->setImage(image ? kit::Ref<kit::Image>(image) : kit::Ref<kit::Image>(sharedFailIcon()));
  setHidden(false);
}

kit::Image* VeskInfoBoxView::sharedFailIcon() { return stockIcon("info_fail"); }
kit::Image* VeskInfoBoxView::sharedDualScreenIcon() { return stockIcon("info_dualscreen"); }
kit::Image* VeskInfoBoxView::sharedSingleScreenIcon() { return stockIcon("info_singlescreen"); }
kit::Image* VeskInfoBoxView::sharedTrackpadIcon() { return stockIcon("info_trackpad"); }
kit::Image* VeskInfoBoxView::sharedTrackpadOffIcon() { return stockIcon("info_trackpadoff"); }
kit::Image* VeskInfoBoxView::sharedShowScreenshotIcon() { return stockIcon("info_showscreenshot"); }
kit::Image* VeskInfoBoxView::sharedHideScreenshotIcon() { return stockIcon("info_hidescreenshot"); }
kit::Image* VeskInfoBoxView::sharedPrivateIconSelected() { return stockIcon("secret_selected@2x"); }

}  // namespace tolva
