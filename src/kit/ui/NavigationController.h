#pragma once
// A stack of controllers with a navigation bar on top and an optional
// toolbar at the bottom (hidden by default); the top controller's view fills
// the space between. The bar shows the controllers' navigation items, the
// toolbar the top controller's toolbar items. The back button pops.
//
// Pushing or popping tells the delegate will-show before and did-show after
// the change (after the transition's duration when animated, with the
// controllers' did-appear/did-disappear calls).

#include <vector>

#include "kit/ui/NavigationBar.h"
#include "kit/ui/Toolbar.h"
#include "kit/ui/ViewController.h"

namespace kit {

class NavigationController;

class NavigationControllerDelegate {
 public:
  virtual ~NavigationControllerDelegate() = default;
  virtual void willShowViewController(NavigationController& nav, ViewController& controller, bool animated) {
    (void)nav;
    (void)controller;
    (void)animated;
  }
  virtual void didShowViewController(NavigationController& nav, ViewController& controller, bool animated) {
    (void)nav;
    (void)controller;
    (void)animated;
  }
};

class NavigationController : public ViewController {
 public:
  explicit NavigationController(ViewController* root = nullptr);
  ~NavigationController() override;
  static Ref<NavigationController> withRootViewController(ViewController* root) {
    return Ref<NavigationController>(new NavigationController(root));
  }

  const std::vector<Ref<ViewController>>& viewControllers() const noexcept { return stack_; }
  void setViewControllers(std::vector<Ref<ViewController>> controllers, bool animated = false);
  // Pushing a controller already in a stack is refused.
  void pushViewController(ViewController* controller, bool animated);
  // Null at the root (the root is never popped).
  Ref<ViewController> popViewControllerAnimated(bool animated);
  std::vector<Ref<ViewController>> popToRootViewControllerAnimated(bool animated);
  // Pops down to `controller`; nothing when it is not in the stack.
  std::vector<Ref<ViewController>> popToViewController(ViewController* controller, bool animated);
  ViewController* topViewController() const;
  // What this controller presents, else the top controller.
  ViewController* visibleViewController() const;

  NavigationBar* navigationBar();
  bool isNavigationBarHidden() const noexcept { return barHidden_; }
  void setNavigationBarHidden(bool hidden, bool animated = false);
  Toolbar* toolbar();
  bool isToolbarHidden() const noexcept { return toolbarHidden_; }
  void setToolbarHidden(bool hidden, bool animated = false);

  NavigationControllerDelegate* delegate() const noexcept { return delegate_; }
  void setDelegate(NavigationControllerDelegate* d) { delegate_ = d; }

  void loadView() override;
  Size contentSizeForViewInPopover() const override;
  bool shouldAutorotateToInterfaceOrientation(InterfaceOrientation o) override;
  void didReceiveMemoryWarning() override {}

  // Places the bars and the top controller's view in the current bounds.
  void layoutContent();

  std::string className() const override { return "NavigationController"; }

 private:
  // Replaces the stack and shows its top, telling the delegate.
  void transitionTo(std::vector<Ref<ViewController>> stack, bool animated);

  std::vector<Ref<ViewController>> stack_;
  Ref<NavigationBar> bar_;
  Ref<Toolbar> toolbar_;
  Ref<ViewController> shown_;
  bool barHidden_ = false;
  bool toolbarHidden_ = true;
  NavigationControllerDelegate* delegate_ = nullptr;
};

}  // namespace kit
