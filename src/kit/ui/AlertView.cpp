#include "kit/ui/AlertView.h"

#include "kit/ui/Screen.h"
#include "kit/ui/Window.h"

namespace kit {

AlertView::AlertView() : View({0, 0, 284, 141}) {}

AlertView::AlertView(std::string title, std::string message, AlertViewDelegate* delegate,
                     std::string cancelButtonTitle, std::vector<std::string> otherButtonTitles)
    : View({0, 0, 284, 141}), title_(std::move(title)), message_(std::move(message)), delegate_(delegate) {
  if (!cancelButtonTitle.empty()) cancelIndex_ = addButtonWithTitle(std::move(cancelButtonTitle));
  for (auto& t : otherButtonTitles) addButtonWithTitle(std::move(t));
}

AlertView::~AlertView() = default;

void AlertView::setTitle(std::string t) {
  title_ = std::move(t);
  notify(ViewChange::Content);
}

void AlertView::setMessage(std::string m) {
  message_ = std::move(m);
  notify(ViewChange::Content);
}

long AlertView::addButtonWithTitle(std::string title) {
  buttons_.push_back(std::move(title));
  notify(ViewChange::Content);
  return static_cast<long>(buttons_.size()) - 1;
}

std::string AlertView::buttonTitleAtIndex(long index) const {
  if (index < 0 || index >= numberOfButtons()) return {};
  return buttons_[static_cast<size_t>(index)];
}

void AlertView::setCancelButtonIndex(long i) { cancelIndex_ = (i >= 0 && i < numberOfButtons()) ? i : -1; }

long AlertView::firstOtherButtonIndex() const {
  for (long i = 0; i < numberOfButtons(); ++i) {
    if (i != cancelIndex_) return i;
  }
  return -1;
}

void AlertView::show() {
  if (visible_) return;
  Ref<AlertView> keep(this);
  if (delegate_) delegate_->willPresentAlertView(*this);
  Window* w = Window::alertWindow();
  Rect b = w->bounds();
  Rect f = frame();
  setFrame({b.midX() - f.width() / 2, b.midY() - f.height() / 2, f.width(), f.height()});
  w->addSubview(this);
  w->setHidden(false);
  visible_ = true;
  if (delegate_) delegate_->didPresentAlertView(*this);
}

void AlertView::dismissWithClickedButtonIndex(long index, bool) {
  if (!visible_) return;
  Ref<AlertView> keep(this);
  if (delegate_) delegate_->alertViewWillDismissWithButtonIndex(*this, index);
  visible_ = false;
  Window* w = superview() ? window() : nullptr;
  removeFromSuperview();
  if (w && w->subviews().empty()) w->setHidden(true);
  if (delegate_) delegate_->alertViewDidDismissWithButtonIndex(*this, index);
}

bool AlertView::tapButton(long index) {
  if (!visible_ || index < 0 || index >= numberOfButtons()) return false;
  Ref<AlertView> keep(this);
  if (delegate_) delegate_->alertViewClickedButtonAtIndex(*this, index);
  dismissWithClickedButtonIndex(index, true);
  return true;
}

bool AlertView::tapButtonWithTitle(const std::string& title) {
  for (long i = 0; i < numberOfButtons(); ++i) {
    if (buttons_[static_cast<size_t>(i)] == title) return tapButton(i);
  }
  return false;
}

std::vector<Ref<AlertView>> AlertView::visibleAlerts() {
  std::vector<Ref<AlertView>> out;
  for (auto& v : Window::alertWindow()->subviews()) {
    if (auto* a = dynamic_cast<AlertView*>(v.get()); a && a->isVisible()) out.emplace_back(a);
  }
  return out;
}

AlertView* AlertView::topVisibleAlert() {
  auto all = visibleAlerts();
  return all.empty() ? nullptr : all.back().get();
}

}  // namespace kit
