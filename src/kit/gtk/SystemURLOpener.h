#pragma once
// Hands URLs to the desktop's handler for their scheme (a mail program for
// mailto:, and so on) through GIO.

#include "kit/ui/URLOpener.h"

namespace kit::gtk {

class SystemURLOpener : public URLOpener {
 public:
  bool canOpenURL(const URL& url) override;
  bool openURL(const URL& url) override;
};

}  // namespace kit::gtk
