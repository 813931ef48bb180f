#pragma once
// A view that turns touches into control events and sends actions.
//
// Actions are functions kept under an action name: adding a name again adds
// events to it and replaces its function; removing a name (for some events)
// takes it off those events. Actions for one event run in the order their
// names were first added.
//
// Touch tracking (the platform's): touch down highlights and sends TouchDown
// (and TouchDownRepeat for a second tap); moving sends TouchDragInside /
// TouchDragOutside (and Enter/Exit when crossing the edge); lifting inside
// sends TouchUpInside, outside TouchUpOutside; a cancelled touch sends
// TouchCancel. A disabled control ignores touches. tap(), touchDown(),
// touchUpInside(), touchUpOutside() and touchCancel() act out a user's touch
// through the touch methods, so subclasses that override them see it.
//
// tap() goes where a finger goes: it hit-tests the control's centre from its
// window (or, outside a window, from its topmost superview) and throws
// IllegalStateException, naming what is wrong, when the control is hidden,
// disabled, outside a superview or covered by another view there.

#include <functional>
#include <string>
#include <vector>

#include "kit/ui/Touch.h"
#include "kit/ui/View.h"

namespace kit {

class Control : public View {
 public:
  enum State : unsigned { Normal = 0, Highlighted = 1, Disabled = 2, Selected = 4 };
  enum Events : unsigned {
    TouchDown = 1u << 0,
    TouchDownRepeat = 1u << 1,
    TouchDragInside = 1u << 2,
    TouchDragOutside = 1u << 3,
    TouchDragEnter = 1u << 4,
    TouchDragExit = 1u << 5,
    TouchUpInside = 1u << 6,
    TouchUpOutside = 1u << 7,
    TouchCancel = 1u << 8,
    ValueChanged = 1u << 12,
    EditingDidBegin = 1u << 16,
    EditingChanged = 1u << 17,
    EditingDidEnd = 1u << 18,
    EditingDidEndOnExit = 1u << 19,
    AllTouchEvents = 0xFFFu,
    AllEditingEvents = 0xF0000u,
    AllEvents = 0xFFFFFFFFu,
  };
  enum class ContentHorizontalAlignment { Center = 0, Left = 1, Right = 2, Fill = 3 };
  enum class ContentVerticalAlignment { Center = 0, Top = 1, Bottom = 2, Fill = 3 };
  using Action = std::function<void(Control& sender)>;

  explicit Control(Rect frame = {});

  bool isEnabled() const noexcept { return enabled_; }
  virtual void setEnabled(bool enabled);
  bool isSelected() const noexcept { return selected_; }
  virtual void setSelected(bool selected);
  bool isHighlighted() const noexcept { return highlighted_; }
  virtual void setHighlighted(bool highlighted);
  // Normal, or the Highlighted/Disabled/Selected bits that apply.
  unsigned state() const;
  bool isTracking() const noexcept { return tracking_; }
  bool isTouchInside() const noexcept { return touchInside_; }
  ContentHorizontalAlignment contentHorizontalAlignment() const noexcept { return hAlign_; }
  void setContentHorizontalAlignment(ContentHorizontalAlignment a);
  ContentVerticalAlignment contentVerticalAlignment() const noexcept { return vAlign_; }
  void setContentVerticalAlignment(ContentVerticalAlignment a);

  // ---- Actions
  void addTarget(std::string actionName, unsigned events, Action action);
  // An empty name stands for every action.
  void removeTarget(const std::string& actionName, unsigned events = AllEvents);
  std::vector<std::string> actionsForControlEvent(unsigned event) const;
  unsigned allControlEvents() const;
  // Runs the actions of every event in `events`.
  virtual void sendActionsForControlEvents(unsigned events);

  // ---- Tracking (override to customise)
  virtual bool beginTracking(Touch& touch, Event* event);
  virtual bool continueTracking(Touch& touch, Event* event);
  virtual void endTracking(Touch& touch, Event* event);
  virtual void cancelTracking(Event* event);
  void touchesBegan(const Touches& touches, Event* event) override;
  void touchesMoved(const Touches& touches, Event* event) override;
  void touchesEnded(const Touches& touches, Event* event) override;
  void touchesCancelled(const Touches& touches, Event* event) override;

  // ---- A user's touch, acted out
  // A finger's tap at the centre (throws when a finger could not reach it).
  void tap();
  // Why a finger at the centre would not reach this control (empty: it would).
  std::string whyUntappable();
  // Whether the control shows anything a person could find (a plain control
  // always does; a button without image, title or background does not).
  virtual bool drawsSomething() const { return true; }
  void touchDown();
  void touchUpInside();
  void touchUpOutside();
  void touchCancel();

  std::string className() const override { return "Control"; }

 protected:
  // The extent that counts as inside while tracking (the bounds grown by a margin).
  virtual bool isInsideForTracking(Point p) const;

 private:
  struct Target {
    std::string name;
    unsigned events;
    Action action;
  };
  Ref<Touch> makeTouch(Point local, int tapCount);

  bool enabled_ = true;
  bool selected_ = false;
  bool highlighted_ = false;
  bool tracking_ = false;
  bool touchInside_ = false;
  ContentHorizontalAlignment hAlign_ = ContentHorizontalAlignment::Center;
  ContentVerticalAlignment vAlign_ = ContentVerticalAlignment::Center;
  std::vector<Target> targets_;
  Ref<Touch> simulated_;
};

}  // namespace kit
