#include "data/VeskBookmarkDatabase.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "common/LocalizedText.h"
#include "data/VeskFaviconDatabase.h"
#include "kit/foundation/Bundle.h"
#include "kit/foundation/Date.h"
#include "kit/foundation/Number.h"
#include "kit/foundation/PropertyList.h"
#include "kit/foundation/RunLoop.h"
#include "kit/foundation/UTF8.h"
#include "kit/foundation/UserDefaults.h"
#include "kit/ui/AlertView.h"
#include "kit/ui/Application.h"
#include "settings/PrefSettingsNotification.h"

namespace tolva {

namespace {

using namespace BookmarkItem;

// Recording history is a class-wide option, on until the settings say otherwise.
bool gSaveHistory = true;
VeskBookmarkDatabase* gShared = nullptr;

kit::UserDefaults& defaults() { return kit::UserDefaults::standardUserDefaults(); }

kit::Dictionary* itemAt(const kit::Array& folder, size_t i) { return folder.get<kit::Dictionary>(i); }

// Folder look-up by path: an item without a "url" key.
bool hasNoURLKey(const kit::Dictionary* item) { return item && !item->objectForKey(kURL); }
// Counts and listings: an item whose "url" is missing or empty.
bool hasURL(const kit::Dictionary* item) { return !url(item).empty(); }

size_t countWithURL(const kit::Array& folder) {
  size_t n = 0;
  for (size_t i = 0; i < folder.count(); ++i) n += hasURL(itemAt(folder, i)) ? 1 : 0;
  return n;
}

size_t leadingFolders(const kit::Array& folder) {
  for (size_t i = 0; i < folder.count(); ++i)
    if (hasURL(itemAt(folder, i))) return i;
  return folder.count();
}

// A copy with mutable containers: the tree is edited in place.
kit::Ref<kit::Object> mutableDeepCopy(const kit::Object* o) {
  if (auto* a = dynamic_cast<const kit::Array*>(o)) {
    kit::Ref<kit::MutableArray> out = kit::MutableArray::array();
    for (size_t i = 0; i < a->count(); ++i) out->addObject(mutableDeepCopy(a->objectAtIndex(i)));
    return out;
  }
  if (auto* d = dynamic_cast<const kit::Dictionary*>(o)) {
    kit::Ref<kit::MutableDictionary> out = kit::MutableDictionary::dictionary();
    d->enumerate([&](kit::Object* k, kit::Object* v, bool&) { out->setObject(mutableDeepCopy(v), k); });
    return out;
  }
  return kit::Ref<kit::Object>(const_cast<kit::Object*>(o));
}

// A copy a caller may keep: no container of it is shared with the tree.
kit::Ref<kit::Dictionary> copyItem(const kit::Dictionary* item) {
  if (!item) return nullptr;
  kit::Ref<kit::Object> copy = kit::PropertyList::immutableDeepCopy(item);
  return kit::Ref<kit::Dictionary>(kit::cast<kit::Dictionary>(copy));
}

kit::Ref<kit::MutableArray> pathCopy(const kit::Array* path) {
  kit::Ref<kit::MutableArray> out = kit::MutableArray::array();
  if (path) out->addObjectsFromArray(*path);
  return out;
}

const std::string& pathTitle(const kit::Array* path, size_t i) {
  static const std::string empty;
  const kit::String* s = path ? path->get<kit::String>(i) : nullptr;
  return s ? s->str() : empty;
}

size_t pathLength(const kit::Array* path) { return path ? path->count() : 0; }

// Case ignored in every script ("Über" and "über" are one folder name).
bool equalsIgnoringCase(const std::string& a, const std::string& b) {
  return kit::utf8::foldedCase(a) == kit::utf8::foldedCase(b);
}

unsigned char asciiLower(unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; }

// The typed text of a search, its case folded once.
struct Needle {
  std::string text;
  explicit Needle(const std::string& typed) : text(kit::utf8::foldedCase(typed)) {}
  // Whether `haystack` holds the text, case ignored.
  bool foundIn(const std::string& haystack) const {
    const size_t m = text.size(), n = haystack.size();
    if (m == 0) return true;
    const auto* h = reinterpret_cast<const unsigned char*>(haystack.data());
    // ASCII, nearly every URL and most titles, is folded as it is compared,
    // with nothing allocated; anything else is folded whole first.
    if (!std::all_of(h, h + n, [](unsigned char c) { return c < 0x80; })) {
      const std::string folded = kit::utf8::foldedCase(haystack);
      return memmem(folded.data(), folded.size(), text.data(), m) != nullptr;
    }
    if (m > n) return false;
    const auto* t = reinterpret_cast<const unsigned char*>(text.data());
    for (size_t i = 0; i + m <= n; ++i) {
      if (asciiLower(h[i]) != t[0]) continue;
      size_t j = 1;
      while (j < m && asciiLower(h[i + j]) == t[j]) ++j;
      if (j == m) return true;
    }
    return false;
  }
};

// The fields a search reads from one item, read in one pass over its entries.
struct SearchFields {
  const std::string* url = nullptr;
  const std::string* title = nullptr;
  kit::Object* subitems = nullptr;
  long visits = 0;
};

const std::string* stringValue(kit::Object* o) {
  return o && o->kind() == kit::Kind::String ? &static_cast<kit::String*>(o)->str() : nullptr;
}

long numberValue(kit::Object* o) {
  return o && o->kind() == kit::Kind::Number ? static_cast<kit::Number*>(o)->integerValue() : 0;
}

bool keyIs(kit::Object* key, std::string_view name) {
  const std::string* s = stringValue(key);
  return s && *s == name;
}

SearchFields searchFieldsOf(const kit::Dictionary& item) {
  SearchFields f;
  constexpr size_t kRoom = 8;
  kit::Object* kv[2 * kRoom];
  const size_t n = item.count() <= kRoom ? item.storedEntries(0, kv, kRoom) : 0;
  if (n > 0 && n == item.count()) {
    for (size_t i = 0; i < n; ++i) {
      kit::Object* key = kv[2 * i];
      kit::Object* value = kv[2 * i + 1];
      if (keyIs(key, kURL))
        f.url = stringValue(value);
      else if (keyIs(key, kTitle))
        f.title = stringValue(value);
      else if (keyIs(key, kSubitems))
        f.subitems = value;
      else if (keyIs(key, kVisitCount))
        f.visits = numberValue(value);
    }
  } else {
    f.url = stringValue(item.objectForKey(kURL));
    f.title = stringValue(item.objectForKey(kTitle));
    f.subitems = item.objectForKey(kSubitems);
    f.visits = numberValue(item.objectForKey(kVisitCount));
  }
  return f;
}

// Visits a folder's items in order: `subfolder` gets the items of each
// folder where it stands, `searchable` each bookmark or history entry (an
// item with both a URL and a title). Fields that are no strings count as missing.
template <typename Subfolder, typename Searchable>
void eachSearchable(const kit::MutableArray& folder, Subfolder&& subfolder, Searchable&& searchable) {
  for (size_t i = 0; i < folder.count(); ++i) {
    kit::Object* o = folder.objectAtIndex(i);
    if (!o || o->kind() != kit::Kind::Dictionary) continue;
    auto* item = static_cast<kit::Dictionary*>(o);
    const SearchFields f = searchFieldsOf(*item);
    const bool hasURL = f.url && !f.url->empty();
    const bool hasTitle = f.title && !f.title->empty();
    if (!hasURL && hasTitle) {
      if (auto* sub = dynamic_cast<kit::MutableArray*>(f.subitems)) subfolder(*sub);
    } else if (hasURL && hasTitle) {
      searchable(item, f);
    }
  }
}

long visitCount(const kit::Dictionary* item) {
  auto* n = item ? item->get<kit::Number>(kVisitCount) : nullptr;
  return n ? n->integerValue() : 0;
}

// Sort groups: frequent pages, then bookmarks, then pages seen fewer than five times.
int group(long count) { return count >= 5 ? 0 : count == 0 ? 1 : 2; }

void sortByVisitCount(std::vector<kit::Dictionary*>& items) {
  std::stable_sort(items.begin(), items.end(), [](const kit::Dictionary* a, const kit::Dictionary* b) {
    return VeskBookmarkDatabase::compareBookmarkItemsByVisitCount(a, b) < 0;
  });
}

kit::Ref<kit::Array> copies(const std::vector<kit::Dictionary*>& items) {
  std::vector<kit::Ref<kit::Object>> out;
  out.reserve(items.size());
  for (kit::Dictionary* item : items) out.push_back(copyItem(item));
  return kit::Array::arrayWithObjects(std::move(out));
}

kit::Ref<kit::MutableDictionary> makeItem(std::initializer_list<std::pair<const char*, kit::Ref<kit::Object>>> kv) {
  kit::Ref<kit::MutableDictionary> d = kit::MutableDictionary::dictionary();
  for (const auto& [k, v] : kv) d->setObject(v, k);
  return d;
}

}  // namespace

// The searchable items of the whole tree in the order a search walks them
// (a folder's items where the folder stands), with their URLs and titles
// case-folded into two flat texts: a search scans those with memmem instead
// of visiting every dictionary, which keeps each keystroke's look-up fast
// on a large tree. Any edit drops the index (treeChanged).
struct VeskBookmarkDatabase::SearchIndex {
  struct Entry {
    kit::Ref<kit::Dictionary> item;
    long visits;
    kit::Ref<kit::Dictionary> copy;  // what searches hand out, made the first time one does
  };

  kit::Ref<kit::MutableArray> tree;
  // Each field is followed by a NUL; starts[i] is where entry i's field
  // begins and the last start is the text's end.
  std::string urls, titles;
  std::vector<uint32_t> urlStarts, titleStarts;
  std::vector<Entry> entries;

  explicit SearchIndex(kit::MutableArray* root) : tree(root) {
    add(*root);
    urlStarts.push_back(static_cast<uint32_t>(urls.size()));
    titleStarts.push_back(static_cast<uint32_t>(titles.size()));
  }

  void add(const kit::MutableArray& folder) {
    eachSearchable(
        folder, [this](const kit::MutableArray& sub) { add(sub); },
        [this](kit::Dictionary* item, const SearchFields& f) {
          entries.push_back({kit::Ref<kit::Dictionary>(item), f.visits, nullptr});
          append(urls, urlStarts, *f.url);
          append(titles, titleStarts, *f.title);
        });
  }

  void append(std::string& text, std::vector<uint32_t>& starts, const std::string& field) {
    starts.push_back(static_cast<uint32_t>(text.size()));
    kit::utf8::appendFoldedCase(text, field);
    text.push_back('\0');
  }

  // Sets hit[i] for every entry whose field holds `needle` (no NUL in it, so
  // a match never spans two fields).
  static void mark(const std::string& text, const std::vector<uint32_t>& starts, const std::string& needle,
                   std::vector<char>& hit) {
    const char* base = text.data();
    size_t pos = 0, entry = 0;
    while (pos < text.size()) {
      const void* found = memmem(base + pos, text.size() - pos, needle.data(), needle.size());
      if (!found) return;
      const size_t at = static_cast<size_t>(static_cast<const char*>(found) - base);
      while (starts[entry + 1] <= at) ++entry;
      hit[entry] = 1;
      pos = starts[entry + 1];
    }
  }

  kit::Ref<kit::Array> find(const std::string& needle, bool includeTitle) {
    std::vector<char> hit(entries.size(), needle.empty() ? 1 : 0);
    if (!needle.empty()) {
      mark(urls, urlStarts, needle, hit);
      if (includeTitle) mark(titles, titleStarts, needle, hit);
    }
    std::vector<uint32_t> order;
    for (size_t i = 0; i < entries.size(); ++i)
      if (hit[i]) order.push_back(static_cast<uint32_t>(i));
    std::stable_sort(order.begin(), order.end(), [this](uint32_t a, uint32_t b) {
      const long va = entries[a].visits, vb = entries[b].visits;
      const int ga = group(va), gb = group(vb);
      if (ga != gb) return ga < gb;
      return va > vb;
    });
    std::vector<kit::Ref<kit::Object>> out;
    out.reserve(order.size());
    for (uint32_t i : order) {
      Entry& e = entries[i];
      if (!e.copy) e.copy = copyItem(e.item.get());
      out.push_back(e.copy);
    }
    return kit::Array::arrayWithObjects(std::move(out));
  }
};

void VeskBookmarkDatabase::treeChanged(bool anywhere) {
  index_.reset();
  editing_ = true;
  if (anywhere) saved_.clear();
  saveSoon();
}

void VeskBookmarkDatabase::rootItemChanged(const kit::Object* item) { saved_.erase(item); }

void VeskBookmarkDatabase::saveSoon() {
  kit::RunLoop& loop = kit::RunLoop::main();
  if (loop.pendingPerformRequestCount(this) > 0) return;  // the pending save takes this edit along
  loop.performAfterDelay(this, "saveStatus", nullptr, kSaveDelay, [this] { saveStatus(); });
}

// ---- Shared instance

VeskBookmarkDatabase* VeskBookmarkDatabase::getSharedInstance() {
  if (!gShared) {
    gShared = new VeskBookmarkDatabase();
    gShared->retain();
    kit::NotificationCenter& center = kit::NotificationCenter::defaultCenter();
    auto reread = [](const kit::Notification&) {
      if (gShared) gShared->_settingsChanged();
    };
    gShared->observers_.push_back(center.addObserver(kAppSettingChanged, nullptr, reread));
    gShared->observers_.push_back(center.addObserver(kit::Application::kDidBecomeActiveNotification, nullptr, reread));
  }
  return gShared;
}

void VeskBookmarkDatabase::freeSharedInstance() {
  if (!gShared) return;
  VeskBookmarkDatabase* db = gShared;
  gShared = nullptr;
  db->observers_.clear();
  db->saveStatus();
  db->release();
}

VeskBookmarkDatabase::VeskBookmarkDatabase() = default;

VeskBookmarkDatabase::~VeskBookmarkDatabase() {
  kit::RunLoop::main().cancelPreviousPerformRequests(this);
  currentPath_ = nullptr;
  setBookmark(nullptr);
}

void VeskBookmarkDatabase::resetForTesting() {
  index_.reset();
  kit::RunLoop::main().cancelPreviousPerformRequests(this);
  gSaveHistory = true;
  currentPath_ = nullptr;
  bookmark_ = nullptr;
  saved_.clear();
  editing_ = false;
  batchDepth_ = 0;
  batchChanged_ = false;
}

// ---- Settings and persistence

void VeskBookmarkDatabase::_settingsChanged() {
  kit::UserDefaults::resetStandardUserDefaults();
  if (defaults().exists("opt_save_history")) gSaveHistory = defaults().boolForKey("opt_save_history");
}

bool VeskBookmarkDatabase::opt_saveHistory() const { return gSaveHistory; }

kit::MutableArray* VeskBookmarkDatabase::tree() {
  if (bookmark_) return bookmark_.get();
  kit::Ref<kit::Array> stored = defaults().arrayForKey(kDefaultsKey);
  if (!stored || stored->empty()) {
    std::string path = kit::Bundle::mainBundle()->pathForResource(kDefaultResource, "plist");
    kit::Ref<kit::Object> read = path.empty() ? nullptr : kit::PropertyList::readFromFile(path);
    stored = kit::cast<kit::Array>(read);
  }
  kit::Ref<kit::MutableArray> loaded = stored ? kit::Ref<kit::MutableArray>(kit::cast<kit::MutableArray>(
                                                    mutableDeepCopy(stored.get())))
                                              : nullptr;
  bookmark_ = loaded ? loaded : kit::MutableArray::array();
  return bookmark_.get();
}

kit::Ref<kit::Array> VeskBookmarkDatabase::bookmark() {
  return kit::Ref<kit::Array>(kit::cast<kit::Array>(kit::PropertyList::immutableDeepCopy(tree())));
}

void VeskBookmarkDatabase::setBookmark(kit::Ref<kit::MutableArray> tree) {
  treeChanged();
  if (!tree && bookmark_) saveStatus();
  bookmark_ = std::move(tree);
}

void VeskBookmarkDatabase::saveStatus() {
  if (!bookmark_) return;
  std::map<const kit::Object*, SavedItem> kept;
  std::vector<kit::Ref<kit::Object>> items;
  items.reserve(bookmark_->count());
  for (kit::Object* item : *bookmark_) {
    auto it = saved_.find(item);
    kit::Ref<kit::Object> copy = it != saved_.end() ? it->second.copy : kit::PropertyList::immutableDeepCopy(item);
    kept.insert_or_assign(item, SavedItem{kit::Ref<kit::Object>(item), copy});
    items.push_back(std::move(copy));
  }
  saved_ = std::move(kept);
  editing_ = false;
  defaults().setObject(kit::Array::arrayWithObjects(std::move(items)).get(), kDefaultsKey);
}

// ---- Current folder

kit::Ref<kit::Array> VeskBookmarkDatabase::currentPath() {
  if (!currentPath_) currentPath_ = kit::MutableArray::array();
  return kit::Ref<kit::Array>(kit::cast<kit::Array>(currentPath_->copy()));
}

void VeskBookmarkDatabase::setCurrentPath(const kit::Array* path) { currentPath_ = pathCopy(path); }

void VeskBookmarkDatabase::gotoRoot() { currentPath_ = nullptr; }

void VeskBookmarkDatabase::stepIn(const std::string& title) {
  if (!currentPath_) currentPath_ = kit::MutableArray::array();
  currentPath_->addObject(kit::str(title));
}

void VeskBookmarkDatabase::stepOut() {
  if (currentPath_ && !currentPath_->empty()) currentPath_->removeLastObject();
}

bool VeskBookmarkDatabase::root() const { return pathLength(currentPath_.get()) == 0; }

kit::MutableArray* VeskBookmarkDatabase::liveCurrentFolder() { return folderAt(currentPath_.get(), false); }

kit::Ref<kit::Array> VeskBookmarkDatabase::currentFolder() { return getFolder(currentPath_.get()); }

std::string VeskBookmarkDatabase::currentFolderName() const {
  size_t n = pathLength(currentPath_.get());
  return n ? pathTitle(currentPath_.get(), n - 1) : LocalizedText::localized("Bookmarks");
}

size_t VeskBookmarkDatabase::currentItemCount() {
  kit::MutableArray* folder = liveCurrentFolder();
  return folder ? folder->count() : 0;
}

size_t VeskBookmarkDatabase::currentNonFolderItemCount() { return nonFolderItemCount(currentPath_.get()); }

// ---- Look-up

kit::MutableArray* VeskBookmarkDatabase::folderAt(const kit::Array* path, bool makeIfNotExist) {
  kit::MutableArray* folder = tree();
  const size_t n = pathLength(path);
  const kit::Object* rootItem = nullptr;  // the root item the walk goes through
  for (size_t level = 0; level < n; ++level) {
    const std::string& want = pathTitle(path, level);
    kit::MutableDictionary* found = nullptr;
    for (size_t i = 0; i < folder->count() && !found; ++i) {
      auto* item = folder->get<kit::MutableDictionary>(i);
      if (hasNoURLKey(item) && title(item) == want) found = item;
    }
    if (found && level == 0) {
      rootItem = found;
      if (editing_) rootItemChanged(rootItem);
    }
    if (!found) {
      if (!makeIfNotExist) return nullptr;
      kit::Ref<kit::MutableArray> parent = kit::MutableArray::array();
      for (size_t i = 0; i < n; ++i) {
        if (i >= level) addFolder(pathTitle(path, i), parent.get());
        parent->addObject(kit::str(pathTitle(path, i)));
      }
      return folderAt(path, false);
    }
    auto* sub = found->get<kit::MutableArray>(kSubitems);
    if (!sub) {
      kit::Ref<kit::MutableArray> made = kit::MutableArray::array();
      found->setObject(made, kSubitems);
      sub = made.get();
      rootItemChanged(rootItem);  // stored with its new (empty) item list, as the tree has it now
    }
    folder = sub;
  }
  return folder;
}

kit::Ref<kit::Array> VeskBookmarkDatabase::getFolder(const kit::Array* path) { return getFolder(path, false); }

kit::Ref<kit::Array> VeskBookmarkDatabase::getFolder(const kit::Array* path, bool makeIfNotExist) {
  kit::MutableArray* folder = folderAt(path, makeIfNotExist);
  return folder ? kit::Ref<kit::Array>(kit::cast<kit::Array>(kit::PropertyList::immutableDeepCopy(folder))) : nullptr;
}

size_t VeskBookmarkDatabase::folderItemCount(const kit::Array* path) {
  kit::MutableArray* folder = folderAt(path, false);
  return folder ? leadingFolders(*folder) : 0;
}

size_t VeskBookmarkDatabase::nonFolderItemCount(const kit::Array* path) {
  kit::MutableArray* folder = folderAt(path, false);
  return folder ? countWithURL(*folder) : 0;
}

kit::Ref<kit::Dictionary> VeskBookmarkDatabase::getItemAt(size_t index, bool excludingFolders,
                                                          const kit::Array* path) {
  kit::MutableArray* folder = folderAt(path, false);
  if (!folder) return nullptr;
  if (excludingFolders) {
    const size_t bookmarks = countWithURL(*folder);
    if (index >= bookmarks) return nullptr;
    return copyItem(itemAt(*folder, index + (folder->count() - bookmarks)));
  }
  if (index >= folder->count()) return nullptr;
  return copyItem(itemAt(*folder, index));
}

kit::Ref<kit::Dictionary> VeskBookmarkDatabase::getItemAt(size_t index, bool excludingFolders) {
  return getItemAt(index, excludingFolders, currentPath_.get());
}

kit::Ref<kit::Dictionary> VeskBookmarkDatabase::getItemAt(size_t index) { return getItemAt(index, false); }

std::string VeskBookmarkDatabase::itemNameAt(size_t index) {
  kit::MutableArray* folder = liveCurrentFolder();
  return folder && index < folder->count() ? title(itemAt(*folder, index)) : std::string();
}

kit::Ref<kit::Dictionary> VeskBookmarkDatabase::rowItemAt(size_t index) {
  kit::MutableArray* folder = liveCurrentFolder();
  kit::Dictionary* item = folder && index < folder->count() ? itemAt(*folder, index) : nullptr;
  if (!item) return nullptr;
  kit::Ref<kit::MutableDictionary> row = kit::MutableDictionary::dictionary();
  item->enumerate([&](kit::Object* k, kit::Object* v, bool&) {
    if (!keyIs(k, kSubitems)) row->setObject(kit::PropertyList::immutableDeepCopy(v), k);
  });
  return kit::Ref<kit::Dictionary>(kit::cast<kit::Dictionary>(row->copy()));
}

void VeskBookmarkDatabase::extractFolders(const kit::MutableArray& folder, const kit::Array* path, long depth,
                                          kit::MutableArray& out, int level) const {
  for (size_t i = 0; i < folder.count(); ++i) {
    kit::Dictionary* item = itemAt(folder, i);
    if (!item || hasURL(item) || title(item).empty()) continue;
    // The history is no folder one files things into.
    if (level == 0 && pathLength(path) == 0 && title(item) == kHistoryFolder) continue;
    kit::Ref<kit::MutableArray> sub = pathCopy(path);
    sub->addObject(kit::str(title(item)));
    out.addObject(kit::Ref<kit::Dictionary>(new kit::Dictionary({{FolderListEntry::kPath, sub->copy()},
                                                                  {FolderListEntry::kTitle, kit::str(title(item))},
                                                                  {FolderListEntry::kDepth,
                                                                   kit::Number::numberWithInteger(depth)}})));
    if (auto* children = item->get<kit::MutableArray>(kSubitems))
      extractFolders(*children, sub.get(), depth + 1, out, level + 1);
  }
}

kit::Ref<kit::MutableArray> VeskBookmarkDatabase::extractFoldersAt(const kit::Array* path, long depth) {
  kit::Ref<kit::MutableArray> out = kit::MutableArray::array();
  if (kit::MutableArray* folder = folderAt(path, false)) extractFolders(*folder, path, depth, *out, 0);
  return out;
}

bool VeskBookmarkDatabase::Path(const kit::Array* a, const kit::Array* b) {
  const size_t nb = pathLength(b);
  if (pathLength(a) < nb) return false;
  for (size_t i = 0; i < nb; ++i)
    if (pathTitle(a, i) != pathTitle(b, i)) return false;
  return true;
}

int VeskBookmarkDatabase::comparePath(const kit::Array* a, const kit::Array* b) {
  const size_t na = pathLength(a), nb = pathLength(b);
  if (na == 0 && nb == 0) return 0;
  if (na == 0) return 1;
  if (nb == 0) return -1;
  if (na != nb) return na < nb ? -1 : 1;
  for (size_t i = 0; i < na; ++i) {
    int c = pathTitle(a, i).compare(pathTitle(b, i));
    if (c) return c < 0 ? -1 : 1;
  }
  return 0;
}

int VeskBookmarkDatabase::compareBookmarkItemsByVisitCount(const kit::Dictionary* a, const kit::Dictionary* b) {
  const long ka = visitCount(a), kb = visitCount(b);
  const int ga = group(ka), gb = group(kb);
  if (ga != gb) return ga < gb ? -1 : 1;
  if (ka == kb) return 0;
  return ka > kb ? -1 : 1;
}

namespace {

struct Match {
  kit::Dictionary* item;
  long visits;
};

// One folder's matches, each with its visit count read once; a subfolder's
// matches join its folder's, and each folder's are sorted as
// compareBookmarkItemsByVisitCount orders them.
void findIn(const kit::MutableArray& folder, const Needle& needle, bool includeTitle, std::vector<Match>& out) {
  std::vector<Match> level;
  eachSearchable(
      folder, [&](const kit::MutableArray& sub) { findIn(sub, needle, includeTitle, level); },
      [&](kit::Dictionary* item, const SearchFields& f) {
        if (needle.foundIn(*f.url) || (includeTitle && needle.foundIn(*f.title))) level.push_back({item, f.visits});
      });
  std::stable_sort(level.begin(), level.end(), [](const Match& a, const Match& b) {
    const int ga = group(a.visits), gb = group(b.visits);
    if (ga != gb) return ga < gb;
    return a.visits > b.visits;
  });
  out.insert(out.end(), level.begin(), level.end());
}

}  // namespace

kit::Ref<kit::Array> VeskBookmarkDatabase::find(const std::string& text, const kit::Array* at, bool includeTitle) {
  const Needle needle(text);
  // The whole tree's searches (every keystroke in the address field) go
  // through the index; a folder's, and a needle holding a NUL, walk.
  if (pathLength(at) == 0 && needle.text.find('\0') == std::string::npos) {
    kit::MutableArray* root = tree();
    if (!index_ || index_->tree.get() != root) index_ = std::make_unique<SearchIndex>(root);
    return index_->find(needle.text, includeTitle);
  }
  std::vector<Match> matches;
  if (kit::MutableArray* folder = folderAt(at, false)) findIn(*folder, needle, includeTitle, matches);
  std::vector<kit::Dictionary*> found;
  found.reserve(matches.size());
  for (const Match& m : matches) found.push_back(m.item);
  return copies(found);
}

kit::MutableArray* VeskBookmarkDatabase::historyFolder() {
  kit::Ref<kit::Array> path(new kit::Array({kit::str(kHistoryFolder)}));
  return folderAt(path.get(), false);
}

kit::Ref<kit::Array> VeskBookmarkDatabase::getTop50() {
  std::vector<kit::Dictionary*> top;
  if (kit::MutableArray* history = historyFolder())
    for (size_t i = 0; i < std::min(history->count(), kTopCount); ++i)
      if (kit::Dictionary* entry = itemAt(*history, i)) top.push_back(entry);
  sortByVisitCount(top);
  return copies(top);
}

// ---- Notifications

VeskBookmarkDatabase::Batch::Batch(VeskBookmarkDatabase& db) : db_(db) { ++db_.batchDepth_; }

VeskBookmarkDatabase::Batch::~Batch() {
  if (--db_.batchDepth_ > 0 || !db_.batchChanged_) return;
  db_.batchChanged_ = false;
  db_.postUpdate();
}

void VeskBookmarkDatabase::postUpdate() {
  if (batchDepth_ > 0) {
    batchChanged_ = true;
    return;
  }
  kit::NotificationCenter::defaultCenter().postNotification(kVeskBookmarkDatabaseUpdateNotification, this);
}

void VeskBookmarkDatabase::postHistoryUpdate() {
  kit::NotificationCenter::defaultCenter().postNotification(kVeskBookmarkDatabaseUpdateHistoryNotification, this);
}

// ---- Edits

void VeskBookmarkDatabase::addItem(const std::string& title, const std::string& url, const kit::Array* atFolder) {
  treeChanged();
  if (title.empty() || url.empty()) return;  // and no folders made for nothing
  kit::MutableArray* folder = folderAt(atFolder, true);
  if (!folder) return;
  folder->addObject(makeItem({{kTitle, kit::str(title)}, {kURL, kit::str(url)}}));
  postUpdate();
  if (batchDepth_ == 0) VeskFaviconDatabase::getSharedInstance()->makeFaviconAvailable(url);
}

void VeskBookmarkDatabase::addItem(const std::string& title, const std::string& url) {
  addItem(title, url, currentPath_.get());
}

bool VeskBookmarkDatabase::addFolder(const std::string& title, const kit::Array* atFolder) {
  treeChanged();
  kit::MutableArray* folder = folderAt(atFolder, false);
  if (!folder) return false;
  const size_t leading = leadingFolders(*folder);
  for (size_t i = 0; i < leading; ++i)
    if (BookmarkItem::title(itemAt(*folder, i)) == title) return false;
  folder->insertObject(makeItem({{kTitle, kit::str(title)}}), leading);
  postUpdate();
  return true;
}

bool VeskBookmarkDatabase::addFolder(const std::string& title) { return addFolder(title, currentPath_.get()); }

void VeskBookmarkDatabase::renameItem(size_t index, const std::string& name) {
  treeChanged();
  kit::MutableArray* folder = liveCurrentFolder();
  if (!folder || index >= folder->count()) return;
  const size_t folders = folder->count() - countWithURL(*folder);
  if (index < folders) {
    for (size_t i = 0; i < folder->count(); ++i) {
      kit::Dictionary* other = itemAt(*folder, i);
      if (i == index || hasURL(other)) continue;
      if (equalsIgnoringCase(title(other), name)) {
        kit::Ref<kit::AlertView> alert(new kit::AlertView(
            "", LocalizedText::localized("Failed to rename folder. Same folder name already exists."), nullptr,
            LocalizedText::localized("Cancel")));
        alert->show();
        return;
      }
    }
  }
  if (auto* item = folder->get<kit::MutableDictionary>(index)) {
    rootItemChanged(item);  // the item may be a root item itself
    item->setObject(kit::str(name), kTitle);
  }
  postUpdate();
}

void VeskBookmarkDatabase::updateUrlAt(size_t index, const std::string& url) {
  treeChanged();
  kit::MutableArray* folder = liveCurrentFolder();
  if (!folder || index >= folder->count()) return;
  if (auto* item = folder->get<kit::MutableDictionary>(index)) {
    rootItemChanged(item);  // the item may be a root item itself
    item->setObject(kit::str(url), kURL);
  }
  postUpdate();
}

void VeskBookmarkDatabase::deleteItemAt(size_t index) {
  treeChanged();
  kit::MutableArray* folder = liveCurrentFolder();
  if (!folder || index >= folder->count()) return;
  folder->removeObjectAtIndex(index);
  postUpdate();
}

void VeskBookmarkDatabase::moveItemTo(size_t from, size_t to) {
  treeChanged();
  kit::MutableArray* folder = liveCurrentFolder();
  if (!folder || from >= folder->count() || to >= folder->count()) return;
  kit::Ref<kit::Object> item(folder->objectAtIndex(from));
  folder->removeObjectAtIndex(from);
  folder->insertObject(item, to);
  postUpdate();
}

void VeskBookmarkDatabase::swapItemAt(size_t a, size_t b) {
  treeChanged();
  kit::MutableArray* folder = liveCurrentFolder();
  if (!folder || a >= folder->count() || b >= folder->count()) return;
  folder->exchangeObjectAtIndex(a, b);
  postUpdate();
}

bool VeskBookmarkDatabase::moveFolderFrom(const kit::Array* from, const kit::Array* to, const std::string& newName) {
  treeChanged();
  const size_t n = pathLength(from);
  // The root cannot move, nor can a folder go into itself or below itself.
  if (n == 0 || Path(to, from)) return false;
  kit::MutableArray* source = folderAt(from, false);
  if (!source) return false;
  const std::string name = newName.empty() ? pathTitle(from, n - 1) : newName;
  if (!addFolder(name, to)) return false;
  kit::Ref<kit::MutableArray> target = pathCopy(to);
  target->addObject(kit::str(name));
  kit::Ref<kit::MutableArray> keep(source);  // removing the source folder below releases it
  if (kit::MutableArray* made = folderAt(target.get(), false)) made->addObjectsFromArray(*keep);
  removeFolderAtPath(from);
  postUpdate();
  return true;
}

void VeskBookmarkDatabase::removeFolderAtPath(const kit::Array* path) {
  treeChanged();
  const size_t n = pathLength(path);
  if (n == 0) return;
  kit::Ref<kit::MutableArray> parentPath = pathCopy(path);
  parentPath->removeLastObject();
  kit::MutableArray* parent = folderAt(parentPath.get(), false);
  if (!parent) return;
  const std::string& name = pathTitle(path, n - 1);
  const size_t leading = leadingFolders(*parent);
  for (size_t i = 0; i < leading; ++i) {
    if (title(itemAt(*parent, i)) == name) {
      parent->removeObjectAtIndex(i);
      return;
    }
  }
}

kit::Ref<kit::Array> VeskBookmarkDatabase::makeImportedFolder() {
  const std::string name = LocalizedText::localized("Imported");
  kit::Ref<kit::Array> path(new kit::Array({kit::str(name)}));
  if (!folderAt(path.get(), false)) addFolder(name, nullptr);
  return path;
}

void VeskBookmarkDatabase::clearHistory() {
  treeChanged();
  if (kit::MutableArray* history = historyFolder()) history->removeAllObjects();
  postHistoryUpdate();
}

void VeskBookmarkDatabase::addItemAtHistory(const std::string& title, const std::string& url) {
  treeChanged();
  if (title.empty() || url.empty()) return;
  if (kit::MutableArray* history = historyFolder()) {
    long running = 0;
    for (size_t i = history->count(); i-- > 0;) {
      kit::Dictionary* entry = itemAt(*history, i);
      if (!entry || BookmarkItem::url(entry) != url) continue;
      if (auto* count = entry->get<kit::Number>(kVisitCount)) {
        running = count->integerValue();
        auto* last = entry->get<kit::Date>(kLastVisit);
        if (last && last->timeIntervalSinceNow() > -kRepeatVisitWindow) --running;
      }
      history->removeObjectAtIndex(i);
    }
    history->insertObject(makeItem({{kTitle, kit::str(title)},
                                    {kURL, kit::str(url)},
                                    {kVisitCount, kit::Number::numberWithInteger(running + 1)},
                                    {kLastVisit, kit::Date::date()}}),
                          0);
    while (history->count() > kMaxHistory) history->removeLastObject();
  }
  postHistoryUpdate();
}

}  // namespace tolva
