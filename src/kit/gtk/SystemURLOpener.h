#pragma once
// Hands URLs to the desktop's handler for their scheme (a mail program for
// mailto:, and so on) through GIO.

#include <string>

#include "kit/ui/URLOpener.h"

namespace kit::gtk {

class SystemURLOpener : public URLOpener {
 public:
  bool canOpenURL(const URL& url) override;
  // A URL that no desktop program takes is said in an alert, not only on the console.
  bool openURL(const URL& url) override;
  // Tells the user that a desktop facility is missing or failed: an alert with `message`.
  static void tellUser(const std::string& title, const std::string& message);
};

}  // namespace kit::gtk
