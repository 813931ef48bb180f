#include "kit/foundation/Null.h"

namespace kit {

Null* Null::null() {
  static Null* n = [] {
    auto* p = new Null();
    p->retain();  // never freed
    return p;
  }();
  return n;
}

}  // namespace kit
