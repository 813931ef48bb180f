#pragma once
// A row with a title on the left and a value on the right (value lists,
// read-only values, child pages, links). Without a title the value takes the
// title's place.

#include <string>

#include "kit/ui/Color.h"
#include "kit/ui/Font.h"
#include "kit/ui/TableViewCell.h"

namespace tolva {

class PrefPSTitleValueSpecifierViewCell : public kit::TableViewCell {
 public:
  explicit PrefPSTitleValueSpecifierViewCell(std::string reuseIdentifier);

  // Restores the title's own font and colour (a value shown in its place changed them).
  void prepareForReuse() override;
  void layoutSubviews() override;
  std::string className() const override { return "PrefPSTitleValueSpecifierViewCell"; }

 private:
  kit::Font titleFont_;
  kit::Color titleColor_;
};

}  // namespace tolva
