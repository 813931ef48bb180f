#pragma once
// Opens the item's link in the desktop's web browser (http and https only).

#include "share/core/ShareSharer.h"

namespace tolva {

class ShareSafari : public ShareSharer {
 public:
  std::string sharerTitle() const override;
  bool canShareURL() const override { return true; }
  bool shareRequiresInternetConnection() const override { return false; }
  bool requiresAuthentication() const override { return false; }
  bool shouldAutoShare() const override { return true; }
  bool send() override;
  std::string className() const override { return "ShareSafari"; }
};

}  // namespace tolva
