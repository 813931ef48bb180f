#include "kit/ui/NavigationController.h"

#include <algorithm>
#include <cstdio>

#include "kit/ui/Screen.h"

namespace kit {
namespace {

// The navigation controller's own view: it lays the content out again when resized.
class NavigationView : public View {
 public:
  NavigationView(Rect frame, NavigationController* nav) : View(frame), nav_(nav) {}
  void layoutSubviews() override {
    if (nav_) nav_->layoutContent();
  }
  void forget() { nav_ = nullptr; }
  std::string className() const override { return "NavigationView"; }

 private:
  NavigationController* nav_;
};

}  // namespace

NavigationController::NavigationController(ViewController* root) {
  if (root) {
    root->setParentViewController(this);
    stack_.emplace_back(root);
  }
}

NavigationController::~NavigationController() {
  for (auto& c : stack_) {
    if (c->parentViewController() == this) c->setParentViewController(nullptr);
  }
  if (isViewLoaded()) {
    if (auto* v = dynamic_cast<NavigationView*>(view())) v->forget();
  }
}

NavigationBar* NavigationController::navigationBar() {
  if (!bar_) {
    bar_ = Ref<NavigationBar>(new NavigationBar(Rect{0, 0, 320, NavigationBar::kHeight}));
    bar_->setAutoresizingMask(View::FlexibleWidth | View::FlexibleBottomMargin);
    WeakRef<NavigationController> weak(this);
    bar_->setBackAction([weak] {
      if (Ref<NavigationController> nav = weak.lock()) nav->popViewControllerAnimated(true);
    });
  }
  return bar_.get();
}

Toolbar* NavigationController::toolbar() {
  if (!toolbar_) {
    toolbar_ = Ref<Toolbar>(new Toolbar(Rect{0, 0, 320, Toolbar::kHeight}));
    toolbar_->setAutoresizingMask(View::FlexibleWidth | View::FlexibleTopMargin);
    toolbar_->setHidden(toolbarHidden_);
  }
  return toolbar_.get();
}

void NavigationController::loadView() {
  Ref<View> v(new NavigationView(Screen::mainScreen().applicationFrame(), this));
  v->setAutoresizingMask(View::FlexibleWidth | View::FlexibleHeight);
  setView(v.get());
  v->addSubview(navigationBar());
  v->addSubview(toolbar());
  navigationBar()->setHidden(barHidden_);
  std::vector<Ref<NavigationItem>> items;
  for (auto& c : stack_) items.emplace_back(c->navigationItem());
  navigationBar()->setItems(std::move(items));
  if (ViewController* top = topViewController()) {
    toolbar()->setItems(top->toolbarItems());
    shown_ = top;
    v->insertSubview(top->view(), 0);
  }
  layoutContent();
}

void NavigationController::layoutContent() {
  if (!isViewLoaded()) return;
  Rect b = view()->bounds();
  double top = b.y();
  double bottom = b.maxY();
  NavigationBar* bar = navigationBar();
  bar->setFrame({b.x(), b.y(), b.width(), NavigationBar::kHeight});
  if (!barHidden_) top += NavigationBar::kHeight;
  Toolbar* tb = toolbar();
  tb->setFrame({b.x(), b.maxY() - Toolbar::kHeight, b.width(), Toolbar::kHeight});
  if (!toolbarHidden_) bottom -= Toolbar::kHeight;
  if (shown_ && shown_->isViewLoaded()) {
    View* cv = shown_->view();
    cv->setAutoresizingMask(View::FlexibleWidth | View::FlexibleHeight);
    cv->setFrame({b.x(), top, b.width(), std::max(0.0, bottom - top)});
  }
}

ViewController* NavigationController::topViewController() const {
  return stack_.empty() ? nullptr : stack_.back().get();
}

ViewController* NavigationController::visibleViewController() const {
  if (presentedViewController()) return presentedViewController();
  return topViewController();
}

void NavigationController::transitionTo(std::vector<Ref<ViewController>> stack, bool animated) {
  Ref<NavigationController> keep(this);
  for (auto& c : stack_) {
    bool kept = std::any_of(stack.begin(), stack.end(), [&](const Ref<ViewController>& n) { return n == c; });
    if (!kept && c->parentViewController() == this) c->setParentViewController(nullptr);
  }
  for (auto& c : stack) c->setParentViewController(this);
  stack_ = std::move(stack);
  Ref<ViewController> top(topViewController());
  if (!isViewLoaded()) return;  // shown when the view loads
  if (top && delegate_) delegate_->willShowViewController(*this, *top, animated);
  TransitionScope scope(animated);
  std::vector<Ref<NavigationItem>> items;
  for (auto& c : stack_) items.emplace_back(c->navigationItem());
  navigationBar()->setItems(std::move(items), animated);
  toolbar()->setItems(top ? top->toolbarItems() : std::vector<Ref<BarButtonItem>>{}, animated);
  if (shown_ != top) {
    Ref<ViewController> old = shown_;
    shown_ = top;
    if (top) view()->insertSubview(top->view(), 0);
    if (old && old->isViewLoaded() && old->view()->superview() == view()) old->view()->removeFromSuperview();
  }
  layoutContent();
  if (top && delegate_) {
    WeakRef<NavigationController> weak(this);
    scope.addCompletion([weak, top, animated] {
      Ref<NavigationController> nav = weak.lock();
      if (nav && nav->delegate_) nav->delegate_->didShowViewController(*nav, *top, animated);
    });
  }
}

void NavigationController::setViewControllers(std::vector<Ref<ViewController>> controllers, bool animated) {
  controllers.erase(std::remove(controllers.begin(), controllers.end(), nullptr), controllers.end());
  transitionTo(std::move(controllers), animated);
}

void NavigationController::pushViewController(ViewController* controller, bool animated) {
  if (!controller) return;
  if (controller->parentViewController() || controller == this) {
    std::fprintf(stderr, "kit: refused to push a controller that already has a container\n");
    return;
  }
  auto stack = stack_;
  stack.emplace_back(controller);
  transitionTo(std::move(stack), animated);
}

Ref<ViewController> NavigationController::popViewControllerAnimated(bool animated) {
  if (stack_.size() < 2) return nullptr;
  Ref<ViewController> top = stack_.back();
  auto stack = stack_;
  stack.pop_back();
  transitionTo(std::move(stack), animated);
  return top;
}

std::vector<Ref<ViewController>> NavigationController::popToRootViewControllerAnimated(bool animated) {
  if (stack_.empty()) return {};
  return popToViewController(stack_.front().get(), animated);
}

std::vector<Ref<ViewController>> NavigationController::popToViewController(ViewController* controller,
                                                                           bool animated) {
  auto it = std::find_if(stack_.begin(), stack_.end(), [&](const Ref<ViewController>& c) { return c == controller; });
  if (it == stack_.end() || it + 1 == stack_.end()) return {};
  std::vector<Ref<ViewController>> popped(it + 1, stack_.end());
  std::vector<Ref<ViewController>> stack(stack_.begin(), it + 1);
  transitionTo(std::move(stack), animated);
  return popped;
}

void NavigationController::setNavigationBarHidden(bool hidden, bool) {
  barHidden_ = hidden;
  if (bar_) bar_->setHidden(hidden);
  layoutContent();
}

void NavigationController::setToolbarHidden(bool hidden, bool) {
  toolbarHidden_ = hidden;
  if (toolbar_) toolbar_->setHidden(hidden);
  layoutContent();
}

Size NavigationController::contentSizeForViewInPopover() const {
  Size own = ViewController::contentSizeForViewInPopover();
  if (!own.isEmpty()) return own;
  if (ViewController* top = topViewController()) return top->contentSizeForViewInPopover();
  return {};
}

bool NavigationController::shouldAutorotateToInterfaceOrientation(InterfaceOrientation o) {
  if (ViewController* top = topViewController()) return top->shouldAutorotateToInterfaceOrientation(o);
  return ViewController::shouldAutorotateToInterfaceOrientation(o);
}

}  // namespace kit
