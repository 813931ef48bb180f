#pragma once
// Mails a page with its source attached. The page is loaded asynchronously
// (http and https only, with an inactivity time-out and a size cap checked
// as the bytes arrive) before the draft is made, so the window never waits
// on the network. A page that fails, answers with an error status or grows
// past the cap is not attached; the draft goes out all the same.

#include "kit/net/URLConnection.h"
#include "share/local/ShareMail.h"

namespace tolva {

class ShareMailPage : public ShareMail, public kit::URLConnectionDelegate {
 public:
  static constexpr double kFetchTimeout = 20;
  static constexpr size_t kMaximumPageBytes = 8 * 1024 * 1024;

  std::string sharerTitle() const override;
  bool canShareImage() const override { return false; }
  bool sendMail() override;
  std::string className() const override { return "ShareMailPage"; }

  void didReceiveResponse(kit::URLConnection& connection, kit::URLResponse& response) override;
  void didReceiveData(kit::URLConnection& connection, kit::Data& data) override;
  void didFinishLoading(kit::URLConnection& connection) override;
  void didFailWithError(kit::URLConnection& connection, kit::Error& error) override;

 protected:
  std::string linkText(const kit::URL& url) const override;

 private:
  // Ends the load and makes the draft, with the page when `attach`.
  void pageLoaded(bool attach);

  kit::Ref<kit::URLConnection> connection_;
  kit::Ref<kit::MutableData> page_;
  kit::Ref<ShareMailPage> keepWhileLoading_;
};

}  // namespace tolva
