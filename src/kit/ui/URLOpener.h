#pragma once
// Hands a URL to another program ("open in the system"). The backend installs
// one that spawns the desktop's handler; the headless one records.

#include "kit/foundation/URL.h"

namespace kit {

class URLOpener {
 public:
  virtual ~URLOpener() = default;
  virtual bool canOpenURL(const URL& url) = 0;
  // Answers whether the URL was handed over.
  virtual bool openURL(const URL& url) = 0;
};

}  // namespace kit
