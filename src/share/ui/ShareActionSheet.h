#pragma once
// The share sheet: the user's favourite services for an item's type as
// buttons (one per entry of `sharers`, in order), then "More..." (the share
// menu, when the configuration shows it) and "Cancel". Choosing a service
// shares the item with it at once. It is its own delegate.
//
// The share delegate is kept (it must be a ShareShareItemDelegate to be
// asked) for as long as the sheet lives.

#include <string>
#include <vector>

#include "kit/ui/ActionSheet.h"
#include "share/core/ShareItem.h"
#include "share/ui/ShareShareItemDelegate.h"

namespace tolva {

class ShareSharer;

class ShareActionSheet : public kit::ActionSheet, public kit::ActionSheetDelegate {
 public:
  ShareActionSheet();

  static kit::Ref<ShareActionSheet> actionSheetForType(ShareShareType type);
  static kit::Ref<ShareActionSheet> actionSheetForItem(ShareItem* item);
  void dismissWithClickedButtonIndex(long index, bool animated) override;

  ShareItem* item() const noexcept { return item_.get(); }
  void setItem(ShareItem* item) { item_ = item; }
  const std::vector<std::string>& sharers() const noexcept { return sharers_; }
  void setSharers(std::vector<std::string> s) { sharers_ = std::move(s); }
  kit::Object* shareDelegate() const noexcept { return shareDelegate_.get(); }
  void setShareDelegate(kit::Object* d) { shareDelegate_ = d; }

  // Shares `item` with a new sharer of `className` unless `shareDelegate`
  // (when it is a ShareShareItemDelegate) declines; null for an unknown class.
  static kit::Ref<ShareSharer> shareWithDelegate(const std::string& className, ShareItem* item,
                                                 kit::Object* shareDelegate);

  std::string className() const override { return "ShareActionSheet"; }

 private:
  std::vector<std::string> sharers_;
  kit::Ref<ShareItem> item_;
  kit::Ref<kit::Object> shareDelegate_;
};

}  // namespace tolva
