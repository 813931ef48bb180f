#pragma once
// Stand-in for the sharing kit's activity indicator: the one shared view the
// main screen places; it shows nothing yet.

#include "kit/ui/View.h"

namespace tolva {

class ShareActivityIndicator : public kit::View {
 public:
  static ShareActivityIndicator* currentIndicator();

  std::string className() const override { return "ShareActivityIndicator"; }

 private:
  ShareActivityIndicator() = default;
};

}  // namespace tolva
