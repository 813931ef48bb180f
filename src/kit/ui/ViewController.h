#pragma once
// A controller of one screen's view. The view is made on first use: from the
// interface file named by nibName() (whose builder connects it to the owner's
// view outlet) or, without one, as a plain view of the application frame;
// viewDidLoad follows. The root view's next responder is its controller, so
// the chain reaches the controller as soon as the view is connected, even
// during awakeFromNib.
//
// Appearance: a controller hears viewWillAppear/viewDidAppear when its view
// enters a visible window and viewWillDisappear/viewDidDisappear when it
// leaves, whoever moves it (a window's root, a navigation controller, a
// modal presentation, a popover, or plain addSubview). Calls come in pairs
// and never twice in a row for the same state.
//
// Headless transitions: the view tree takes its end state at once and the
// will-calls are made at once; an animated transition makes the did-calls and
// runs its completion kTransitionDuration later on kit's clock (main run
// loop), a non-animated one before it returns.

#include <functional>
#include <string>
#include <vector>

#include "kit/ui/Geometry.h"
#include "kit/ui/InterfaceOrientation.h"
#include "kit/ui/Responder.h"

namespace kit {

class BarButtonItem;
class NavigationController;
class NavigationItem;
class View;
class Window;

class ViewController : public Responder {
 public:
  enum class ModalPresentationStyle { FullScreen = 0, PageSheet = 1, FormSheet = 2, CurrentContext = 3 };
  enum class ModalTransitionStyle { CoverVertical = 0, FlipHorizontal = 1, CrossDissolve = 2, PartialCurl = 3 };
  enum class AppearanceState { Disappeared, Appearing, Appeared, Disappearing };
  using Completion = std::function<void()>;

  static constexpr double kTransitionDuration = 0.35;
  // The size of a form sheet on a tablet.
  static constexpr double kFormSheetWidth = 540;
  static constexpr double kFormSheetHeight = 620;

  // Groups the appearance calls of one transition. Will-calls run at once;
  // the did-calls (endAppearanceTransition) and completions run when the
  // outermost scope closes, or kTransitionDuration after that on kit's clock
  // when it is animated.
  class TransitionScope {
   public:
    explicit TransitionScope(bool animated);
    ~TransitionScope();
    TransitionScope(const TransitionScope&) = delete;
    TransitionScope& operator=(const TransitionScope&) = delete;

    // The innermost open scope, or null.
    static TransitionScope* current();
    bool animated() const noexcept { return animated_; }
    // Ends the controller's current appearance transition later (unless it began another meanwhile).
    void deferEnd(ViewController* controller);
    void addCompletion(std::function<void()> fn);

   private:
    struct Pending {
      Ref<ViewController> controller;
      unsigned long generation;
    };
    TransitionScope* outer_;
    bool animated_;
    std::vector<Pending> ends_;
    std::vector<std::function<void()>> completions_;
  };

  ViewController();
  explicit ViewController(std::string nibName);
  ~ViewController() override;

  // ---- The view
  const std::string& nibName() const noexcept { return nibName_; }
  // Loads the view when needed.
  View* view();
  bool isViewLoaded() const noexcept { return view_.get() != nullptr; }
  // Sets (or with null, drops) the view; the view's next responder becomes this controller.
  void setView(View* view);
  // Makes the view: the interface file when nibName() is set, else a plain view.
  virtual void loadView();
  virtual void viewDidLoad() {}
  virtual void viewDidUnload() {}
  virtual void viewWillAppear(bool animated) { (void)animated; }
  virtual void viewDidAppear(bool animated) { (void)animated; }
  virtual void viewWillDisappear(bool animated) { (void)animated; }
  virtual void viewDidDisappear(bool animated) { (void)animated; }

  // ---- Rotation and memory
  // Default: upright portrait only.
  virtual bool shouldAutorotateToInterfaceOrientation(InterfaceOrientation orientation);
  virtual void willRotateToInterfaceOrientation(InterfaceOrientation to, double duration) {
    (void)to;
    (void)duration;
  }
  virtual void willAnimateRotationToInterfaceOrientation(InterfaceOrientation to, double duration) {
    (void)to;
    (void)duration;
  }
  virtual void didRotateFromInterfaceOrientation(InterfaceOrientation from) { (void)from; }
  // The status bar's orientation.
  InterfaceOrientation interfaceOrientation() const;
  // Default: nothing (the view is kept).
  virtual void didReceiveMemoryWarning() {}

  // ---- Items shown by containers
  const std::string& title() const noexcept { return title_; }
  // Also the navigation item's title.
  void setTitle(std::string title);
  NavigationItem* navigationItem();
  const std::vector<Ref<BarButtonItem>>& toolbarItems() const noexcept { return toolbarItems_; }
  void setToolbarItems(std::vector<Ref<BarButtonItem>> items, bool animated = false);
  bool hidesBottomBarWhenPushed() const noexcept { return hidesBottomBar_; }
  void setHidesBottomBarWhenPushed(bool h) { hidesBottomBar_ = h; }
  // Zero means "no preference" (a popover then uses its default).
  virtual Size contentSizeForViewInPopover() const { return popoverSize_; }
  void setContentSizeForViewInPopover(Size s) { popoverSize_ = s; }
  bool isEditing() const noexcept { return editing_; }
  virtual void setEditing(bool editing, bool animated);
  // An Edit/Done item that toggles editing; made on first use.
  BarButtonItem* editButtonItem();

  // ---- Containers and presentation
  ViewController* parentViewController() const noexcept { return parent_; }
  // The nearest navigation controller among this controller and its parents.
  NavigationController* navigationController() const;
  ViewController* presentingViewController() const noexcept { return presenting_; }
  ViewController* presentedViewController() const noexcept { return presented_.get(); }
  ViewController* modalViewController() const noexcept { return presented_.get(); }
  ModalPresentationStyle modalPresentationStyle() const noexcept { return presentationStyle_; }
  void setModalPresentationStyle(ModalPresentationStyle s) { presentationStyle_ = s; }
  ModalTransitionStyle modalTransitionStyle() const noexcept { return transitionStyle_; }
  void setModalTransitionStyle(ModalTransitionStyle s) { transitionStyle_ = s; }
  // Shows `controller` over this one in this view's window (or the key window).
  // Refused (with a console line, completion not run) while this controller
  // already presents one or `controller` is already presented.
  void presentViewController(ViewController* controller, bool animated, Completion completion = {});
  void presentModalViewController(ViewController* controller, bool animated) {
    presentViewController(controller, animated);
  }
  // Dismisses what this controller presents, or, when it presents nothing,
  // this controller from its presenter. Nothing to dismiss: nothing happens.
  void dismissViewControllerAnimated(bool animated, Completion completion = {});
  void dismissModalViewControllerAnimated(bool animated) { dismissViewControllerAnimated(animated); }

  // ---- Appearance bookkeeping (containers call these)
  AppearanceState appearanceState() const noexcept { return appearance_; }
  void beginAppearanceTransition(bool appearing, bool animated);
  void endAppearanceTransition();

  // Every controller alive (for memory warnings).
  static std::vector<Ref<ViewController>> liveControllers();

  // The superview of the view; else the parent, else the presenting controller.
  Responder* nextResponder() const override;
  std::string className() const override { return "ViewController"; }

 protected:
  // Containers adopt their children with this.
  void setParentViewController(ViewController* parent) { parent_ = parent; }
  friend class NavigationController;

 private:
  // Where a presented controller's view goes in `window`.
  Rect presentationFrame(ViewController* controller, Window* window) const;
  void dismissPresented(bool animated, Completion completion);

  std::string nibName_;
  Ref<View> view_;
  bool loadingView_ = false;
  std::string title_;
  Ref<NavigationItem> navigationItem_;
  std::vector<Ref<BarButtonItem>> toolbarItems_;
  Ref<BarButtonItem> editButton_;
  bool hidesBottomBar_ = false;
  bool editing_ = false;
  Size popoverSize_;
  ViewController* parent_ = nullptr;
  ViewController* presenting_ = nullptr;
  Ref<ViewController> presented_;
  ModalPresentationStyle presentationStyle_ = ModalPresentationStyle::FullScreen;
  ModalTransitionStyle transitionStyle_ = ModalTransitionStyle::CoverVertical;
  AppearanceState appearance_ = AppearanceState::Disappeared;
  unsigned long appearanceGeneration_ = 0;
  bool appearingAnimated_ = false;
};

}  // namespace kit
