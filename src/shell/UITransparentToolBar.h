#pragma once
// A toolbar without a background: only its items show, over whatever lies
// behind the bar.

#include "kit/ui/Toolbar.h"

namespace tolva {

class UITransparentToolBar : public kit::Toolbar {
 public:
  explicit UITransparentToolBar(kit::Rect frame = {});

  void awakeFromNib() override;
  std::string className() const override { return "UITransparentToolBar"; }

 private:
  void makeTransparent();
};

}  // namespace tolva
