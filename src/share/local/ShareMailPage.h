#pragma once
// Mails a page with its source attached. The page is fetched in the
// background (http and https only, with a time-out and a size cap) before
// the draft is made, so the window never waits on the network.

#include "share/local/ShareMail.h"

namespace tolva {

class ShareMailPage : public ShareMail {
 public:
  static constexpr double kFetchTimeout = 20;
  static constexpr size_t kMaximumPageBytes = 8 * 1024 * 1024;

  std::string sharerTitle() const override;
  bool canShareImage() const override { return false; }
  bool sendMail() override;
  std::string className() const override { return "ShareMailPage"; }

 protected:
  std::string linkText(const kit::URL& url) const override;
};

}  // namespace tolva
