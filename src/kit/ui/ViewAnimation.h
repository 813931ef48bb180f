#pragma once
// Animated changes to views: named begin/commit blocks and block animations.
//
// Headless, every change made inside an animation takes effect at once; the
// did-stop callback or completion runs after the animation's delay plus
// duration on kit's clock (a delayed call on the main run loop), so tests see
// it by advancing the virtual clock. While an animation is open, current()
// tells a backend (through the ViewObserver) how to animate the changes it is
// told about. Committed animations are also kept in a short history for tests.
// Main thread only.

#include <functional>
#include <string>
#include <vector>

#include "kit/foundation/Object.h"

namespace kit {

class View;

enum class AnimationCurve { EaseInOut = 0, EaseIn = 1, EaseOut = 2, Linear = 3 };

class ViewAnimation {
 public:
  // Option bits of the block animations (the platform's values).
  enum Options : unsigned {
    LayoutSubviews = 1u << 0,
    AllowUserInteraction = 1u << 1,
    BeginFromCurrentState = 1u << 2,
    Repeat = 1u << 3,
    Autoreverse = 1u << 4,
    CurveEaseInOut = 0u << 16,
    CurveEaseIn = 1u << 16,
    CurveEaseOut = 2u << 16,
    CurveLinear = 3u << 16,
    TransitionNone = 0u << 20,
    TransitionFlipFromLeft = 1u << 20,
    TransitionFlipFromRight = 2u << 20,
    TransitionCurlUp = 3u << 20,
    TransitionCurlDown = 4u << 20,
    TransitionCrossDissolve = 5u << 20,
    TransitionFlipFromTop = 6u << 20,
    TransitionFlipFromBottom = 7u << 20,
  };
  static constexpr double kDefaultDuration = 0.2;

  using DidStop = std::function<void(const std::string& name, bool finished, Object* context)>;
  using WillStart = std::function<void(const std::string& name, Object* context)>;
  using Completion = std::function<void(bool finished)>;

  struct Record {
    std::string name;
    Ref<Object> context;
    double duration = kDefaultDuration;
    double delay = 0;
    AnimationCurve curve = AnimationCurve::EaseInOut;
    bool beginsFromCurrentState = false;
    double repeatCount = 0;
    unsigned options = 0;
    bool block = false;       // a block animation rather than begin/commit
    View* transitionView = nullptr;  // identity only; not kept alive
    unsigned transition = 0;  // the Transition* option bits
    DidStop didStop;
    WillStart willStart;
  };

  // ---- Begin/commit
  static void beginAnimations(std::string name, Ref<Object> context = nullptr);
  // Each setter applies to the innermost open block; outside one it does nothing.
  static void setAnimationDuration(double seconds);
  static void setAnimationDelay(double seconds);
  static void setAnimationCurve(AnimationCurve curve);
  static void setAnimationBeginsFromCurrentState(bool b);
  static void setAnimationRepeatCount(double n);
  static void setAnimationTransition(unsigned transitionOption, View* view);
  static void setAnimationWillStartCallback(WillStart fn);
  static void setAnimationDidStopCallback(DidStop fn);
  // Closes the innermost block; its did-stop runs after delay + duration. An
  // unbalanced commit does nothing.
  static void commitAnimations();

  // ---- Blocks
  static void animate(double duration, const std::function<void()>& animations, Completion completion = {});
  static void animate(double duration, double delay, unsigned options, const std::function<void()>& animations,
                      Completion completion = {});
  // A transition of one view's content (cross-dissolve, flip, ...).
  static void transition(View* view, double duration, unsigned options, const std::function<void()>& animations,
                         Completion completion = {});
  // Replaces `from` by `to` in from's superview, at from's place in the order.
  static void transitionFromView(View* from, View* to, double duration, unsigned options,
                                 Completion completion = {});

  // With animations off, changes still apply and callbacks still come, after no delay.
  static bool areAnimationsEnabled();
  static void setAnimationsEnabled(bool enabled);
  static void performWithoutAnimation(const std::function<void()>& changes);

  // The innermost open animation, or null.
  static const Record* current();
  static bool isAnimating() { return current() != nullptr; }
  // The last committed animations (oldest first; at most 64 kept).
  static std::vector<Record> history();
  static void clearHistory();
  // Every committed animation whose callbacks have not run yet.
  static size_t pendingCount();
};

}  // namespace kit
