#include "data/VeskBookmarkImporterFirefox.h"

#include <libxml/HTMLparser.h>
#include <strings.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "data/VeskBookmarkDatabase.h"
#include "kit/foundation/FileManager.h"
#include "kit/foundation/RunLoop.h"
#include "kit/foundation/String.h"

namespace tolva {

namespace {

using E = HtmlXPathElement;

// Between two slices the run loop gets a moment for drawing and input.
constexpr double kSliceGap = 0.001;

void lowerInto(std::string_view s, std::string& out) {
  out.assign(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

const std::string& text(const kit::Dictionary* node, const char* key) { return BookmarkItem::text(node, key); }

// "h1" to "h9" anywhere in the name.
bool isHeading(const std::string& name) {
  for (size_t i = 0; i + 1 < name.size(); ++i)
    if (name[i] == 'h' && name[i + 1] >= '1' && name[i + 1] <= '9') return true;
  return false;
}

std::string trimmed(std::string_view s) {
  const char* space = " \t\r\n\f\v";
  const size_t first = s.find_first_not_of(space);
  if (first == std::string_view::npos) return {};
  return std::string(s.substr(first, s.find_last_not_of(space) - first + 1));
}

// Web pages and bookmarklets; mail, file-transfer and the rest are skipped.
bool importable(const std::string& href) {
  std::string l;
  lowerInto(std::string_view(href).substr(0, 11), l);
  return l.starts_with("http:") || l.starts_with("https:") || l.starts_with("javascript:");
}

bool sameName(const char* a, const char* b) { return a && ::strcasecmp(a, b) == 0; }

std::string attribute(const kit::Dictionary* node, const char* name) {
  auto* list = node->get<kit::Array>(E::kNodeAttributeArray);
  for (size_t i = 0; list && i < list->count(); ++i) {
    auto* a = list->get<kit::Dictionary>(i);
    if (a && sameName(text(a, E::kAttributeName).c_str(), name)) return text(a, E::kNodeContent);
  }
  return {};
}

}  // namespace

// What one import finds, gathered apart from the store: the folders its
// headings name (a title met twice under one folder is one folder) and the
// bookmarks of each. The walk sees the document as element starts, texts and
// ends, in document order, from the element the import starts at down.
struct VeskBookmarkImporterFirefox::Gather {
  struct Folder {
    std::string title;
    size_t depth = 0;  // below the folder imported into
    std::vector<uint32_t> subfolders;
    std::vector<kit::Ref<kit::Object>> bookmarks;
  };
  enum class Role : uint8_t { Other, List, Entry };
  enum class Target : uint8_t { None, Heading, Link };

  std::vector<Folder> folders{Folder{}};  // [0]: the folder imported into
  std::unordered_map<std::string, uint32_t> byTitle;  // parent index bytes + title
  long bookmarkCount = 0;
  long folderCount = 0;
  bool entries = false;

  // The walk: the folder of each open list, the role of each open element.
  std::vector<uint32_t> lists{0};
  std::vector<Role> open;
  long pending = -1;  // the folder a heading names for the list that follows it
  size_t entryDepth = 0;  // open "dt" elements
  Target target = Target::None;  // a heading or a link being read; its children are not walked
  size_t targetNested = 0;
  std::string run, content, href, name;

  // Back to the start of a walk; what was gathered stays.
  void restart() {
    lists.assign(1, 0);
    open.clear();
    pending = -1;
    entryDepth = 0;
    target = Target::None;
  }

  // An element's own text is its last text child that is not blank.
  void endRun() {
    std::string t = trimmed(run);
    if (!t.empty()) content = std::move(t);
    run.clear();
  }

  void start(std::string_view element, std::string_view hrefValue) {
    if (target != Target::None) {
      if (targetNested++ == 0) endRun();
      return;
    }
    lowerInto(element, name);
    if (name == "dl") {
      lists.push_back(pending >= 0 ? static_cast<uint32_t>(pending) : lists.back());
      pending = -1;
      open.push_back(Role::List);
      return;
    }
    if (entryDepth > 0 && (isHeading(name) || name == "a")) {
      entries = true;
      target = name == "a" ? Target::Link : Target::Heading;
      if (target == Target::Link) pending = -1;
      targetNested = 0;
      run.clear();
      content.clear();
      href = trimmed(hrefValue);
      return;
    }
    if (name == "dt") {
      entries = true;
      ++entryDepth;
      open.push_back(Role::Entry);
      return;
    }
    open.push_back(Role::Other);
  }

  void characters(std::string_view chars) {
    if (target != Target::None && targetNested == 0) run.append(chars);
  }

  // A comment ends a run of text as an element does.
  void boundary() {
    if (target != Target::None && targetNested == 0) endRun();
  }

  void end() {
    if (target != Target::None) {
      if (targetNested > 0) {
        --targetNested;
        return;
      }
      endRun();
      if (target == Target::Link)
        addBookmark();
      else
        addHeading();
      target = Target::None;
      return;
    }
    if (open.empty()) return;
    const Role role = open.back();
    open.pop_back();
    if (role == Role::List) {
      if (lists.size() > 1) lists.pop_back();
      pending = -1;
    } else if (role == Role::Entry) {
      --entryDepth;
    }
  }

  void addHeading() {
    const uint32_t parent = lists.back();
    if (content.empty() || folders[parent].depth >= kMaxDepth) {
      pending = parent;  // deeper than we nest: into the deepest folder
      return;
    }
    std::string key(reinterpret_cast<const char*>(&parent), sizeof parent);
    key += content;
    auto [it, made] = byTitle.try_emplace(std::move(key), static_cast<uint32_t>(folders.size()));
    if (made) {
      Folder f;
      f.title = content;
      f.depth = folders[parent].depth + 1;
      folders.push_back(std::move(f));
      folders[parent].subfolders.push_back(it->second);
    }
    pending = it->second;
    ++folderCount;
  }

  void addBookmark() {
    if (!importable(href)) return;
    kit::Ref<kit::MutableDictionary> item = kit::MutableDictionary::dictionary();
    item->setObject(kit::str(content.empty() ? href : content), BookmarkItem::kTitle);
    item->setObject(kit::str(href), BookmarkItem::kURL);
    folders[lists.back()].bookmarks.push_back(std::move(item));
    ++bookmarkCount;
  }

  bool empty() const { return folders.size() == 1 && folders[0].bookmarks.empty(); }

  // ---- Into the store, in one pass over what was gathered

  // A new folder with everything gathered below it.
  kit::Ref<kit::Object> build(uint32_t index) {
    Folder& f = folders[index];
    kit::Ref<kit::MutableArray> items = kit::MutableArray::array();
    for (uint32_t sub : f.subfolders) items->addObject(build(sub));
    for (kit::Ref<kit::Object>& b : f.bookmarks) items->addObject(std::move(b));
    f.bookmarks = {};
    kit::Ref<kit::MutableDictionary> folder = kit::MutableDictionary::dictionary();
    folder->setObject(kit::str(f.title), BookmarkItem::kTitle);
    folder->setObject(items, BookmarkItem::kSubitems);
    return folder;
  }

  // Adds what was gathered for folder `index` to the store's folder `live`,
  // as adding each folder and bookmark in turn would: a folder title already
  // there (an item without "url") receives the new items, a new folder goes
  // after the leading folders, bookmarks go last.
  void apply(kit::MutableArray& live, uint32_t index) {
    Folder& f = folders[index];
    if (!f.subfolders.empty()) {
      std::unordered_map<std::string_view, kit::MutableDictionary*> existing;
      size_t lead = live.count();
      for (size_t i = 0; i < live.count(); ++i) {
        auto* item = live.get<kit::MutableDictionary>(i);
        if (item && !item->objectForKey(BookmarkItem::kURL)) existing.emplace(BookmarkItem::title(item), item);
        if (lead == live.count() && !BookmarkItem::url(live.get<kit::Dictionary>(i)).empty()) lead = i;
      }
      std::vector<kit::Ref<kit::Object>> added;
      for (uint32_t sub : f.subfolders) {
        auto it = existing.find(folders[sub].title);
        if (it == existing.end()) {
          added.push_back(build(sub));
          continue;
        }
        auto* items = it->second->get<kit::MutableArray>(BookmarkItem::kSubitems);
        if (!items) {
          kit::Ref<kit::MutableArray> made = kit::MutableArray::array();
          it->second->setObject(made, BookmarkItem::kSubitems);
          items = made.get();
        }
        apply(*items, sub);
      }
      if (!added.empty()) {
        std::vector<kit::Ref<kit::Object>> tail;
        for (size_t i = lead; i < live.count(); ++i) tail.emplace_back(live.objectAtIndex(i));
        while (live.count() > lead) live.removeLastObject();
        for (kit::Ref<kit::Object>& o : added) live.addObject(std::move(o));
        for (kit::Ref<kit::Object>& o : tail) live.addObject(std::move(o));
      }
    }
    for (kit::Ref<kit::Object>& b : f.bookmarks) live.addObject(std::move(b));
    f.bookmarks = {};
  }

  // Adds everything to the store's folder at `path` (the root when null), made when missing.
  void applyTo(const kit::Array* path) {
    if (empty()) return;
    VeskBookmarkDatabase* db = VeskBookmarkDatabase::getSharedInstance();
    kit::MutableArray* live = db->folderAt(path, true);
    if (!live) return;
    db->treeChanged(true);
    apply(*live, 0);
    db->postUpdate();
  }
};

// One import of a file's bytes, parsed as a stream.
struct VeskBookmarkImporterFirefox::Run {
  kit::Ref<kit::Data> data;
  size_t fed = 0;
  htmlParserCtxtPtr parser = nullptr;
  Gather gather;
  // Only what lies in the body of the document's root "html" is walked.
  size_t depth = 0;
  bool rootIsHtml = false;
  bool bodySeen = false;
  bool inBody = false;
  std::function<void(double)> progress;
  std::function<void()> done;

  ~Run() {
    // The parser's own state only: the library itself stays set up for its other users.
    if (parser) htmlFreeParserCtxt(parser);
  }

  static Run& of(void* user) { return *static_cast<Run*>(user); }
  static std::string_view view(const xmlChar* s) { return s ? reinterpret_cast<const char*>(s) : ""; }

  static void onStart(void* user, const xmlChar* name, const xmlChar** attributes) {
    Run& r = of(user);
    const char* n = reinterpret_cast<const char*>(name);
    ++r.depth;
    if (!r.inBody) {
      if (r.depth == 1) r.rootIsHtml = sameName(n, "html");
      if (r.depth != 2 || !r.rootIsHtml || r.bodySeen || !sameName(n, "body")) return;
      r.bodySeen = r.inBody = true;
    }
    std::string_view href;
    if (sameName(n, "a"))
      for (const xmlChar** a = attributes; a && a[0]; a += 2)
        if (sameName(reinterpret_cast<const char*>(a[0]), "href")) {
          href = view(a[1]);
          break;
        }
    r.gather.start(view(name), href);
  }

  static void onEnd(void* user, const xmlChar*) {
    Run& r = of(user);
    if (r.inBody) {
      r.gather.end();
      if (r.depth == 2) r.inBody = false;
    }
    if (r.depth > 0) --r.depth;
  }

  static void onText(void* user, const xmlChar* chars, int length) {
    Run& r = of(user);
    if (r.inBody && length > 0) r.gather.characters({reinterpret_cast<const char*>(chars), static_cast<size_t>(length)});
  }

  static void onComment(void* user, const xmlChar*) {
    Run& r = of(user);
    if (r.inBody) r.gather.boundary();
  }

  explicit Run(kit::Ref<kit::Data> bytes) : data(std::move(bytes)) {
    htmlSAXHandler sax{};
    sax.startElement = onStart;
    sax.endElement = onEnd;
    sax.characters = onText;
    sax.cdataBlock = onText;
    sax.comment = onComment;
    parser = htmlCreatePushParserCtxt(&sax, this, nullptr, 0, nullptr, XML_CHAR_ENCODING_NONE);
    // Huge: real exports nest deeper and run longer than the parser's default limits.
    if (parser) htmlCtxtUseOptions(parser, HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET | XML_PARSE_HUGE);
  }

  double fraction() const { return data->length() ? static_cast<double>(fed) / data->length() : 1.0; }

  // Parses the next slice; false when the whole document is parsed.
  bool parseSlice() {
    if (!parser) return false;
    const size_t n = std::min(kSliceBytes, data->length() - fed);
    const char* bytes = reinterpret_cast<const char*>(data->bytes()) + fed;
    fed += n;
    const bool last = fed == data->length();
    htmlParseChunk(parser, bytes, static_cast<int>(n), last ? 1 : 0);
    return !last;
  }
};

VeskBookmarkImporterFirefox::VeskBookmarkImporterFirefox() = default;
VeskBookmarkImporterFirefox::~VeskBookmarkImporterFirefox() = default;

long VeskBookmarkImporterFirefox::findDepth(const HtmlXPathElement* element) {
  long depth = 0;
  for (const HtmlXPathElement* e = element ? element->parent() : nullptr; e; e = e->parent())
    if (e->tagName() == "dl") ++depth;
  return depth;
}

bool VeskBookmarkImporterFirefox::parseQuery(const std::string& query, const kit::Array* atPath, HtmlXPath& parser) {
  Gather gather;
  struct Step {
    kit::Dictionary* node;
    bool leave;
  };
  for (const kit::Ref<HtmlXPathElement>& found : parser.searchWithXPathQuery(query)) {
    gather.restart();
    std::vector<Step> stack{{found->node(), false}};
    while (!stack.empty()) {
      const Step step = stack.back();
      stack.pop_back();
      if (step.leave) {
        gather.end();
        continue;
      }
      const std::string& name = text(step.node, E::kNodeName);
      gather.start(name, sameName(name.c_str(), "a") ? attribute(step.node, "href") : std::string());
      // A node's text stands before its children: it is the last text that counts.
      gather.characters(text(step.node, E::kNodeContent));
      stack.push_back({step.node, true});
      auto* children = step.node->get<kit::Array>(E::kNodeChildArray);
      for (size_t i = children ? children->count() : 0; i-- > 0;)
        if (auto* child = children->get<kit::Dictionary>(i)) stack.push_back({child, false});
    }
  }
  VeskBookmarkDatabase::Batch batch(*VeskBookmarkDatabase::getSharedInstance());
  gather.applyTo(atPath);
  importedBookmarks_ += gather.bookmarkCount;
  importedFolders_ += gather.folderCount;
  return gather.entries;
}

void VeskBookmarkImporterFirefox::begin(kit::Ref<kit::Data> data) {
  importedBookmarks_ = 0;
  importedFolders_ = 0;
  run_.reset();
  if (!data || data->length() == 0 || data->length() > static_cast<size_t>(INT_MAX)) return;
  run_ = std::make_unique<Run>(std::move(data));
}

bool VeskBookmarkImporterFirefox::step() {
  if (!run_) return false;
  if (run_->parseSlice()) return true;
  finish();
  return false;
}

void VeskBookmarkImporterFirefox::finish() {
  std::unique_ptr<Run> run = std::move(run_);
  VeskBookmarkDatabase* db = VeskBookmarkDatabase::getSharedInstance();
  // One announcement for the whole import, and no burst of icon fetches.
  VeskBookmarkDatabase::Batch batch(*db);
  kit::Ref<kit::Array> imported = db->makeImportedFolder();
  run->gather.applyTo(imported.get());
  importedBookmarks_ = run->gather.bookmarkCount;
  importedFolders_ = run->gather.folderCount;
}

void VeskBookmarkImporterFirefox::importData(kit::Ref<kit::Data> data) {
  begin(std::move(data));
  while (step()) {
  }
}

void VeskBookmarkImporterFirefox::import(const std::string& path) {
  importedBookmarks_ = 0;
  importedFolders_ = 0;
  readError_ = nullptr;
  kit::Ref<kit::Data> data = kit::FileManager::readFile(path, &readError_, kMaxFileBytes);
  if (data) importData(std::move(data));
}

void VeskBookmarkImporterFirefox::importInSlices(const std::string& path, std::function<void(double)> progress,
                                                 std::function<void()> done) {
  if (run_) return;
  importedBookmarks_ = 0;
  importedFolders_ = 0;
  readError_ = nullptr;
  kit::Ref<VeskBookmarkImporterFirefox> self(this);
  kit::RunLoop::main().performAfterDelay(this, "importSlice", nullptr, 0, [self, path, progress, done] {
    kit::Ref<kit::Data> data = kit::FileManager::readFile(path, &self->readError_, kMaxFileBytes);
    self->begin(std::move(data));
    if (!self->run_) {
      if (done) done();
      return;
    }
    self->run_->progress = progress;
    self->run_->done = done;
    self->scheduleSlice();
  });
}

void VeskBookmarkImporterFirefox::scheduleSlice() {
  kit::Ref<VeskBookmarkImporterFirefox> self(this);
  kit::RunLoop::main().performAfterDelay(this, "importSlice", nullptr, kSliceGap, [self] {
    if (!self->run_) return;
    if (self->run_->parseSlice()) {
      if (self->run_->progress) self->run_->progress(self->run_->fraction());
      self->scheduleSlice();
      return;
    }
    std::function<void()> done = std::move(self->run_->done);
    self->finish();
    if (done) done();
  });
}

}  // namespace tolva
