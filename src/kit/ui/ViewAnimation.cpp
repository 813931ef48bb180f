#include "kit/ui/ViewAnimation.h"

#include <deque>

#include "kit/foundation/RunLoop.h"
#include "kit/ui/View.h"

namespace kit {
namespace {

std::vector<ViewAnimation::Record>& stack() {
  static std::vector<ViewAnimation::Record> s;
  return s;
}

std::deque<ViewAnimation::Record>& log() {
  static std::deque<ViewAnimation::Record> l;
  return l;
}

bool gEnabled = true;
size_t gPending = 0;
const int gTarget = 0;

void remember(const ViewAnimation::Record& r) {
  log().push_back(r);
  if (log().size() > 64) log().pop_front();
}

void finishLater(const ViewAnimation::Record& r, std::function<void()> fn) {
  double wait = gEnabled ? r.delay + r.duration * (r.repeatCount > 1 ? r.repeatCount : 1) : 0;
  if (wait < 0 || wait != wait) wait = 0;
  ++gPending;
  RunLoop::main().performAfterDelay(&gTarget, "animation", nullptr, wait,
                                    [fn = std::move(fn)] {
                                      --gPending;
                                      fn();
                                    },
                                    {RunLoop::kCommonModes});
}

AnimationCurve curveOf(unsigned options) {
  switch ((options >> 16) & 0xF) {
    case 1:
      return AnimationCurve::EaseIn;
    case 2:
      return AnimationCurve::EaseOut;
    case 3:
      return AnimationCurve::Linear;
    default:
      return AnimationCurve::EaseInOut;
  }
}

ViewAnimation::Record blockRecord(double duration, double delay, unsigned options) {
  ViewAnimation::Record r;
  r.name = "";
  r.block = true;
  r.duration = duration;
  r.delay = delay;
  r.options = options;
  r.curve = curveOf(options);
  r.beginsFromCurrentState = options & ViewAnimation::BeginFromCurrentState;
  r.transition = options & (0xFu << 20);
  return r;
}

void runBlock(ViewAnimation::Record r, const std::function<void()>& animations, ViewAnimation::Completion completion) {
  stack().push_back(r);
  struct Pop {
    ~Pop() { stack().pop_back(); }
  } pop;
  if (animations) animations();
  remember(stack().back());
  finishLater(stack().back(), [completion = std::move(completion)] {
    if (completion) completion(true);
  });
}

}  // namespace

void ViewAnimation::beginAnimations(std::string name, Ref<Object> context) {
  Record r;
  r.name = std::move(name);
  r.context = std::move(context);
  stack().push_back(std::move(r));
}

void ViewAnimation::setAnimationDuration(double seconds) {
  if (!stack().empty()) stack().back().duration = seconds;
}

void ViewAnimation::setAnimationDelay(double seconds) {
  if (!stack().empty()) stack().back().delay = seconds;
}

void ViewAnimation::setAnimationCurve(AnimationCurve curve) {
  if (!stack().empty()) stack().back().curve = curve;
}

void ViewAnimation::setAnimationBeginsFromCurrentState(bool b) {
  if (!stack().empty()) stack().back().beginsFromCurrentState = b;
}

void ViewAnimation::setAnimationRepeatCount(double n) {
  if (!stack().empty()) stack().back().repeatCount = n;
}

void ViewAnimation::setAnimationTransition(unsigned transitionOption, View* view) {
  if (stack().empty()) return;
  stack().back().transition = transitionOption;
  stack().back().transitionView = view;
}

void ViewAnimation::setAnimationWillStartCallback(WillStart fn) {
  if (!stack().empty()) stack().back().willStart = std::move(fn);
}

void ViewAnimation::setAnimationDidStopCallback(DidStop fn) {
  if (!stack().empty()) stack().back().didStop = std::move(fn);
}

void ViewAnimation::commitAnimations() {
  if (stack().empty()) return;
  Record r = std::move(stack().back());
  stack().pop_back();
  remember(r);
  if (r.willStart) r.willStart(r.name, r.context.get());
  finishLater(r, [r] {
    if (r.didStop) r.didStop(r.name, true, r.context.get());
  });
}

void ViewAnimation::animate(double duration, const std::function<void()>& animations, Completion completion) {
  animate(duration, 0, 0, animations, std::move(completion));
}

void ViewAnimation::animate(double duration, double delay, unsigned options, const std::function<void()>& animations,
                            Completion completion) {
  runBlock(blockRecord(duration, delay, options), animations, std::move(completion));
}

void ViewAnimation::transition(View* view, double duration, unsigned options, const std::function<void()>& animations,
                               Completion completion) {
  Record r = blockRecord(duration, 0, options);
  r.transitionView = view;
  runBlock(r, animations, std::move(completion));
}

void ViewAnimation::transitionFromView(View* from, View* to, double duration, unsigned options,
                                       Completion completion) {
  Record r = blockRecord(duration, 0, options);
  r.transitionView = from ? from->superview() : nullptr;
  runBlock(r,
           [from, to] {
             if (!from || !to || from == to) return;
             View* parent = from->superview();
             if (!parent) return;
             Ref<View> keepFrom(from);
             parent->insertSubviewAbove(to, from);
             from->removeFromSuperview();
           },
           std::move(completion));
}

bool ViewAnimation::areAnimationsEnabled() { return gEnabled; }

void ViewAnimation::setAnimationsEnabled(bool enabled) { gEnabled = enabled; }

void ViewAnimation::performWithoutAnimation(const std::function<void()>& changes) {
  bool was = gEnabled;
  gEnabled = false;
  struct Restore {
    bool was;
    ~Restore() { gEnabled = was; }
  } restore{was};
  // Hide any open animation from observers while the changes are made.
  auto saved = std::move(stack());
  stack().clear();
  struct Back {
    std::vector<ViewAnimation::Record>& target;
    std::vector<ViewAnimation::Record> saved;
    ~Back() { target = std::move(saved); }
  } back{stack(), std::move(saved)};
  if (changes) changes();
}

const ViewAnimation::Record* ViewAnimation::current() {
  if (stack().empty() || !gEnabled) return nullptr;
  return &stack().back();
}

std::vector<ViewAnimation::Record> ViewAnimation::history() { return {log().begin(), log().end()}; }

void ViewAnimation::clearHistory() { log().clear(); }

size_t ViewAnimation::pendingCount() { return gPending; }

}  // namespace kit
