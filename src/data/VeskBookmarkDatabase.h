#pragma once
// The user's bookmarks, bookmark folders and browsing history: one tree held
// in memory and stored as a property list under the user-defaults key
// "bookmark" (the bundle's "default-bookmark" when that is missing or empty).
// It also remembers the folder the bookmark screens show (the current path)
// and announces every change.
//
// Every answer that hands items or paths out hands copies: a caller never
// holds a live part of the tree that a later edit changes underneath it.
// Main thread only.

#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "data/BookmarkItem.h"
#include "kit/foundation/Array.h"
#include "kit/foundation/Dictionary.h"
#include "kit/foundation/NotificationCenter.h"
#include "kit/foundation/Object.h"

namespace tolva {

inline constexpr const char* kVeskBookmarkDatabaseUpdateNotification = "VeskBookmarkDatabaseUpdateNotification";
inline constexpr const char* kVeskBookmarkDatabaseUpdateHistoryNotification =
    "VeskBookmarkDatabaseUpdateHistoryNotification";

class VeskBookmarkDatabase : public kit::Object {
 public:
  static constexpr const char* kDefaultsKey = "bookmark";
  static constexpr const char* kDefaultResource = "default-bookmark";
  static constexpr size_t kMaxHistory = 500;
  static constexpr size_t kTopCount = 50;
  // A repeated record of a page within this many seconds does not count again.
  static constexpr double kRepeatVisitWindow = 2.0;
  // Edits reach user defaults this many seconds later (their own autosave
  // then takes them to disk).
  static constexpr double kSaveDelay = 0.5;

  static VeskBookmarkDatabase* getSharedInstance();
  // Saves and forgets the shared store.
  static void freeSharedInstance();

  // ---- Settings and persistence
  void _settingsChanged();
  bool opt_saveHistory() const;
  // A copy of the whole tree (loaded on first use).
  kit::Ref<kit::Array> bookmark();
  // Null writes the loaded tree out first and drops it, so the next use reloads it.
  void setBookmark(kit::Ref<kit::MutableArray> tree);
  // Writes the loaded tree to user defaults (without flushing them).
  void saveStatus();

  // ---- Current folder (the bookmark screens)
  kit::Ref<kit::Array> currentPath();
  void setCurrentPath(const kit::Array* path);
  void gotoRoot();
  void stepIn(const std::string& title);
  void stepOut();
  bool root() const;
  kit::Ref<kit::Array> currentFolder();
  std::string currentFolderName() const;
  size_t currentItemCount();
  size_t currentNonFolderItemCount();
  void onEdit() {}
  void onBack() {}

  // ---- Look-up
  // A copy of the folder's items; null when a title on the path is missing.
  kit::Ref<kit::Array> getFolder(const kit::Array* path);
  kit::Ref<kit::Array> getFolder(const kit::Array* path, bool makeIfNotExist);
  // The number of leading folders of the folder.
  size_t folderItemCount(const kit::Array* path);
  size_t nonFolderItemCount(const kit::Array* path);
  // A copy of the item at `index` (counting only bookmarks when excludingFolders); null past the end.
  kit::Ref<kit::Dictionary> getItemAt(size_t index, bool excludingFolders, const kit::Array* path);
  kit::Ref<kit::Dictionary> getItemAt(size_t index, bool excludingFolders);
  kit::Ref<kit::Dictionary> getItemAt(size_t index);
  std::string itemNameAt(size_t index);
  // What a list row shows of the item at `index` of the current folder: a copy
  // without a folder's contents, so a row costs the same in any folder; null past the end.
  kit::Ref<kit::Dictionary> rowItemAt(size_t index);
  // Every folder below the folder, depth first: FolderListEntry records. At
  // the root the History folder is left out.
  kit::Ref<kit::MutableArray> extractFoldersAt(const kit::Array* path, long depth);
  // Whether `a` is `isSubfolderOf` or lies below it.
  static bool Path(const kit::Array* a, const kit::Array* isSubfolderOf);
  // 0 when both name the same folder.
  static int comparePath(const kit::Array* a, const kit::Array* with);
  // Bookmarks and history entries at or below the folder whose URL (or, with
  // includeTitle, title) contains the text, ignoring case; sorted by visit count.
  kit::Ref<kit::Array> find(const std::string& text, const kit::Array* at, bool includeTitle);
  // Up to 50 of the most recent history entries, sorted by visit count.
  kit::Ref<kit::Array> getTop50();
  // Counts of 5 and more (higher first), then bookmarks (no count), then 4 down to 1.
  static int compareBookmarkItemsByVisitCount(const kit::Dictionary* a, const kit::Dictionary* b);

  // ---- Edits
  void addItem(const std::string& title, const std::string& url, const kit::Array* atFolder);
  void addItem(const std::string& title, const std::string& url);
  bool addFolder(const std::string& title, const kit::Array* atFolder);
  bool addFolder(const std::string& title);
  void renameItem(size_t index, const std::string& withName);
  void updateUrlAt(size_t index, const std::string& withURL);
  void deleteItemAt(size_t index);
  void moveItemTo(size_t from, size_t withIdx);
  void swapItemAt(size_t a, size_t withIdx);
  bool moveFolderFrom(const kit::Array* from, const kit::Array* To, const std::string& withNewName);
  void removeFolderAtPath(const kit::Array* path);
  kit::Ref<kit::Array> makeImportedFolder();
  void clearHistory();
  void addItemAtHistory(const std::string& title, const std::string& withURL);

  // Edits made while a batch is open post one update notification when the
  // last batch closes (if anything changed) and start no favicon fetches.
  class Batch {
   public:
    explicit Batch(VeskBookmarkDatabase& db);
    ~Batch();
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;

   private:
    VeskBookmarkDatabase& db_;
  };

  // Back to a fresh store: nothing loaded, root path, history recording on (tests).
  void resetForTesting();

  std::string className() const override { return "VeskBookmarkDatabase"; }

 private:
  // The importer adds a whole file's folders and bookmarks in one pass over the live tree.
  friend class VeskBookmarkImporterFirefox;

  VeskBookmarkDatabase();
  ~VeskBookmarkDatabase() override;

  kit::MutableArray* tree();
  // The live item array of the folder at `path`, or null.
  kit::MutableArray* folderAt(const kit::Array* path, bool makeIfNotExist);
  kit::MutableArray* liveCurrentFolder();
  kit::MutableArray* historyFolder();
  void postUpdate();
  void postHistoryUpdate();
  void extractFolders(const kit::MutableArray& folder, const kit::Array* path, long depth, kit::MutableArray& out,
                      int level) const;
  // Every edit calls this before it touches the tree: the search index is
  // built again on the next search, and the tree is saved shortly after.
  // `anywhere`: the edit may change any item (an import), not only those it
  // reaches through folderAt.
  void treeChanged(bool anywhere = false);
  // The root item `item` changed: the next save copies it again.
  void rootItemChanged(const kit::Object* item);
  // Writes the tree to user defaults kSaveDelay seconds after the first of a
  // run of edits: a desktop program may end without warning, and a save per
  // visit would cost every page load a copy of the whole tree.
  void saveSoon();

  // The searchable fields of the whole tree laid out flat (see find).
  struct SearchIndex;
  std::unique_ptr<SearchIndex> index_;

  kit::Ref<kit::MutableArray> currentPath_;
  kit::Ref<kit::MutableArray> bookmark_;
  // The immutable copy of each root item as last saved, by the live item
  // (kept, so its address is not reused): a save copies only the items
  // changed since, and user defaults, seeing the others again, neither
  // copies nor measures them. While an edit is under way (from treeChanged
  // to the save) folderAt drops the copy of every root item it walks into.
  struct SavedItem {
    kit::Ref<kit::Object> live;
    kit::Ref<kit::Object> copy;
  };
  std::map<const kit::Object*, SavedItem> saved_;
  bool editing_ = false;
  std::vector<kit::NotificationCenter::Token> observers_;
  int batchDepth_ = 0;
  bool batchChanged_ = false;
};

}  // namespace tolva
