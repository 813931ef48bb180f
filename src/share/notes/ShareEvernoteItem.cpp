#include "share/notes/ShareEvernoteItem.h"

namespace tolva {

std::shared_ptr<const edam::EDAMNote> ShareEvernoteItem::note() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return note_;
}

void ShareEvernoteItem::setNote(std::shared_ptr<const edam::EDAMNote> note) {
  std::lock_guard<std::mutex> lock(mutex_);
  note_ = std::move(note);
}

}  // namespace tolva
