#include "kit/ui/PopoverController.h"

#include <algorithm>

#include "kit/ui/Application.h"
#include "kit/ui/BarButtonItem.h"
#include "kit/ui/ViewController.h"
#include "kit/ui/Window.h"

namespace kit {
namespace {

std::vector<PopoverController*>& shown() {
  static auto* v = new std::vector<PopoverController*>();
  return *v;
}

// Gap between the anchor and the panel, where the arrow is.
constexpr double kArrowSize = 13;

}  // namespace

PopoverController::PopoverController(ViewController* content) : content_(content) {}

PopoverController::~PopoverController() {
  auto& s = shown();
  s.erase(std::remove(s.begin(), s.end(), this), s.end());
  if (panel_) panel_->owner_ = nullptr;
}

void PopoverController::setContentViewController(ViewController* content, bool) {
  if (content_.get() == content) return;
  Ref<PopoverController> keep(this);
  Ref<ViewController> old = content_;
  content_ = content;
  if (!visible_ || !panel_) return;
  if (old && old->isViewLoaded() && old->view()->superview() == panel_.get()) old->view()->removeFromSuperview();
  if (content_) panel_->addSubview(content_->view());
  layoutPanel();
}

Size PopoverController::popoverContentSize() const {
  if (!size_.isEmpty()) return size_;
  if (content_) {
    Size s = content_->contentSizeForViewInPopover();
    if (!s.isEmpty()) return s;
  }
  return {kDefaultWidth, kDefaultHeight};
}

void PopoverController::setPopoverContentSize(Size size, bool) {
  size_ = size;
  if (visible_) layoutPanel();
}

void PopoverController::presentPopoverFromRect(Rect rect, View* view, unsigned arrowDirections, bool animated) {
  if (!view) return;
  Window* w = view->window();
  if (!w) w = Application::sharedApplication()->keyWindow();
  show(view->convertRectToView(rect, nullptr), w, arrowDirections, animated);
}

void PopoverController::presentPopoverFromBarButtonItem(BarButtonItem* item, unsigned arrowDirections,
                                                        bool animated) {
  if (!item) return;
  Window* w = item->bar() ? item->bar()->window() : nullptr;
  if (!w) w = Application::sharedApplication()->keyWindow();
  show(item->frameInWindow(), w, arrowDirections, animated);
}

void PopoverController::show(Rect anchor, Window* window, unsigned arrows, bool animated) {
  if (!content_) return;
  Ref<PopoverController> keep(this);
  anchor_ = anchor;
  permitted_ = arrows;
  if (!panel_) panel_ = Ref<PopoverView>(new PopoverView(this));
  ViewController::TransitionScope scope(animated);
  View* contentView = content_->view();
  if (contentView->superview() != panel_.get()) panel_->addSubview(contentView);
  if (window) {
    window->addSubview(panel_.get());  // on top, even when already shown
  }
  if (!visible_) {
    visible_ = true;
    self_ = this;
    shown().push_back(this);
  }
  layoutPanel();
}

void PopoverController::layoutPanel() {
  if (!panel_) return;
  Size size = popoverContentSize();
  Window* w = panel_->window();
  Rect area = w ? w->bounds() : Rect{anchor_.origin, size};
  size.width = std::min(size.width, area.width());
  size.height = std::min(size.height, area.height());
  Rect a = anchor_;
  struct Option {
    unsigned dir;
    Rect frame;
  };
  // Arrow up: the panel hangs below the anchor, and so on.
  Option options[] = {
      {PopoverArrowUp, {a.midX() - size.width / 2, a.maxY() + kArrowSize, size.width, size.height}},
      {PopoverArrowDown, {a.midX() - size.width / 2, a.minY() - kArrowSize - size.height, size.width, size.height}},
      {PopoverArrowLeft, {a.maxX() + kArrowSize, a.midY() - size.height / 2, size.width, size.height}},
      {PopoverArrowRight, {a.minX() - kArrowSize - size.width, a.midY() - size.height / 2, size.width, size.height}},
  };
  auto fits = [&](const Rect& f, unsigned dir) {
    if (dir == PopoverArrowUp || dir == PopoverArrowDown) return f.minY() >= area.minY() && f.maxY() <= area.maxY();
    return f.minX() >= area.minX() && f.maxX() <= area.maxX();
  };
  const Option* chosen = nullptr;
  for (const auto& o : options) {
    if ((permitted_ & o.dir) && fits(o.frame, o.dir)) {
      chosen = &o;
      break;
    }
  }
  if (!chosen) {
    for (const auto& o : options) {
      if (permitted_ & o.dir) {
        chosen = &o;
        break;
      }
    }
  }
  Rect frame;
  if (chosen && permitted_ != PopoverArrowUnknown) {
    frame = chosen->frame;
    arrow_ = chosen->dir;
  } else {
    frame = {a.midX() - size.width / 2, a.midY() - size.height / 2, size.width, size.height};
    arrow_ = PopoverArrowUnknown;
  }
  // Keep inside the window.
  frame.origin.x = std::clamp(frame.origin.x, area.minX(), std::max(area.minX(), area.maxX() - frame.width()));
  frame.origin.y = std::clamp(frame.origin.y, area.minY(), std::max(area.minY(), area.maxY() - frame.height()));
  panel_->setFrame(frame);
  if (content_ && content_->isViewLoaded()) {
    View* cv = content_->view();
    cv->setAutoresizingMask(View::FlexibleWidth | View::FlexibleHeight);
    cv->setFrame({0, 0, frame.width(), frame.height()});
  }
}

void PopoverController::dismissPopoverAnimated(bool animated) {
  if (!visible_) return;
  Ref<PopoverController> keep(this);
  visible_ = false;
  arrow_ = PopoverArrowUnknown;
  auto& s = shown();
  s.erase(std::remove(s.begin(), s.end(), this), s.end());
  {
    ViewController::TransitionScope scope(animated);
    if (panel_) panel_->removeFromSuperview();
  }
  self_ = nullptr;
}

bool PopoverController::tapOutside(View* tapped) {
  if (!visible_) return false;
  Ref<PopoverController> keep(this);
  if (tapped) {
    for (auto& p : passthrough_) {
      if (tapped->isDescendantOfView(p.get())) return false;
    }
  }
  if (delegate_ && !delegate_->popoverControllerShouldDismissPopover(*this)) return false;
  dismissPopoverAnimated(true);
  if (delegate_) delegate_->popoverControllerDidDismissPopover(*this);
  return true;
}

std::vector<Ref<PopoverController>> PopoverController::visiblePopovers() {
  std::vector<Ref<PopoverController>> out;
  for (auto* p : shown()) out.emplace_back(p);
  return out;
}

}  // namespace kit
