#pragma once
// Text messages: a desktop cannot send them, so this sharer says it cannot
// share and is never listed; its class stays for the sharers resource.

#include "share/core/ShareSharer.h"

namespace tolva {

class ShareTextMessage : public ShareSharer {
 public:
  std::string sharerTitle() const override { return "SMS"; }
  bool canShareURL() const override { return true; }
  bool canShareText() const override { return true; }
  bool canShare() const override { return false; }
  bool shareRequiresInternetConnection() const override { return false; }
  bool requiresAuthentication() const override { return false; }
  bool shouldAutoShare() const override { return true; }
  bool send() override;
  std::string className() const override { return "ShareTextMessage"; }
};

}  // namespace tolva
