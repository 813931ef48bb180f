#pragma once
// An object in the responder chain: views, view controllers, windows and the
// application. Touches a responder does not handle travel to its next
// responder. One responder at a time is the first responder (the one typing
// goes to); text inputs show the keyboard when they become it.

#include <vector>

#include "kit/foundation/Object.h"

namespace kit {

class Event;
class Touch;

using Touches = std::vector<Ref<Touch>>;

class Responder : public Object {
 public:
  ~Responder() override;

  virtual Responder* nextResponder() const { return nullptr; }

  virtual bool canBecomeFirstResponder() const { return false; }
  virtual bool canResignFirstResponder() const { return true; }
  // Makes this the first responder after the current one resigned; answers
  // whether it now is.
  virtual bool becomeFirstResponder();
  // Gives up first-responder status; answers false when it refuses to.
  virtual bool resignFirstResponder();
  bool isFirstResponder() const { return firstResponder() == this; }
  static Responder* firstResponder();

  // Whether the keyboard shows while this is the first responder (text inputs).
  virtual bool showsKeyboard() const { return false; }

  // Called once the object and everything around it in an interface file is
  // built and connected (see InterfaceFile).
  virtual void awakeFromNib() {}

  // Default: pass the touches to the next responder.
  virtual void touchesBegan(const Touches& touches, Event* event);
  virtual void touchesMoved(const Touches& touches, Event* event);
  virtual void touchesEnded(const Touches& touches, Event* event);
  virtual void touchesCancelled(const Touches& touches, Event* event);

  std::string className() const override { return "Responder"; }

 protected:
  // Takes first-responder status from whoever has it, even when it refuses.
  static void forceResignFirstResponder();
  // Hooks around the change of first responder.
  virtual void didBecomeFirstResponder() {}
  virtual void didResignFirstResponder() {}
};

}  // namespace kit
