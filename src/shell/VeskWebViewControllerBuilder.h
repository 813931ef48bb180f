#pragma once
// The main screen's interface files, "VeskWebViewController" (tablet,
// 1024x748 below the status bar) and "VeskWebViewController~iphone"
// (phone, 320x460): the content area above the tab strip, the strip with
// its button rows, the bookmark and brightness docks with their pull tabs,
// the dial label, the info box, the dimming overlay and the two trackpads.
// The owner (a VeskWebViewController) gets its view and every outlet.

#include "kit/ui/InterfaceFile.h"

namespace tolva {

class VeskWebViewControllerBuilder {
 public:
  static void build(kit::InterfaceFile::Context& context, bool pad);
};

}  // namespace tolva
