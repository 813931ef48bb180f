#pragma once
// The form cell the kit instantiates, for an application to restyle.

#include "share/ui/ShareFormFieldCell.h"

namespace tolva {

class ShareCustomFormFieldCell : public ShareFormFieldCell {
 public:
  using ShareFormFieldCell::ShareFormFieldCell;
  std::string className() const override { return "ShareCustomFormFieldCell"; }
};

}  // namespace tolva
