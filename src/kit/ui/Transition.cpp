#include "kit/ui/Transition.h"

namespace kit {

Ref<Transition> Transition::transition(Type type, Subtype subtype) {
  Ref<Transition> t(new Transition());
  t->setKeyPath("transition");
  t->type_ = type;
  t->subtype_ = subtype;
  return t;
}

}  // namespace kit
