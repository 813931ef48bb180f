#include "shell/VeskSharingConfigurator.h"

namespace tolva {

std::string VeskSharingConfigurator::appURL() const { return "https://tolva-browser.org"; }

std::string VeskSharingConfigurator::twitterCallbackUrl() const { return "https://tolva-browser.org"; }

std::string VeskSharingConfigurator::evernoteUserStoreURL() const { return "https://notes.tolva-browser.org/edam/user"; }

std::string VeskSharingConfigurator::evernoteNetStoreURLBase() const { return "https://notes.tolva-browser.org/edam/note/"; }

std::string VeskSharingConfigurator::linkedInCallbackUrl() const { return "https://tolva-browser.org/callback"; }

std::optional<kit::Color> VeskSharingConfigurator::barTintForView(const kit::Object* screen) const {
  if (!screen) return std::nullopt;
  const std::string name = screen->className();
  if (name == "ShareTwitter") return kit::Color::rgba(0 / 255.0, 151 / 255.0, 222 / 255.0, 1);
  if (name == "ShareFacebook") return kit::Color::rgba(59 / 255.0, 89 / 255.0, 152 / 255.0, 1);
  return std::nullopt;
}

}  // namespace tolva
