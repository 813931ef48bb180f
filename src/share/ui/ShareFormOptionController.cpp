#include "share/ui/ShareFormOptionController.h"

#include <cstdio>

#include "kit/foundation/Array.h"
#include "kit/foundation/Number.h"
#include "kit/foundation/String.h"
#include "kit/ui/BarButtonItem.h"
#include "kit/ui/Label.h"
#include "kit/ui/NavigationItem.h"
#include "settings/PrefAutorotation.h"
#include "share/core/ShareFunctions.h"
#include "share/ui/ShareActivityIndicator.h"
#include "share/ui/ShareFormIndexes.h"

namespace tolva {
namespace {

constexpr const char* kProviderKey = "ShareFormOptionControllerOptionProvider";

}  // namespace

ShareFormOptionController::ShareFormOptionController(ShareFormFieldSettings* settings,
                                                     ShareFormOptionControllerClient* client)
    : kit::TableViewController(kit::TableView::Style::Plain), settings_(settings), client_(client) {
  if (!settings_->optionPickerInfo()) settings_->setOptionPickerInfo(kit::MutableDictionary::dictionary());
  auto* title = kit::cast<kit::String>(settings_->optionPickerInfo()->objectForKey("title"));
  setTitle(title ? title->str() : std::string());
}

ShareFormOptionController::~ShareFormOptionController() {
  if (alert_) alert_->setDelegate(nullptr);
}

std::string ShareFormOptionController::curIndexes() const {
  auto* s = kit::cast<kit::String>(settings_->optionPickerInfo()->objectForKey("curIndexes"));
  return s ? s->str() : "-1";
}

std::vector<std::string> ShareFormOptionController::items() const {
  std::vector<std::string> out;
  if (auto* list = kit::cast<kit::Array>(settings_->optionPickerInfo()->objectForKey("itemsList")))
    for (kit::Object* o : *list) out.push_back(kit::cast<kit::String>(o) ? kit::cast<kit::String>(o)->str() : "");
  return out;
}

bool ShareFormOptionController::allowsMultiple() const {
  auto* n = kit::cast<kit::Number>(settings_->optionPickerInfo()->objectForKey("allowMultiple"));
  return n && n->boolValue();
}

void ShareFormOptionController::viewDidLoad() {
  kit::TableViewController::viewDidLoad();
  updateFromOptions();
  navigationItem()->setLeftBarButtonItem(kit::BarButtonItem::withSystemItem(
      kit::BarButtonItem::SystemItem::Cancel, "cancel:", [this](kit::BarButtonItem&) { cancel(); }));
}

void ShareFormOptionController::updateFromOptions() {
  kit::MutableDictionary* info = settings_->optionPickerInfo();
  auto* isStatic = kit::cast<kit::Number>(info->objectForKey("static"));
  auto* list = kit::cast<kit::Array>(info->objectForKey("itemsList"));
  auto* provider = kit::cast<ShareFormOptionControllerOptionProvider>(info->objectForKey(kProviderKey));
  const char* broken = nullptr;
  if (!kit::cast<kit::String>(info->objectForKey("curIndexes")))
    broken = "Sharing: missing the cur selection value";
  else if (!list)
    broken = "Sharing: missing the itemsList";
  else if (!isStatic)
    broken = "Sharing: missing the static flag";
  else if ((isStatic->boolValue() || didLoad_) && list->count() == 0)
    broken = "Sharing: there must be some choices or it must be not static";
  else if (!isStatic->boolValue() && !provider)
    broken = "Sharing: if you are not static you must give a provider";
  if (broken) {
    std::fprintf(stderr, "%s (ShareFormOptionController updateFromOptions)\n", broken);
    ShareActivityIndicator::currentIndicator()->hide();
    showNoOptions();
    return;
  }

  if (isStatic->boolValue() || provider_ || didLoad_) {
    ShareActivityIndicator::currentIndicator()->hide();
  } else {
    ShareActivityIndicator::currentIndicator()->displayActivity(ShareLocalizedFormat("Loading..."));
    provider_ = provider;
    provider_->ShareFormOptionControllerEnumerateOptions(this);
  }
  tableView()->reloadData();
}

void ShareFormOptionController::optionsEnumerated(const std::vector<std::string>& items) {
  didLoad_ = true;
  provider_ = nullptr;
  auto list = kit::MutableArray::array();
  for (const auto& item : items) list->addObject(kit::str(item));
  kit::MutableDictionary* info = settings_->optionPickerInfo();
  info->setObject(list, "itemsList");
  const std::string cur = curIndexes();
  if (cur != "-1") {
    for (long index : ShareFormIndexes::parse(cur))
      if (index < 0 || static_cast<size_t>(index) >= items.size()) {
        info->setObject(kit::str("-1"), "curIndexes");
        break;
      }
  }
  updateFromOptions();
  if (allowsMultiple())
    navigationItem()->setRightBarButtonItem(kit::BarButtonItem::withSystemItem(
        kit::BarButtonItem::SystemItem::Done, "done:", [this](kit::BarButtonItem&) { done(); }));
}

void ShareFormOptionController::optionsEnumerationFailedWithError(const kit::Error*) {
  provider_ = nullptr;
  showNoOptions();
}

void ShareFormOptionController::showNoOptions() {
  alert_ = kit::make<kit::AlertView>();
  alert_->setTitle(ShareLocalizedFormat("No Options"));
  alert_->setMessage(ShareLocalizedFormat("Could not find any") + " " + title());
  alert_->setDelegate(this);
  alert_->setCancelButtonIndex(alert_->addButtonWithTitle(ShareLocalizedFormat("Cancel")));
  alert_->show();
}

void ShareFormOptionController::alertViewClickedButtonAtIndex(kit::AlertView& alert, long) {
  alert.setDelegate(nullptr);
  cancel();
}

void ShareFormOptionController::cancel() {
  kit::Ref<ShareFormOptionController> keep(this);
  ShareActivityIndicator::currentIndicator()->hide();
  if (provider_) provider_->ShareFormOptionControllerCancelEnumerateOptions(this);
  provider_ = nullptr;
  if (client_) client_->ShareFormOptionController(this, std::nullopt);
}

void ShareFormOptionController::done() {
  kit::Ref<ShareFormOptionController> keep(this);
  if (client_) client_->ShareFormOptionController(this, settings_->optionPickerValueForIndexes(curIndexes()));
}

bool ShareFormOptionController::shouldAutorotateToInterfaceOrientation(kit::InterfaceOrientation o) {
  return PrefAutorotation::shouldAutorotate(this, o);
}

long ShareFormOptionController::tableViewNumberOfRowsInSection(kit::TableView&, long) {
  return static_cast<long>(items().size());
}

kit::Ref<kit::TableViewCell> ShareFormOptionController::tableViewCellForRowAtIndexPath(kit::TableView& table,
                                                                                       const kit::IndexPath& path) {
  kit::Ref<kit::TableViewCell> cell = table.dequeueReusableCellWithIdentifier("Cell");
  if (!cell) cell = kit::TableViewCell::cell(kit::TableViewCell::Style::Default, "Cell");
  const std::vector<std::string> list = items();
  cell->textLabel()->setText(path.row >= 0 && size_t(path.row) < list.size() ? list[size_t(path.row)] : "");
  cell->setAccessoryType(ShareFormIndexes::contains(curIndexes(), path.row) ? kit::TableViewCell::AccessoryType::Checkmark
                                                                             : kit::TableViewCell::AccessoryType::None);
  return cell;
}

void ShareFormOptionController::tableViewDidSelectRowAtIndexPath(kit::TableView& table, const kit::IndexPath& path) {
  const std::vector<std::string> list = items();
  if (path.row < 0 || size_t(path.row) >= list.size()) return;
  kit::MutableDictionary* info = settings_->optionPickerInfo();
  if (!allowsMultiple()) {
    info->setObject(kit::str(std::to_string(path.row)), "curIndexes");
    kit::Ref<ShareFormOptionController> keep(this);
    if (client_) client_->ShareFormOptionController(this, list[size_t(path.row)]);
    return;
  }
  info->setObject(kit::str(ShareFormIndexes::toggle(curIndexes(), path.row)), "curIndexes");
  table.reloadRowsAtIndexPaths({path}, kit::TableView::RowAnimation::None);
}

}  // namespace tolva
