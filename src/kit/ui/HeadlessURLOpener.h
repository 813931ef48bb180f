#pragma once
// The URL opener tests use: it opens URLs whose scheme is in its list
// (http and https to start with), and records every URL it opened.

#include <set>
#include <string>
#include <vector>

#include "kit/ui/URLOpener.h"

namespace kit {

class HeadlessURLOpener : public URLOpener {
 public:
  HeadlessURLOpener();

  bool canOpenURL(const URL& url) override;
  bool openURL(const URL& url) override;

  // Scheme names, compared without regard to case.
  void setOpenableSchemes(std::set<std::string> schemes);
  void addOpenableScheme(const std::string& scheme);
  const std::vector<std::string>& openedURLs() const noexcept { return opened_; }
  void clear() { opened_.clear(); }

 private:
  std::set<std::string> schemes_;
  std::vector<std::string> opened_;
};

}  // namespace kit
