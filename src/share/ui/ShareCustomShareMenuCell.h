#pragma once
// A row of the share menu: a plain cell.

#include "kit/ui/TableViewCell.h"

namespace tolva {

class ShareCustomShareMenuCell : public kit::TableViewCell {
 public:
  using kit::TableViewCell::TableViewCell;
  std::string className() const override { return "ShareCustomShareMenuCell"; }
};

}  // namespace tolva
