// libFuzzer entry point for the bookmark-file import and its XPath wrapper.
//
// Every input is imported into a store that starts with an empty tree, then
// queried; nothing may crash or leak, the counts may never exceed what the
// store then holds, and no folder may lie deeper than the import's cap.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "data/HtmlXPath.h"
#include "data/VeskBookmarkDatabase.h"
#include "data/VeskBookmarkImporterFirefox.h"
#include "kit/foundation/Array.h"
#include "kit/foundation/Data.h"
#include "kit/foundation/Dictionary.h"
#include "kit/foundation/Paths.h"
#include "kit/foundation/String.h"

namespace {

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "bookmark_import_fuzz: %s\n", what);
  std::abort();
}

kit::Ref<kit::MutableArray> emptyTree() {
  kit::Ref<kit::MutableArray> tree = kit::MutableArray::array();
  kit::Ref<kit::MutableDictionary> history = kit::MutableDictionary::dictionary();
  history->setObject(kit::str("History"), "title");
  history->setObject(kit::MutableArray::array(), "subitems");
  tree->addObject(history);
  return tree;
}

// Bookmarks and folders below `folder`; the deepest folder level in `depth`.
void count(const kit::Array* folder, long level, long& bookmarks, long& folders, long& depth) {
  if (level > depth) depth = level;
  for (size_t i = 0; folder && i < folder->count(); ++i) {
    auto* item = folder->get<kit::Dictionary>(i);
    if (!item) continue;
    auto* url = item->get<kit::String>("url");
    if (url && !url->empty()) {
      ++bookmarks;
    } else {
      ++folders;
      count(item->get<kit::Array>("subitems"), level + 1, bookmarks, folders, depth);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  static std::string home = "/tmp/bookmark_import_fuzz.XXXXXX";
  if (!mkdtemp(home.data())) fail("no temporary home");
  setenv("TOLVA_HOME", home.c_str(), 1);
  kit::Paths::reset();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tolva::VeskBookmarkDatabase* db = tolva::VeskBookmarkDatabase::getSharedInstance();
  db->setBookmark(emptyTree());
  kit::Ref<kit::Data> bytes = kit::Data::dataWithBytes(data, size);
  kit::Ref<tolva::VeskBookmarkImporterFirefox> importer = kit::make<tolva::VeskBookmarkImporterFirefox>();
  importer->importData(bytes);

  kit::Ref<kit::Array> imported(new kit::Array({kit::str("Imported")}));
  long bookmarks = 0, folders = 0, depth = 0;
  count(db->getFolder(imported.get()).get(), 0, bookmarks, folders, depth);
  if (bookmarks != importer->importedBookmarks()) fail("bookmark count differs from the tree");
  if (folders > importer->importedFolders()) fail("more folders than counted");
  if (depth > static_cast<long>(tolva::VeskBookmarkImporterFirefox::kMaxDepth)) fail("nesting beyond the cap");

  kit::Ref<tolva::HtmlXPath> xml = tolva::HtmlXPath::xpathWithXMLData(bytes);
  for (const auto& e : xml->searchWithXPathQuery("//*[@href]")) (void)e->attributes();
  return 0;
}
