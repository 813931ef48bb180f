#pragma once
// A top-level view on the screen. Windows start hidden; the key window is
// the one that receives typing (one at a time). A window may have a root
// view controller, whose view it sizes to the application frame and shows.
// Windows stack by level (normal, status bar, alert).
//
// Tests (and a backend) deliver one finger at a time with touchBegin /
// touchMove / touchEnd / touchCancel, or tap(): the touch goes to the view
// hit at the point, whose touches methods pass it up the responder chain.

#include <vector>

#include "kit/ui/Touch.h"
#include "kit/ui/View.h"

namespace kit {

class ViewController;

class Window : public View {
 public:
  static constexpr double kLevelNormal = 0;
  static constexpr double kLevelStatusBar = 1000;
  static constexpr double kLevelAlert = 2000;

  // Default frame: the screen's bounds.
  Window();
  explicit Window(Rect frame);
  ~Window() override;
  static Ref<Window> window(Rect frame) { return Ref<Window>(new Window(frame)); }

  // Every window alive, in creation order.
  static std::vector<Ref<Window>> allWindows();
  // The window that alerts and action sheets are shown in (made on first use,
  // at alert level, visible only while it holds something).
  static Window* alertWindow();

  double windowLevel() const noexcept { return level_; }
  void setWindowLevel(double level);

  bool isKeyWindow() const;
  void makeKeyWindow();
  void makeKeyAndVisible();
  virtual void becomeKeyWindow() {}
  virtual void resignKeyWindow() {}

  ViewController* rootViewController() const noexcept { return root_.get(); }
  void setRootViewController(ViewController* controller);
  // The controller asked about rotation: the root controller, else the
  // controller of the first subview that has one.
  ViewController* rotationController() const;

  void setHidden(bool hidden) override;

  // ---- Touch delivery (window coordinates)
  // Answers the view that got the touch (null when nothing was hit).
  View* touchBegin(Point p, int tapCount = 1);
  void touchMove(Point p);
  void touchEnd(Point p);
  void touchEnd();
  void touchCancel();
  // touchBegin + touchEnd at one point.
  View* tap(Point p, int tapCount = 1);
  Touch* activeTouch() const noexcept { return touch_.get(); }

  Responder* nextResponder() const override;
  std::string className() const override { return "Window"; }

 protected:
  bool isWindow() const override { return true; }

 private:
  void deliver(Touch::Phase phase);

  double level_ = kLevelNormal;
  Ref<ViewController> root_;
  Ref<Touch> touch_;
  Ref<View> touchView_;
};

}  // namespace kit
