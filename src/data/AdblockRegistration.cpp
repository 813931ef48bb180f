#include "data/AdblockRegistration.h"

#include "data/VeskAdblockNewFilterViewController.h"
#include "data/VeskAdblockTableViewController.h"

namespace tolva {

void registerAdblockClasses(kit::ClassRegistry& registry) {
  registry.registerClass(
      "VeskAdblockTableViewController",
      [] { return kit::Ref<kit::Object>(kit::make<VeskAdblockTableViewController>(kit::TableView::Style::Plain)); },
      "TableViewController");
  VeskAdblockNewFilterViewController::registerInterfaceFile();
}

}  // namespace tolva
