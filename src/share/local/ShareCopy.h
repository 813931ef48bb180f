#pragma once
// Copies the item to the general pasteboard: a URL's text, an image or a text.

#include "share/core/ShareSharer.h"

namespace tolva {

class ShareCopy : public ShareSharer {
 public:
  std::string sharerTitle() const override;
  bool canShareURL() const override { return true; }
  bool canShareText() const override { return true; }
  bool canShareImage() const override { return true; }
  bool shareRequiresInternetConnection() const override { return false; }
  bool requiresAuthentication() const override { return false; }
  bool shouldAutoShare() const override { return true; }
  bool send() override;
  std::string className() const override { return "ShareCopy"; }
};

}  // namespace tolva
