#include "downloads/VeskDownloadAddTableViewController.h"

#include <strings.h>

#include "downloads/VeskDownloadManager.h"
#include "kit/foundation/Bundle.h"
#include "kit/foundation/URL.h"

namespace tolva {

VeskDownloadAddTableViewController::VeskDownloadAddTableViewController(kit::TableView::Style style)
    : VeskDownloadTextFieldScreen(style, "New Download", "Start",
                                  "Please input the URL to download. Filename is optional.") {
  addField("URL", kit::KeyboardType::URL);
  addField("Filename (optional)", kit::KeyboardType::Default);
}

std::string VeskDownloadAddTableViewController::withScheme(const std::string& text) {
  // "http://" alone is shorter than 8 characters and gets the prefix too.
  if (text.size() < 8 || (strncasecmp(text.c_str(), "http://", 7) != 0 && strncasecmp(text.c_str(), "https://", 8) != 0)) {
    return "http://" + text;
  }
  return text;
}

void VeskDownloadAddTableViewController::onSave() {
  std::string text = textOfRow(0);
  const std::string name = textOfRow(1);
  if (!text.empty()) {
    text = withScheme(text);
    kit::Ref<kit::URL> url = kit::URL::URLWithString(text);
    if (url && !url->host().empty()) {
      VeskDownloadManager::sharedInstance()->start(text, name.empty() ? std::nullopt : std::optional<std::string>(name));
      close();
      return;
    }
  }
  alert(kit::Bundle::mainBundle()->localizedStringForKey("Invalid URL. Please re-enter correct URL."));
}

}  // namespace tolva
