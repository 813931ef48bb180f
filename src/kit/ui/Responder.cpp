#include "kit/ui/Responder.h"

#include "kit/ui/Keyboard.h"

namespace kit {
namespace {

Responder* gFirstResponder = nullptr;
// The responder taking over while the current one resigns (the keyboard stays
// up between two text inputs).
Responder* gIncoming = nullptr;

void updateKeyboard() {
  bool want = gFirstResponder && gFirstResponder->showsKeyboard();
  if (want) {
    Keyboard::show();
  } else {
    Keyboard::hide();
  }
}

}  // namespace

Responder::~Responder() {
  if (gFirstResponder == this) {
    gFirstResponder = nullptr;
    Keyboard::hide();
  }
}

Responder* Responder::firstResponder() { return gFirstResponder; }

bool Responder::becomeFirstResponder() {
  if (gFirstResponder == this) return true;
  if (!canBecomeFirstResponder()) return false;
  if (gFirstResponder) {
    Responder* previousIncoming = gIncoming;
    gIncoming = this;
    bool resigned = gFirstResponder->resignFirstResponder();
    gIncoming = previousIncoming;
    if (!resigned) return false;
  }
  gFirstResponder = this;
  didBecomeFirstResponder();
  if (gFirstResponder == this) updateKeyboard();
  return true;
}

bool Responder::resignFirstResponder() {
  if (gFirstResponder != this) return true;
  if (!canResignFirstResponder()) return false;
  gFirstResponder = nullptr;
  didResignFirstResponder();
  if (!gIncoming) updateKeyboard();
  return true;
}

void Responder::forceResignFirstResponder() {
  Responder* r = gFirstResponder;
  if (!r) return;
  gFirstResponder = nullptr;
  r->didResignFirstResponder();
  updateKeyboard();
}

void Responder::touchesBegan(const Touches& touches, Event* event) {
  if (Responder* n = nextResponder()) n->touchesBegan(touches, event);
}

void Responder::touchesMoved(const Touches& touches, Event* event) {
  if (Responder* n = nextResponder()) n->touchesMoved(touches, event);
}

void Responder::touchesEnded(const Touches& touches, Event* event) {
  if (Responder* n = nextResponder()) n->touchesEnded(touches, event);
}

void Responder::touchesCancelled(const Touches& touches, Event* event) {
  if (Responder* n = nextResponder()) n->touchesCancelled(touches, event);
}

}  // namespace kit
