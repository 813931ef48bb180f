#include "kit/ui/ActionSheet.h"

#include "kit/ui/BarButtonItem.h"
#include "kit/ui/Toolbar.h"
#include "kit/ui/Window.h"

namespace kit {

ActionSheet::ActionSheet() : View({0, 0, 320, 200}) {}

ActionSheet::ActionSheet(std::string title, ActionSheetDelegate* delegate, std::string cancelButtonTitle,
                         std::string destructiveButtonTitle, std::vector<std::string> otherButtonTitles)
    : View({0, 0, 320, 200}), title_(std::move(title)), delegate_(delegate) {
  if (!destructiveButtonTitle.empty()) destructiveIndex_ = addButtonWithTitle(std::move(destructiveButtonTitle));
  for (auto& t : otherButtonTitles) addButtonWithTitle(std::move(t));
  if (!cancelButtonTitle.empty()) cancelIndex_ = addButtonWithTitle(std::move(cancelButtonTitle));
}

ActionSheet::~ActionSheet() = default;

void ActionSheet::setTitle(std::string t) {
  title_ = std::move(t);
  notify(ViewChange::Content);
}

long ActionSheet::addButtonWithTitle(std::string title) {
  buttons_.push_back(std::move(title));
  notify(ViewChange::Content);
  return static_cast<long>(buttons_.size()) - 1;
}

std::string ActionSheet::buttonTitleAtIndex(long index) const {
  if (index < 0 || index >= numberOfButtons()) return {};
  return buttons_[static_cast<size_t>(index)];
}

void ActionSheet::setCancelButtonIndex(long i) { cancelIndex_ = (i >= 0 && i < numberOfButtons()) ? i : -1; }

void ActionSheet::setDestructiveButtonIndex(long i) {
  destructiveIndex_ = (i >= 0 && i < numberOfButtons()) ? i : -1;
}

long ActionSheet::firstOtherButtonIndex() const {
  for (long i = 0; i < numberOfButtons(); ++i) {
    if (i != cancelIndex_ && i != destructiveIndex_) return i;
  }
  return -1;
}

void ActionSheet::present(Anchor anchor, Rect rectInWindow, View* view, BarButtonItem* item) {
  Ref<ActionSheet> keep(this);
  anchor_ = anchor;
  anchorRect_ = rectInWindow;
  anchorView_ = view;
  anchorItem_ = item;
  if (visible_) return;
  if (delegate_) delegate_->willPresentActionSheet(*this);
  Window* w = Window::alertWindow();
  Rect b = w->bounds();
  Rect f = frame();
  setFrame({b.midX() - f.width() / 2, b.maxY() - f.height(), f.width(), f.height()});
  w->addSubview(this);
  w->setHidden(false);
  visible_ = true;
  if (delegate_) delegate_->didPresentActionSheet(*this);
}

void ActionSheet::showInView(View* view) {
  Rect r = view ? view->convertRectToView(view->bounds(), nullptr) : Rect{};
  present(Anchor::View, r, view, nullptr);
}

void ActionSheet::showFromRect(Rect rect, View* view, bool) {
  Rect r = view ? view->convertRectToView(rect, nullptr) : rect;
  present(Anchor::Rect, r, view, nullptr);
}

void ActionSheet::showFromBarButtonItem(BarButtonItem* item, bool) {
  present(Anchor::BarButtonItem, item ? item->frameInWindow() : Rect{}, item ? item->bar() : nullptr, item);
}

void ActionSheet::showFromToolbar(Toolbar* toolbar) {
  Rect r = toolbar ? toolbar->convertRectToView(toolbar->bounds(), nullptr) : Rect{};
  present(Anchor::Toolbar, r, toolbar, nullptr);
}

void ActionSheet::dismissWithClickedButtonIndex(long index, bool) {
  if (!visible_) return;
  Ref<ActionSheet> keep(this);
  if (delegate_) delegate_->actionSheetWillDismissWithButtonIndex(*this, index);
  visible_ = false;
  Window* w = superview() ? window() : nullptr;
  removeFromSuperview();
  if (w && w->subviews().empty()) w->setHidden(true);
  if (delegate_) delegate_->actionSheetDidDismissWithButtonIndex(*this, index);
}

bool ActionSheet::tapButton(long index) {
  if (!visible_ || index < 0 || index >= numberOfButtons()) return false;
  Ref<ActionSheet> keep(this);
  if (delegate_) delegate_->actionSheetClickedButtonAtIndex(*this, index);
  dismissWithClickedButtonIndex(index, true);
  return true;
}

bool ActionSheet::tapButtonWithTitle(const std::string& title) {
  for (long i = 0; i < numberOfButtons(); ++i) {
    if (buttons_[static_cast<size_t>(i)] == title) return tapButton(i);
  }
  return false;
}

bool ActionSheet::tapOutside() {
  if (!visible_) return false;
  Ref<ActionSheet> keep(this);
  if (delegate_) delegate_->actionSheetClickedButtonAtIndex(*this, cancelIndex_);
  dismissWithClickedButtonIndex(cancelIndex_, true);
  return true;
}

std::vector<Ref<ActionSheet>> ActionSheet::visibleSheets() {
  std::vector<Ref<ActionSheet>> out;
  for (auto& v : Window::alertWindow()->subviews()) {
    if (auto* s = dynamic_cast<ActionSheet*>(v.get()); s && s->isVisible()) out.emplace_back(s);
  }
  return out;
}

ActionSheet* ActionSheet::topVisibleSheet() {
  auto all = visibleSheets();
  return all.empty() ? nullptr : all.back().get();
}

}  // namespace kit
