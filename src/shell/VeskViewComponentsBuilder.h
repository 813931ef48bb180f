#pragma once
// The page view's interface files, "VeskViewComponents" (tablet) and
// "VeskViewComponents~iphone" (phone): one top-level VeskWebView with its
// fields, bars and buttons, every outlet and action connected.

#include "kit/ui/InterfaceFile.h"

namespace tolva {

class VeskViewComponentsBuilder {
 public:
  static void build(kit::InterfaceFile::Context& context, bool pad);
};

}  // namespace tolva
