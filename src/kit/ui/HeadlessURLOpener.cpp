#include "kit/ui/HeadlessURLOpener.h"

#include <algorithm>
#include <cctype>

namespace kit {
namespace {

std::string lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
  return s;
}

}  // namespace

HeadlessURLOpener::HeadlessURLOpener() : schemes_{"http", "https"} {}

bool HeadlessURLOpener::canOpenURL(const URL& url) { return schemes_.count(url.lowercaseScheme()) > 0; }

bool HeadlessURLOpener::openURL(const URL& url) {
  if (!canOpenURL(url)) return false;
  opened_.push_back(url.absoluteString());
  return true;
}

void HeadlessURLOpener::setOpenableSchemes(std::set<std::string> schemes) {
  schemes_.clear();
  for (const auto& s : schemes) schemes_.insert(lower(s));
}

void HeadlessURLOpener::addOpenableScheme(const std::string& scheme) { schemes_.insert(lower(scheme)); }

}  // namespace kit
