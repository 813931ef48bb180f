#pragma once
// The share menu that "More..." opens; a place for an application's own changes.

#include "share/ui/ShareShareMenu.h"

namespace tolva {

class ShareCustomShareMenu : public ShareShareMenu {
 public:
  using ShareShareMenu::ShareShareMenu;
  std::string className() const override { return "ShareCustomShareMenu"; }
};

}  // namespace tolva
