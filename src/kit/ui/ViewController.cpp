#include "kit/ui/ViewController.h"

#include <algorithm>
#include <cstdio>

#include "kit/foundation/RunLoop.h"
#include "kit/ui/Application.h"
#include "kit/ui/BarButtonItem.h"
#include "kit/ui/Device.h"
#include "kit/ui/InterfaceFile.h"
#include "kit/ui/NavigationController.h"
#include "kit/ui/NavigationItem.h"
#include "kit/ui/Screen.h"
#include "kit/ui/View.h"
#include "kit/ui/Window.h"

namespace kit {
namespace {

std::vector<ViewController*>& registry() {
  static auto* r = new std::vector<ViewController*>();
  return *r;
}

ViewController::TransitionScope* gScope = nullptr;

void forEachController(View* root, const std::function<void(ViewController*)>& fn) {
  if (!root) return;
  std::vector<Ref<ViewController>> found;
  std::function<void(View*)> walk = [&](View* v) {
    if (ViewController* c = v->viewController()) found.emplace_back(c);
    for (const auto& s : v->subviews()) walk(s.get());
  };
  walk(root);
  for (auto& c : found) fn(c.get());
}

}  // namespace

// ---- TransitionScope

ViewController::TransitionScope::TransitionScope(bool animated) : outer_(gScope), animated_(animated) {
  gScope = this;
}

ViewController::TransitionScope* ViewController::TransitionScope::current() { return gScope; }

void ViewController::TransitionScope::deferEnd(ViewController* controller) {
  if (!controller) return;
  if (outer_) return outer_->deferEnd(controller);
  ends_.push_back({Ref<ViewController>(controller), controller->appearanceGeneration_});
}

void ViewController::TransitionScope::addCompletion(std::function<void()> fn) {
  if (!fn) return;
  if (outer_) return outer_->addCompletion(std::move(fn));
  completions_.push_back(std::move(fn));
}

ViewController::TransitionScope::~TransitionScope() {
  gScope = outer_;
  if (outer_) return;
  auto run = [ends = std::move(ends_), completions = std::move(completions_)] {
    for (const auto& p : ends) {
      if (p.controller->appearanceGeneration_ == p.generation) p.controller->endAppearanceTransition();
    }
    for (const auto& fn : completions) fn();
  };
  if (animated_) {
    static const int target = 0;
    RunLoop::main().performAfterDelay(&target, "transition", nullptr, kTransitionDuration, std::move(run),
                                      {RunLoop::kCommonModes});
  } else {
    run();
  }
}

// ---- Life

ViewController::ViewController() { registry().push_back(this); }

ViewController::ViewController(std::string nibName) : nibName_(std::move(nibName)) { registry().push_back(this); }

ViewController::~ViewController() {
  auto& r = registry();
  r.erase(std::remove(r.begin(), r.end(), this), r.end());
  if (view_ && view_->controller_ == this) view_->controller_ = nullptr;
  if (presented_ && presented_->presenting_ == this) presented_->presenting_ = nullptr;
}

std::vector<Ref<ViewController>> ViewController::liveControllers() {
  std::vector<Ref<ViewController>> out;
  for (ViewController* c : registry()) {
    if (c->tryRetain()) {
      out.emplace_back(c);
      c->release();
    }
  }
  return out;
}

// ---- The view

View* ViewController::view() {
  if (!view_ && !loadingView_) {
    loadingView_ = true;
    struct Done {
      bool& flag;
      ~Done() { flag = false; }
    } done{loadingView_};
    loadView();
    if (!view_) {
      // A builder that did not connect the view: carry on with a plain one.
      std::fprintf(stderr, "kit: interface file \"%s\" did not set the view of its owner\n", nibName_.c_str());
      setView(View::view(Screen::mainScreen().applicationFrame()).get());
    }
    viewDidLoad();
  }
  return view_.get();
}

void ViewController::setView(View* view) {
  if (view_.get() == view) return;
  if (view_ && view_->controller_ == this) view_->controller_ = nullptr;
  view_ = view;
  if (view) {
    // A view belongs to one controller.
    if (view->controller_ && view->controller_ != this) view->controller_->view_ = nullptr;
    view->controller_ = this;
  }
}

void ViewController::loadView() {
  if (!nibName_.empty()) {
    InterfaceFile::load(nibName_, this);
    if (view_) return;
  }
  setView(View::view(Screen::mainScreen().applicationFrame()).get());
}

// ---- Rotation

bool ViewController::shouldAutorotateToInterfaceOrientation(InterfaceOrientation o) {
  return o == InterfaceOrientation::Portrait;
}

InterfaceOrientation ViewController::interfaceOrientation() const {
  return Application::sharedApplication()->statusBarOrientation();
}

// ---- Items

void ViewController::setTitle(std::string title) {
  title_ = std::move(title);
  navigationItem()->setTitle(title_);
}

NavigationItem* ViewController::navigationItem() {
  if (!navigationItem_) navigationItem_ = Ref<NavigationItem>(new NavigationItem(title_));
  return navigationItem_.get();
}

void ViewController::setToolbarItems(std::vector<Ref<BarButtonItem>> items, bool animated) {
  toolbarItems_ = std::move(items);
  NavigationController* nav = navigationController();
  if (nav && nav->topViewController() == this) nav->toolbar()->setItems(toolbarItems_, animated);
}

void ViewController::setEditing(bool editing, bool) {
  editing_ = editing;
  if (editButton_) {
    editButton_->setTitle(editing ? "Done" : "Edit");
    editButton_->setStyle(editing ? BarButtonItem::Style::Done : BarButtonItem::Style::Bordered);
  }
}

BarButtonItem* ViewController::editButtonItem() {
  if (!editButton_) {
    editButton_ = BarButtonItem::withSystemItem(BarButtonItem::SystemItem::Edit);
    editButton_->setTitle(editing_ ? "Done" : "Edit");
    WeakRef<ViewController> weak(this);
    editButton_->setTarget("toggleEditing", [weak](BarButtonItem&) {
      if (Ref<ViewController> self = weak.lock()) self->setEditing(!self->isEditing(), true);
    });
  }
  return editButton_.get();
}

// ---- Containment

NavigationController* ViewController::navigationController() const {
  for (const ViewController* c = this; c; c = c->parent_) {
    if (auto* nav = dynamic_cast<NavigationController*>(const_cast<ViewController*>(c))) {
      if (nav != this) return nav;
    }
  }
  return nullptr;
}

Responder* ViewController::nextResponder() const {
  if (view_ && view_->superview()) return view_->superview();
  if (parent_) return parent_;
  return presenting_;
}

// ---- Appearance

void ViewController::beginAppearanceTransition(bool appearing, bool animated) {
  if (appearing) {
    if (appearance_ == AppearanceState::Appeared || appearance_ == AppearanceState::Appearing) return;
    appearance_ = AppearanceState::Appearing;
    ++appearanceGeneration_;
    appearingAnimated_ = animated;
    viewWillAppear(animated);
  } else {
    if (appearance_ == AppearanceState::Disappeared || appearance_ == AppearanceState::Disappearing) return;
    appearance_ = AppearanceState::Disappearing;
    ++appearanceGeneration_;
    appearingAnimated_ = animated;
    viewWillDisappear(animated);
  }
}

void ViewController::endAppearanceTransition() {
  if (appearance_ == AppearanceState::Appearing) {
    appearance_ = AppearanceState::Appeared;
    viewDidAppear(appearingAnimated_);
  } else if (appearance_ == AppearanceState::Disappearing) {
    appearance_ = AppearanceState::Disappeared;
    viewDidDisappear(appearingAnimated_);
  }
}

// ---- Modal presentation

Rect ViewController::presentationFrame(ViewController* controller, Window* window) const {
  // The application frame in the window's coordinates, within the window.
  Rect app = Screen::mainScreen().applicationFrame().offsetBy(-window->frame().x(), -window->frame().y());
  Rect area = app.intersection(window->bounds());
  if (area.isEmpty()) area = window->bounds();
  if (!Device::currentDevice().isPad()) return area;
  switch (controller->modalPresentationStyle()) {
    case ModalPresentationStyle::FormSheet: {
      double w = std::min(kFormSheetWidth, area.width());
      double h = std::min(kFormSheetHeight, area.height());
      return {area.midX() - w / 2, area.midY() - h / 2, w, h};
    }
    case ModalPresentationStyle::PageSheet: {
      double w = std::min(768.0, area.width());
      return {area.midX() - w / 2, area.y(), w, area.height()};
    }
    default:
      return area;
  }
}

namespace {

// Whether the presenter stays visible under what it presents.
bool coversPresenter(const ViewController* presented) {
  if (!Device::currentDevice().isPad()) return true;
  auto s = presented->modalPresentationStyle();
  return s == ViewController::ModalPresentationStyle::FullScreen ||
         s == ViewController::ModalPresentationStyle::CurrentContext;
}

}  // namespace

void ViewController::presentViewController(ViewController* controller, bool animated, Completion completion) {
  if (!controller) return;
  if (presented_ || controller->presenting_ || controller == this) {
    std::fprintf(stderr, "kit: refused to present a controller while a presentation is in place\n");
    return;
  }
  Ref<ViewController> keep(controller);
  Window* window = nullptr;
  if (isViewLoaded()) window = view_->window();
  if (!window) window = Application::sharedApplication()->keyWindow();

  presented_ = controller;
  controller->presenting_ = this;
  TransitionScope scope(animated);
  bool covers = coversPresenter(controller);
  std::vector<Ref<ViewController>> covered;
  if (covers && isViewLoaded()) {
    forEachController(view_.get(), [&](ViewController* c) {
      c->beginAppearanceTransition(false, animated);
      covered.emplace_back(c);
    });
  }
  View* v = controller->view();
  if (window) {
    v->setFrame(presentationFrame(controller, window));
    window->addSubview(v);
  }
  for (auto& c : covered) scope.deferEnd(c.get());
  if (completion) scope.addCompletion(std::move(completion));
}

void ViewController::dismissViewControllerAnimated(bool animated, Completion completion) {
  if (presented_) return dismissPresented(animated, std::move(completion));
  if (presenting_) {
    Ref<ViewController> presenter(presenting_);
    return presenter->dismissPresented(animated, std::move(completion));
  }
  // A child of a presented container dismisses the container.
  for (ViewController* p = parent_; p; p = p->parent_) {
    if (p->presenting_) {
      Ref<ViewController> presenter(p->presenting_);
      return presenter->dismissPresented(animated, std::move(completion));
    }
  }
}

void ViewController::dismissPresented(bool animated, Completion completion) {
  Ref<ViewController> gone = presented_;
  if (!gone) return;
  Ref<ViewController> keep(this);
  // Whatever the presented controller shows goes first, without animation.
  if (gone->presented_) gone->dismissPresented(false, {});
  TransitionScope scope(animated);
  // The one going away hears of it first, then the one uncovered.
  if (gone->isViewLoaded() && gone->view_->isOnScreen()) {
    forEachController(gone->view_.get(), [&](ViewController* c) {
      c->beginAppearanceTransition(false, animated);
      scope.deferEnd(c);
    });
  }
  bool covered = coversPresenter(gone.get());
  std::vector<Ref<ViewController>> uncovered;
  if (covered && isViewLoaded() && view_->isOnScreen()) {
    forEachController(view_.get(), [&](ViewController* c) {
      c->beginAppearanceTransition(true, animated);
      uncovered.emplace_back(c);
    });
  }
  if (gone->isViewLoaded()) gone->view_->removeFromSuperview();
  gone->presenting_ = nullptr;
  presented_ = nullptr;
  for (auto& c : uncovered) scope.deferEnd(c.get());
  if (completion) scope.addCompletion(std::move(completion));
}

}  // namespace kit
