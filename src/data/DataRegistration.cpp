#include "data/DataRegistration.h"

#include "data/VeskBookmarkFileTableViewController.h"

namespace tolva {

void registerDataClasses(kit::ClassRegistry& registry) {
  registry.registerClass(
      "VeskBookmarkFileTableViewController",
      [] { return kit::Ref<kit::Object>(new VeskBookmarkFileTableViewController(kit::TableView::Style::Plain)); },
      "UITableViewController");
}

}  // namespace tolva
