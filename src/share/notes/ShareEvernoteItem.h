#pragma once
// A share item that may carry a ready-made note; the note sharer fills only
// what that note leaves unset. The note is read and replaced whole under a
// lock, so a worker thread can take it while the main thread sets another.

#include <memory>
#include <mutex>

#include "EDAM_types.h"
#include "share/core/ShareItem.h"

namespace tolva {

class ShareEvernoteItem : public ShareItem {
 public:
  ShareEvernoteItem() = default;

  // A copy of the note, or null when none was handed in.
  std::shared_ptr<const edam::EDAMNote> note() const;
  void setNote(std::shared_ptr<const edam::EDAMNote> note);

  std::string className() const override { return "ShareEvernoteItem"; }

 private:
  mutable std::mutex mutex_;
  std::shared_ptr<const edam::EDAMNote> note_;
};

}  // namespace tolva
