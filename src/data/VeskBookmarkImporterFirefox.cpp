#include "data/VeskBookmarkImporterFirefox.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "data/VeskBookmarkDatabase.h"
#include "kit/foundation/FileManager.h"
#include "kit/foundation/String.h"

namespace tolva {

namespace {

using E = HtmlXPathElement;

std::string lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

const std::string& text(const kit::Dictionary* node, const char* key) { return BookmarkItem::text(node, key); }

// "h1" to "h9" anywhere in the name.
bool isHeading(const std::string& name) {
  for (size_t i = 0; i + 1 < name.size(); ++i)
    if (name[i] == 'h' && name[i + 1] >= '1' && name[i + 1] <= '9') return true;
  return false;
}

std::string attribute(const kit::Dictionary* node, const std::string& name) {
  auto* list = node->get<kit::Array>(E::kNodeAttributeArray);
  for (size_t i = 0; list && i < list->count(); ++i) {
    auto* a = list->get<kit::Dictionary>(i);
    if (a && lower(text(a, E::kAttributeName)) == name) return text(a, E::kNodeContent);
  }
  return {};
}

// Web pages and bookmarklets; mail, file-transfer and the rest are skipped.
bool importable(const std::string& href) {
  const std::string l = lower(href.substr(0, 11));
  return l.starts_with("http:") || l.starts_with("https:") || l.starts_with("javascript:");
}

kit::Ref<kit::Array> below(const kit::Array* path, const std::string& title) {
  kit::Ref<kit::MutableArray> p = kit::MutableArray::array();
  if (path) p->addObjectsFromArray(*path);
  p->addObject(kit::str(title));
  return p;
}

}  // namespace

long VeskBookmarkImporterFirefox::findDepth(const HtmlXPathElement* element) {
  long depth = 0;
  for (const HtmlXPathElement* e = element ? element->parent() : nullptr; e; e = e->parent())
    if (e->tagName() == "dl") ++depth;
  return depth;
}

bool VeskBookmarkImporterFirefox::parseQuery(const std::string& query, const kit::Array* atPath, HtmlXPath& parser) {
  VeskBookmarkDatabase* db = VeskBookmarkDatabase::getSharedInstance();
  const size_t baseDepth = atPath ? atPath->count() : 0;
  bool entries = false;
  struct Step {
    kit::Dictionary* node;
    bool leave;  // the end of a list
    bool inEntry;
  };
  for (const kit::Ref<HtmlXPathElement>& found : parser.searchWithXPathQuery(query)) {
    // The folder of each open list; a heading names the folder of the list that follows it.
    std::vector<kit::Ref<kit::Array>> folders{kit::Ref<kit::Array>(const_cast<kit::Array*>(atPath))};
    std::optional<kit::Ref<kit::Array>> pending;
    std::vector<Step> stack{{found->node(), false, false}};
    while (!stack.empty()) {
      Step step = stack.back();
      stack.pop_back();
      if (step.leave) {
        if (folders.size() > 1) folders.pop_back();
        pending.reset();
        continue;
      }
      const std::string name = lower(text(step.node, E::kNodeName));
      if (name == "dl") {
        folders.push_back(pending ? *pending : folders.back());
        pending.reset();
        stack.push_back({step.node, true, step.inEntry});
      } else if (step.inEntry && isHeading(name)) {
        entries = true;
        const std::string& title = text(step.node, E::kNodeContent);
        const kit::Ref<kit::Array>& parent = folders.back();
        const size_t depth = (parent ? parent->count() : 0) - baseDepth;
        if (title.empty() || depth >= kMaxDepth) {
          pending = parent;  // deeper than we nest: into the deepest folder
        } else {
          pending = below(parent.get(), title);
          db->getFolder(pending->get(), true);
          ++importedFolders_;
        }
        continue;
      } else if (step.inEntry && name == "a") {
        entries = true;
        pending.reset();
        const std::string href = attribute(step.node, "href");
        if (!importable(href)) continue;
        const std::string& title = text(step.node, E::kNodeContent);
        db->addItem(title.empty() ? href : title, href, folders.back().get());
        ++importedBookmarks_;
        continue;
      }
      if (name == "dt") entries = true;
      auto* children = step.node->get<kit::Array>(E::kNodeChildArray);
      const bool inEntry = step.inEntry || name == "dt";
      for (size_t i = children ? children->count() : 0; i-- > 0;)
        if (auto* child = children->get<kit::Dictionary>(i)) stack.push_back({child, false, inEntry});
    }
  }
  return entries;
}

void VeskBookmarkImporterFirefox::importData(kit::Ref<kit::Data> data) {
  importedBookmarks_ = 0;
  importedFolders_ = 0;
  if (!data || data->length() == 0) return;
  VeskBookmarkDatabase* db = VeskBookmarkDatabase::getSharedInstance();
  // One announcement for the whole import, and no burst of icon fetches.
  VeskBookmarkDatabase::Batch batch(*db);
  kit::Ref<HtmlXPath> parser = HtmlXPath::xpathWithHTMLData(std::move(data));
  kit::Ref<kit::Array> imported = db->makeImportedFolder();
  if (!parseQuery("/html/body", imported.get(), *parser)) parseQuery("/html/body/dl", imported.get(), *parser);
}

void VeskBookmarkImporterFirefox::import(const std::string& path) {
  importedBookmarks_ = 0;
  importedFolders_ = 0;
  importData(kit::FileManager::readFile(path));
}

}  // namespace tolva
