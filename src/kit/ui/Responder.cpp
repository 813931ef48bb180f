#include "kit/ui/Responder.h"

#include "kit/ui/Keyboard.h"

namespace kit {
namespace {

Responder* gFirstResponder = nullptr;

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
  if (gFirstResponder && !gFirstResponder->resignFirstResponder()) return false;
  gFirstResponder = this;
  didBecomeFirstResponder();
  return true;
}

bool Responder::resignFirstResponder() {
  if (gFirstResponder != this) return true;
  if (!canResignFirstResponder()) return false;
  gFirstResponder = nullptr;
  didResignFirstResponder();
  return true;
}

void Responder::forceResignFirstResponder() {
  Responder* r = gFirstResponder;
  if (!r) return;
  gFirstResponder = nullptr;
  r->didResignFirstResponder();
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
