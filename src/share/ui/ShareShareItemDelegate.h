#pragma once
// Asked by the share sheet and the share menu before a share starts: answer
// false to stop it (the sheet or menu still closes).

namespace tolva {

class ShareItem;
class ShareSharer;

class ShareShareItemDelegate {
 public:
  virtual ~ShareShareItemDelegate() = default;
  virtual bool aboutToShareItem(ShareItem* item, ShareSharer* sharer) = 0;
};

}  // namespace tolva
