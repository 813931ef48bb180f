#include "kit/ui/Application.h"

#include "kit/foundation/NotificationCenter.h"
#include "kit/foundation/Number.h"
#include "kit/ui/ApplicationDelegate.h"
#include "kit/ui/HeadlessURLOpener.h"
#include "kit/ui/Screen.h"
#include "kit/ui/ViewController.h"
#include "kit/ui/Window.h"

namespace kit {
namespace {

void post(const char* name, Object* sender, Ref<Dictionary> info = nullptr) {
  NotificationCenter::defaultCenter().postNotification(name, sender, std::move(info));
}

}  // namespace

Application::Application() : headlessOpener_(new HeadlessURLOpener()) {}

Application* Application::sharedApplication() {
  static Application* app = [] {
    auto* a = new Application();
    a->retain();  // lives for the process
    return a;
  }();
  return app;
}

void Application::reset() {
  delegate_ = nullptr;
  state_ = State::Active;
  statusBarOrientation_ = InterfaceOrientation::Portrait;
  statusBarHidden_ = false;
  statusBarStyle_ = StatusBarStyle::Default;
  networkActivity_ = false;
  idleTimerDisabled_ = false;
  vibrations_ = 0;
  headlessOpener_.reset(new HeadlessURLOpener());
  opener_ = nullptr;
  keyWindow_ = nullptr;
}

void Application::vibrate() {
  ++vibrations_;
  if (vibrator_) vibrator_();
}

// ---- Life cycle

bool Application::launch(Ref<Dictionary> options) {
  bool ok = true;
  state_ = State::Inactive;
  if (delegate_) ok = delegate_->didFinishLaunchingWithOptions(*this, options.get());
  post(kDidFinishLaunchingNotification, this, options);
  becomeActive();
  return ok;
}

bool Application::openURL(URL* url, const std::string& sourceApplication, Object* annotation) {
  if (!delegate_) return false;
  return delegate_->openURL(*this, url, sourceApplication, annotation);
}

void Application::resignActive() {
  if (state_ != State::Active) return;
  if (delegate_) delegate_->willResignActive(*this);
  state_ = State::Inactive;
  post(kWillResignActiveNotification, this);
}

void Application::becomeActive() {
  if (state_ == State::Active) return;
  state_ = State::Active;
  if (delegate_) delegate_->didBecomeActive(*this);
  post(kDidBecomeActiveNotification, this);
}

void Application::enterBackground() {
  if (state_ == State::Background) return;
  resignActive();
  state_ = State::Background;
  if (delegate_) delegate_->didEnterBackground(*this);
  post(kDidEnterBackgroundNotification, this);
}

void Application::enterForeground() {
  if (state_ != State::Background) return;
  if (delegate_) delegate_->willEnterForeground(*this);
  state_ = State::Inactive;
  post(kWillEnterForegroundNotification, this);
}

void Application::terminate() {
  if (delegate_) delegate_->willTerminate(*this);
  post(kWillTerminateNotification, this);
}

void Application::receiveMemoryWarning() {
  if (delegate_) delegate_->didReceiveMemoryWarning(*this);
  for (auto& c : ViewController::liveControllers()) c->didReceiveMemoryWarning();
  post(kDidReceiveMemoryWarningNotification, this);
}

// ---- URLs for other programs

HeadlessURLOpener& Application::headlessURLOpener() { return *headlessOpener_; }

void Application::setURLOpener(URLOpener* opener) { opener_ = opener; }

bool Application::canOpenURL(const URL* url) {
  if (!url) return false;
  URLOpener* o = opener_ ? opener_ : headlessOpener_.get();
  return o->canOpenURL(*url);
}

bool Application::openURLInSystem(const URL* url) {
  if (!url) return false;
  URLOpener* o = opener_ ? opener_ : headlessOpener_.get();
  return o->openURL(*url);
}

// ---- Windows

Window* Application::keyWindow() const { return keyWindow_.lock().get(); }

void Application::setKeyWindow(Window* w) {
  Ref<Window> old = keyWindow_.lock();
  if (old.get() == w) return;
  keyWindow_ = w;
  if (old) {
    old->resignKeyWindow();
    old->notify(ViewChange::KeyWindow);
  }
  if (w) {
    w->becomeKeyWindow();
    w->notify(ViewChange::KeyWindow);
  }
}

std::vector<Ref<Window>> Application::windows() const { return Window::allWindows(); }

bool Application::rotateInterfaceTo(InterfaceOrientation o) {
  if (!isValidInterfaceOrientation(static_cast<long>(o))) return false;
  Window* w = keyWindow();
  ViewController* c = w ? w->rotationController() : nullptr;
  if (!c) return false;
  Ref<ViewController> keep(c);
  if (o == statusBarOrientation_) return true;
  if (!c->shouldAutorotateToInterfaceOrientation(o)) return false;
  InterfaceOrientation from = statusBarOrientation_;
  const double duration = 0.3;
  c->willRotateToInterfaceOrientation(o, duration);
  setStatusBarOrientation(o, true);
  c->willAnimateRotationToInterfaceOrientation(o, duration);
  c->didRotateFromInterfaceOrientation(from);
  return true;
}

// ---- Status bar

void Application::setStatusBarOrientation(InterfaceOrientation o, bool) {
  if (o == statusBarOrientation_ || !isValidInterfaceOrientation(static_cast<long>(o))) return;
  InterfaceOrientation old = statusBarOrientation_;
  auto willInfo = MutableDictionary::dictionary();
  willInfo->setObject(Number::numberWithInteger(static_cast<long>(o)), kStatusBarOrientationUserInfoKey);
  post(kWillChangeStatusBarOrientationNotification, this, willInfo);
  statusBarOrientation_ = o;
  auto didInfo = MutableDictionary::dictionary();
  didInfo->setObject(Number::numberWithInteger(static_cast<long>(old)), kStatusBarOrientationUserInfoKey);
  post(kDidChangeStatusBarOrientationNotification, this, didInfo);
}

void Application::setStatusBarHidden(bool hidden, bool) { statusBarHidden_ = hidden; }

Rect Application::statusBarFrame() const {
  if (statusBarHidden_) return {};
  Rect b = Screen::mainScreen().bounds();
  const double h = Screen::kStatusBarHeight;
  switch (statusBarOrientation_) {
    case InterfaceOrientation::Portrait:
      return {b.x(), b.y(), b.width(), h};
    case InterfaceOrientation::PortraitUpsideDown:
      return {b.x(), b.maxY() - h, b.width(), h};
    case InterfaceOrientation::LandscapeLeft:
      return {b.maxX() - h, b.y(), h, b.height()};
    case InterfaceOrientation::LandscapeRight:
      return {b.x(), b.y(), h, b.height()};
  }
  return {};
}

}  // namespace kit
