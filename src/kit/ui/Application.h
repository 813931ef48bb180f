#pragma once
// The application object: its life cycle, windows, status bar and the
// hand-over of URLs to other programs.
//
// The life-cycle calls below are what the backend (or a test) calls when the
// system tells the program something; each tells the delegate first and then
// posts its notification:
//   launch(options)      didFinishLaunchingWithOptions, kDidFinishLaunchingNotification, then becomeActive()
//   openURL(url, ...)    the delegate's openURL (→ handleOpenURL)
//   resignActive()       willResignActive, kWillResignActiveNotification
//   becomeActive()       didBecomeActive, kDidBecomeActiveNotification
//   enterBackground()    (resigns active first) didEnterBackground, kDidEnterBackgroundNotification
//   enterForeground()    willEnterForeground, kWillEnterForegroundNotification (then call becomeActive)
//   terminate()          willTerminate, kWillTerminateNotification
//   receiveMemoryWarning()  didReceiveMemoryWarning, every live controller's
//                        didReceiveMemoryWarning, kDidReceiveMemoryWarningNotification
// A launch URL is left to didFinishLaunchingWithOptions (openURL is not called
// for it as well, so the URL is handled once).
// Main thread only.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "kit/foundation/Dictionary.h"
#include "kit/foundation/URL.h"
#include "kit/ui/Geometry.h"
#include "kit/ui/InterfaceOrientation.h"
#include "kit/ui/Responder.h"

namespace kit {

class ApplicationDelegate;
class HeadlessURLOpener;
class URLOpener;
class Window;

class Application : public Responder {
 public:
  enum class State { Active = 0, Inactive = 1, Background = 2 };
  enum class StatusBarStyle { Default = 0, BlackTranslucent = 1, BlackOpaque = 2 };

  // ---- Notifications
  static constexpr const char* kDidFinishLaunchingNotification = "ApplicationDidFinishLaunchingNotification";
  static constexpr const char* kDidBecomeActiveNotification = "ApplicationDidBecomeActiveNotification";
  static constexpr const char* kWillResignActiveNotification = "ApplicationWillResignActiveNotification";
  static constexpr const char* kDidEnterBackgroundNotification = "ApplicationDidEnterBackgroundNotification";
  static constexpr const char* kWillEnterForegroundNotification = "ApplicationWillEnterForegroundNotification";
  static constexpr const char* kWillTerminateNotification = "ApplicationWillTerminateNotification";
  static constexpr const char* kDidReceiveMemoryWarningNotification =
      "ApplicationDidReceiveMemoryWarningNotification";
  static constexpr const char* kWillChangeStatusBarOrientationNotification =
      "ApplicationWillChangeStatusBarOrientationNotification";
  static constexpr const char* kDidChangeStatusBarOrientationNotification =
      "ApplicationDidChangeStatusBarOrientationNotification";
  // User info of the two orientation notifications: the new (will) or old (did) orientation.
  static constexpr const char* kStatusBarOrientationUserInfoKey = "ApplicationStatusBarOrientationUserInfoKey";
  static constexpr const char* kKeyboardWillShowNotification = "KeyboardWillShowNotification";
  static constexpr const char* kKeyboardDidShowNotification = "KeyboardDidShowNotification";
  static constexpr const char* kKeyboardWillHideNotification = "KeyboardWillHideNotification";
  static constexpr const char* kKeyboardDidHideNotification = "KeyboardDidHideNotification";
  // User info of the keyboard notifications: frames (GeometryValue, screen
  // coordinates), duration (seconds) and curve (0: ease in and out).
  static constexpr const char* kKeyboardFrameBeginUserInfoKey = "KeyboardFrameBeginUserInfoKey";
  static constexpr const char* kKeyboardFrameEndUserInfoKey = "KeyboardFrameEndUserInfoKey";
  static constexpr const char* kKeyboardAnimationDurationUserInfoKey = "KeyboardAnimationDurationUserInfoKey";
  static constexpr const char* kKeyboardAnimationCurveUserInfoKey = "KeyboardAnimationCurveUserInfoKey";
  // Launch options.
  static constexpr const char* kLaunchOptionsURLKey = "ApplicationLaunchOptionsURLKey";
  static constexpr const char* kLaunchOptionsSourceApplicationKey = "ApplicationLaunchOptionsSourceApplicationKey";

  static Application* sharedApplication();

  // ---- Delegate (not owned)
  ApplicationDelegate* delegate() const noexcept { return delegate_; }
  void setDelegate(ApplicationDelegate* d) { delegate_ = d; }

  // ---- Life cycle
  State applicationState() const noexcept { return state_; }
  bool launch(Ref<Dictionary> options = nullptr);
  bool openURL(URL* url, const std::string& sourceApplication = {}, Object* annotation = nullptr);
  void resignActive();
  void becomeActive();
  void enterBackground();
  void enterForeground();
  void terminate();
  void receiveMemoryWarning();

  // ---- Handing URLs to other programs
  bool canOpenURL(const URL* url);
  // Answers whether another program took the URL (a null URL: NO).
  bool openURLInSystem(const URL* url);
  // Replaces the opener (null restores the headless one). Not owned.
  void setURLOpener(URLOpener* opener);
  // The built-in recording opener (what tests inspect).
  HeadlessURLOpener& headlessURLOpener();

  // ---- Vibration (the display's bell on a desktop)
  // Vibrates the device once: the backend's vibrator when one is installed;
  // every call is counted, so that tests can see it.
  void vibrate();
  size_t vibrationCount() const noexcept { return vibrations_; }
  // The backend's vibrator (null: none, the call is only counted).
  void setVibrator(std::function<void()> vibrator) { vibrator_ = std::move(vibrator); }

  // ---- Windows
  Window* keyWindow() const;
  std::vector<Ref<Window>> windows() const;
  // Asks the key window's rotation controller whether it turns to `o`; when it
  // does, the status bar turns and the controller hears will/did rotate.
  // Answers whether the interface turned.
  bool rotateInterfaceTo(InterfaceOrientation o);

  // ---- Status bar
  InterfaceOrientation statusBarOrientation() const noexcept { return statusBarOrientation_; }
  void setStatusBarOrientation(InterfaceOrientation o) { setStatusBarOrientation(o, false); }
  // Posts the will/did change notifications when the orientation changes.
  void setStatusBarOrientation(InterfaceOrientation o, bool animated);
  bool isStatusBarHidden() const noexcept { return statusBarHidden_; }
  void setStatusBarHidden(bool hidden, bool animated = false);
  StatusBarStyle statusBarStyle() const noexcept { return statusBarStyle_; }
  void setStatusBarStyle(StatusBarStyle s) { statusBarStyle_ = s; }
  // In screen coordinates; zero while hidden.
  Rect statusBarFrame() const;
  bool isNetworkActivityIndicatorVisible() const noexcept { return networkActivity_; }
  // Tells the backend's observer of a change (the desktop shows a busy cursor).
  void setNetworkActivityIndicatorVisible(bool v) {
    if (networkActivity_ == v) return;
    networkActivity_ = v;
    if (networkActivityObserver_) networkActivityObserver_(v);
  }
  // The backend's way of showing the indicator (null: none, only the flag changes).
  void setNetworkActivityIndicatorObserver(std::function<void(bool visible)> observer) {
    networkActivityObserver_ = std::move(observer);
  }
  bool isIdleTimerDisabled() const noexcept { return idleTimerDisabled_; }
  void setIdleTimerDisabled(bool d) { idleTimerDisabled_ = d; }

  // Back to a fresh application (tests): no delegate, active state, portrait,
  // status bar shown, the headless opener emptied and in use, no vibration
  // counted (the backend's vibrator stays).
  void reset();

  std::string className() const override { return "Application"; }

 private:
  Application();
  friend class Window;
  void setKeyWindow(Window* w);

  ApplicationDelegate* delegate_ = nullptr;
  State state_ = State::Inactive;
  InterfaceOrientation statusBarOrientation_ = InterfaceOrientation::Portrait;
  bool statusBarHidden_ = false;
  StatusBarStyle statusBarStyle_ = StatusBarStyle::Default;
  bool networkActivity_ = false;
  bool idleTimerDisabled_ = false;
  size_t vibrations_ = 0;
  std::function<void()> vibrator_;
  std::function<void(bool)> networkActivityObserver_;
  std::unique_ptr<HeadlessURLOpener> headlessOpener_;
  URLOpener* opener_ = nullptr;
  WeakRef<Window> keyWindow_;
};

}  // namespace kit
