#include "kit/ui/Window.h"

#include <algorithm>

#include "kit/foundation/Clock.h"
#include "kit/ui/Application.h"
#include "kit/ui/Event.h"
#include "kit/ui/Layer.h"
#include "kit/ui/Screen.h"
#include "kit/ui/ViewController.h"

namespace kit {
namespace {

// Both outlive every window: they are never destroyed.
std::vector<Window*>& registry() {
  static auto* r = new std::vector<Window*>();
  return *r;
}

Ref<Window>& alertWindowRef() {
  static auto* w = new Ref<Window>();
  return *w;
}

}  // namespace

Window::Window() : Window(Screen::mainScreen().bounds()) {}

Window::Window(Rect frame) : View(frame) {
  layer()->hidden_ = true;  // windows start hidden
  registry().push_back(this);
}

Window::~Window() {
  auto& r = registry();
  r.erase(std::remove(r.begin(), r.end(), this), r.end());
}

std::vector<Ref<Window>> Window::allWindows() {
  std::vector<Ref<Window>> out;
  for (Window* w : registry()) {
    if (w->tryRetain()) {
      out.emplace_back(w);
      w->release();
    }
  }
  return out;
}

Window* Window::alertWindow() {
  auto& w = alertWindowRef();
  if (!w) {
    w = Ref<Window>(new Window());
    w->setWindowLevel(kLevelAlert);
  }
  return w.get();
}

void Window::setWindowLevel(double level) {
  if (level == level_) return;
  level_ = level;
  notify(ViewChange::Appearance);
}

bool Window::isKeyWindow() const { return Application::sharedApplication()->keyWindow() == this; }

void Window::makeKeyWindow() { Application::sharedApplication()->setKeyWindow(this); }

void Window::makeKeyAndVisible() {
  setHidden(false);
  makeKeyWindow();
}

void Window::setHidden(bool hidden) {
  if (hidden == isHidden()) return;
  std::vector<Ref<ViewController>> controllers;
  std::function<void(View*)> collect = [&](View* v) {
    if (ViewController* c = v->viewController()) controllers.emplace_back(c);
    for (const auto& s : v->subviews()) collect(s.get());
  };
  collect(this);
  ViewController::TransitionScope* outer = ViewController::TransitionScope::current();
  ViewController::TransitionScope scope(outer ? outer->animated() : false);
  for (auto& c : controllers) c->beginAppearanceTransition(!hidden, false);
  View::setHidden(hidden);
  if (hidden && isKeyWindow()) Application::sharedApplication()->setKeyWindow(nullptr);
  for (auto& c : controllers) scope.deferEnd(c.get());
}

void Window::setRootViewController(ViewController* controller) {
  if (root_.get() == controller) return;
  Ref<ViewController> old = root_;
  root_ = controller;
  if (old && old->isViewLoaded() && old->view()->superview() == this) old->view()->removeFromSuperview();
  if (controller) {
    View* v = controller->view();
    // Screen coordinates equal this window's when it covers the screen from its origin.
    Rect app = Screen::mainScreen().applicationFrame().intersection(frame());
    v->setFrame(app.isEmpty() ? bounds() : app.offsetBy(-frame().x(), -frame().y()));
    addSubview(v);
  }
}

ViewController* Window::rotationController() const {
  if (root_) return root_.get();
  for (const auto& s : subviews()) {
    if (ViewController* c = s->viewController()) return c;
  }
  return nullptr;
}

Responder* Window::nextResponder() const { return Application::sharedApplication(); }

// ---- Touches

View* Window::touchBegin(Point p, int tapCount) {
  if (touch_) touchCancel();
  Ref<View> hit(hitTest(convertPointFromView(p, this), nullptr));
  if (!hit) return nullptr;
  touchView_ = hit;
  touch_ = Ref<Touch>(new Touch(this, hit.get(), p, tapCount));
  deliver(Touch::Phase::Began);
  return hit.get();
}

void Window::touchMove(Point p) {
  if (!touch_) return;
  touch_->update(p, Touch::Phase::Moved);
  deliver(Touch::Phase::Moved);
}

void Window::touchEnd(Point p) {
  if (!touch_) return;
  touch_->update(p, Touch::Phase::Ended);
  deliver(Touch::Phase::Ended);
}

void Window::touchEnd() {
  if (!touch_) return;
  touchEnd(touch_->locationInView(nullptr));
}

void Window::touchCancel() {
  if (!touch_) return;
  touch_->update(touch_->locationInView(nullptr), Touch::Phase::Cancelled);
  deliver(Touch::Phase::Cancelled);
}

View* Window::tap(Point p, int tapCount) {
  View* hit = touchBegin(p, tapCount);
  touchEnd(p);
  return hit;
}

void Window::deliver(Touch::Phase phase) {
  Ref<Touch> t = touch_;
  Ref<View> target = touchView_;
  Touches touches{t};
  Ref<Event> event(new Event(touches, Clock::monotonic()));
  bool last = phase == Touch::Phase::Ended || phase == Touch::Phase::Cancelled;
  if (last) {
    touch_ = nullptr;
    touchView_ = nullptr;
  }
  if (!target) return;
  switch (phase) {
    case Touch::Phase::Began:
      target->touchesBegan(touches, event.get());
      break;
    case Touch::Phase::Moved:
    case Touch::Phase::Stationary:
      target->touchesMoved(touches, event.get());
      break;
    case Touch::Phase::Ended:
      target->touchesEnded(touches, event.get());
      break;
    case Touch::Phase::Cancelled:
      target->touchesCancelled(touches, event.get());
      break;
  }
}

}  // namespace kit
