#include "shell/UITransparentToolBar.h"

namespace tolva {

UITransparentToolBar::UITransparentToolBar(kit::Rect frame) : kit::Toolbar(frame) { makeTransparent(); }

// An interface file may have set a background after construction.
void UITransparentToolBar::awakeFromNib() {
  kit::Toolbar::awakeFromNib();
  makeTransparent();
}

void UITransparentToolBar::makeTransparent() {
  setBackgroundColor(kit::Color::clearColor());
  setOpaque(false);
  setTranslucent(true);
}

}  // namespace tolva
