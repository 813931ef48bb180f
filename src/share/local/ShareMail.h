#pragma once
// Mails the item: a mail draft with the text, the link and the item's file
// or picture attached, handed to the desktop's mail program. Every value put
// into the HTML body is escaped; only the kit's own line breaks are markup.

#include "kit/ui/MailComposeViewController.h"
#include "share/core/ShareSharer.h"

namespace tolva {

class ShareMail : public ShareSharer, public kit::MailComposeViewControllerDelegate {
 public:
  std::string sharerTitle() const override;
  bool canShareURL() const override { return true; }
  bool canShareText() const override { return true; }
  bool canShareImage() const override { return true; }
  bool canShareFile() const override { return true; }
  bool canShare() const override { return kit::MailComposeViewController::canSendMail(); }
  bool shareRequiresInternetConnection() const override { return false; }
  bool requiresAuthentication() const override { return false; }
  bool shouldAutoShare() const override { return true; }
  bool send() override;
  virtual bool sendMail();

  void mailComposeControllerDidFinish(kit::MailComposeViewController& controller, kit::MailComposeResult result,
                                      kit::Error* error) override;

  // `text` with &, <, >, " and ' escaped for an HTML body.
  static std::string escapeHTML(std::string_view text);

  std::string className() const override { return "ShareMail"; }

 protected:
  // The link as it goes into the body (the page sharer shows it unescaped).
  virtual std::string linkText(const kit::URL& url) const { return url.absoluteString(); }
  // Composes and presents the draft with `page` attached as the page's source (when given).
  // The draft holds this sharer until the user answers or the draft goes.
  bool compose(kit::Data* page);
};

}  // namespace tolva
