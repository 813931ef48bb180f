#pragma once
// Saves the item's picture into the desktop's Pictures folder.

#include "share/core/ShareSharer.h"

namespace tolva {

class SharePhotoAlbum : public ShareSharer {
 public:
  std::string sharerTitle() const override;
  bool canShareImage() const override { return true; }
  bool shareRequiresInternetConnection() const override { return false; }
  bool requiresAuthentication() const override { return false; }
  bool shouldAutoShare() const override { return true; }
  bool send() override;
  std::string className() const override { return "SharePhotoAlbum"; }
};

}  // namespace tolva
