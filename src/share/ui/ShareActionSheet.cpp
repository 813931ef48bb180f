#include "share/ui/ShareActionSheet.h"

#include "share/core/Share.h"
#include "share/core/ShareConfiguration.h"
#include "share/core/ShareFunctions.h"
#include "share/core/ShareSharer.h"
#include "share/ui/ShareCustomActionSheet.h"
#include "share/ui/ShareCustomShareMenu.h"

namespace tolva {

ShareActionSheet::ShareActionSheet() { setDelegate(this); }

kit::Ref<ShareActionSheet> ShareActionSheet::actionSheetForType(ShareShareType type) {
  kit::Ref<ShareActionSheet> sheet = kit::make<ShareCustomActionSheet>();
  sheet->setTitle(ShareLocalizedFormat("Share"));
  auto item = kit::make<ShareItem>();
  item->setShareType(type);
  sheet->setItem(item.get());
  for (const std::string& name : Share::favoriteSharersForType(type)) {
    kit::Ref<ShareSharer> sharer = ShareSharer::sharerWithClassName(name);
    if (!sharer || !sharer->canShare()) continue;
    sheet->addButtonWithTitle(sharer->sharerTitle());
    sheet->sharers_.push_back(name);
  }
  if (ShareConfiguration::boolValue("showActionSheetMoreButton")) sheet->addButtonWithTitle(ShareLocalizedFormat("More..."));
  sheet->setCancelButtonIndex(sheet->addButtonWithTitle(ShareLocalizedFormat("Cancel")));
  return sheet;
}

kit::Ref<ShareActionSheet> ShareActionSheet::actionSheetForItem(ShareItem* item) {
  kit::Ref<ShareActionSheet> sheet = actionSheetForType(item ? item->shareType() : ShareShareTypeUndefined);
  if (item) sheet->setItem(item);
  return sheet;
}

kit::Ref<ShareSharer> ShareActionSheet::shareWithDelegate(const std::string& className, ShareItem* item,
                                                          kit::Object* shareDelegate) {
  kit::Ref<ShareSharer> sharer = ShareSharer::sharerWithClassName(className);
  if (!sharer) return nullptr;
  sharer->loadItem(item);
  auto* asked = dynamic_cast<ShareShareItemDelegate*>(shareDelegate);
  if (!asked || asked->aboutToShareItem(item, sharer.get())) sharer->share();
  return sharer;
}

void ShareActionSheet::dismissWithClickedButtonIndex(long index, bool animated) {
  kit::Ref<ShareActionSheet> keep(this);
  const long services = static_cast<long>(sharers_.size());
  if (index >= 0 && index < services) {
    shareWithDelegate(sharers_[static_cast<size_t>(index)], item_.get(), shareDelegate_.get());
  } else if (index == services && ShareConfiguration::boolValue("showActionSheetMoreButton")) {
    auto menu = kit::make<ShareCustomShareMenu>(kit::TableView::Style::Grouped);
    menu->setShareDelegate(shareDelegate_.get());
    menu->setItem(item_.get());
    Share::currentHelper()->showViewController(menu.get());
  }
  kit::ActionSheet::dismissWithClickedButtonIndex(index, animated);
}

}  // namespace tolva
