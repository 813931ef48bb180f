#pragma once
// The tab item's interface files, "VeskTabItemView" (tablet) and
// "VeskTabItemView~iphone" (phone): one top-level VeskTabItemView with its
// outlets and the close button's action connected.

#include "kit/ui/InterfaceFile.h"

namespace tolva {

class VeskTabItemViewBuilder {
 public:
  static void build(kit::InterfaceFile::Context& context, bool pad);
};

}  // namespace tolva
