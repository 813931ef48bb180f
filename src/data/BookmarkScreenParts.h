#pragma once
// Small pieces the bookmark screens share: bar buttons that reach their
// screen weakly, the phone's bar tint and the bundle's pictures.

#include <string>

#include "kit/foundation/Object.h"
#include "kit/ui/BarButtonItem.h"
#include "kit/ui/Image.h"
#include "kit/ui/ViewController.h"

namespace tolva::BookmarkScreenParts {

// A bar button whose action calls `fn` on `screen` while the screen lives.
template <class Screen>
kit::Ref<kit::BarButtonItem> button(Screen* screen, const std::string& title, kit::BarButtonItem::Style style,
                                    const char* actionName, void (Screen::*fn)()) {
  kit::WeakRef<Screen> weak(screen);
  return kit::BarButtonItem::withTitle(title, style, actionName, [weak, fn](kit::BarButtonItem&) {
    if (kit::Ref<Screen> s = weak.lock()) ((*s).*fn)();
  });
}

// On the phone the navigation bar and toolbar of the bookmark screens are light grey.
void tintBarsOnPhone(kit::ViewController& screen);

// A picture of the bundle (type "png"), null when missing.
kit::Ref<kit::Image> picture(const std::string& name);

}  // namespace tolva::BookmarkScreenParts
