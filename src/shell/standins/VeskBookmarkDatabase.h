#pragma once
// Stand-in for the bookmark and history store: the calls the shell makes,
// an empty bookmark tree and an in-memory list of visits. The real store
// (tree in user defaults, folders, history folder) replaces it.

#include <string>

#include "kit/foundation/Array.h"
#include "kit/foundation/Dictionary.h"
#include "kit/foundation/Object.h"

namespace tolva {

class VeskBookmarkDatabase : public kit::Object {
 public:
  static VeskBookmarkDatabase* getSharedInstance();

  // Record a visit only while this is on (it is, by default).
  bool opt_saveHistory() const { return opt_saveHistory_; }
  void addItemAtHistory(const std::string& title, const std::string& url);
  void clearHistory();
  // Writes the loaded tree out; the stand-in has nothing to write.
  void saveStatus() {}
  // Null drops the loaded tree so that the next use reloads it.
  void setBookmark(kit::Ref<kit::MutableArray> tree) { bookmark_ = std::move(tree); }

  // The folder the bookmark screens show: the root while the path is empty.
  bool root() const { return true; }
  void gotoRoot() {}
  // Items with a URL in the folder at `path` (null: the root).
  size_t nonFolderItemCount(const kit::Array* path) const;
  // The item at `index`, counting only bookmarks when `excludingFolders`; null past the end.
  kit::Ref<kit::Dictionary> getItemAt(size_t index, bool excludingFolders, const kit::Array* path) const;

  // The visits recorded, oldest first ({"title", "url"} each).
  const kit::MutableArray* history() const { return history_.get(); }
  // Back to an empty store (tests).
  void resetForTesting();

  std::string className() const override { return "VeskBookmarkDatabase"; }

 private:
  VeskBookmarkDatabase();
  bool opt_saveHistory_ = true;
  kit::Ref<kit::MutableArray> bookmark_;
  kit::Ref<kit::MutableArray> history_;
};

}  // namespace tolva
