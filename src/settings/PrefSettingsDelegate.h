#pragma once
// Who is told when a settings screen ends, and who may supply the parts of
// it the description leaves open. Only settingsViewControllerDidEnd is
// required; the optional calls say "not implemented" by answering nullopt
// or null, and the screen then does without.

#include <optional>
#include <string>

#include "kit/foundation/Object.h"
#include "kit/ui/TableViewCell.h"
#include "kit/ui/View.h"
#include "kit/ui/ViewController.h"

namespace kit {
class TableView;
}

namespace tolva {

class PrefAppSettingsViewController;
class PrefSpecifier;

class PrefSettingsDelegate {
 public:
  virtual ~PrefSettingsDelegate() = default;
  // The user is done; the delegate removes the screen.
  virtual void settingsViewControllerDidEnd(PrefAppSettingsViewController& sender) = 0;

  virtual std::optional<double> tableViewHeightForHeaderForKey(kit::TableView& tableView, const std::string& key) {
    (void)tableView;
    (void)key;
    return std::nullopt;
  }
  virtual kit::Ref<kit::View> tableViewViewForHeaderForKey(kit::TableView& tableView, const std::string& key) {
    (void)tableView;
    (void)key;
    return nullptr;
  }
  virtual std::optional<double> tableViewHeightForSpecifier(kit::TableView& tableView, PrefSpecifier& specifier) {
    (void)tableView;
    (void)specifier;
    return std::nullopt;
  }
  virtual kit::Ref<kit::TableViewCell> tableViewCellForSpecifier(kit::TableView& tableView, PrefSpecifier& specifier) {
    (void)tableView;
    (void)specifier;
    return nullptr;
  }
  virtual std::optional<std::string> mailComposeBody() { return std::nullopt; }
  virtual kit::ViewController* viewControllerForMailComposeView() { return nullptr; }
};

}  // namespace tolva
