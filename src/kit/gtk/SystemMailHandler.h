#pragma once
// Hands a written message to the desktop's mail program: the default
// application for message/rfc822 files, else the mailto: handler with the
// recipients, subject and body (attachments cannot travel that way). GIO
// starts the program directly, never through a shell.

#include "kit/ui/MailComposeViewController.h"

namespace kit::gtk {

class SystemMailHandler : public MailHandler {
 public:
  bool openMessage(const std::string& path, const MailComposeViewController& composer) override;
  // The mailto: URI for the composer (exposed for tests).
  static std::string mailtoURI(const MailComposeViewController& composer);
};

}  // namespace kit::gtk
