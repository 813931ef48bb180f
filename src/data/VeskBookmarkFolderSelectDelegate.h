#pragma once
// What the folder picker asks of the screen that pushed it.

#include "kit/foundation/Array.h"

namespace tolva {

class VeskBookmarkFolderSelectDelegate {
 public:
  virtual ~VeskBookmarkFolderSelectDelegate() = default;
  // The folder the user picked (null: the root).
  virtual void folderSelected(const kit::Array* path) = 0;
  // The folder to mark with the checkmark (null or empty: the root).
  virtual kit::Ref<kit::Array> currentFolder() = 0;
  // May remove entries (FolderListEntry records) before the picker shows them.
  virtual void filterPath(kit::MutableArray& list) = 0;
};

}  // namespace tolva
