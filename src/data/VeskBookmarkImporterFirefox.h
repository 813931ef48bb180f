#pragma once
// Imports an HTML bookmark file (the format desktop browsers export: nested
// definition lists whose headings are folders and whose links are bookmarks)
// into the store's root folder "Imported".
//
// Each link is imported once, into the folder of the heading whose list
// holds it, however the HTML parser nests the unclosed DT and P elements of
// real exports: what counts is the nesting of the lists alone. Web and
// javascript: links are kept, others skipped. Nesting deeper than
// kMaxDepth folders goes into the deepest folder. The store announces the
// import once and fetches no site icons for it; it is saved at its next save.

#include <string>

#include "data/HtmlXPath.h"
#include "kit/foundation/Array.h"
#include "kit/foundation/Data.h"
#include "kit/foundation/Object.h"

namespace tolva {

class VeskBookmarkImporterFirefox : public kit::Object {
 public:
  static constexpr size_t kMaxDepth = 64;

  VeskBookmarkImporterFirefox() = default;

  // Counts of the last import.
  long importedBookmarks() const noexcept { return importedBookmarks_; }
  long importedFolders() const noexcept { return importedFolders_; }

  // The number of "dl" elements among the element's ancestors.
  static long findDepth(const HtmlXPathElement* element);
  // Imports the lists below the node `query` finds into folder `atPath`;
  // false when it holds no entry.
  bool parseQuery(const std::string& query, const kit::Array* atPath, HtmlXPath& withParser);
  // Imports the file at `path`.
  void import(const std::string& path);
  // Imports bookmark-file data (what import() does with the file's bytes).
  void importData(kit::Ref<kit::Data> data);

  std::string className() const override { return "VeskBookmarkImporterFirefox"; }

 private:
  long importedBookmarks_ = 0;
  long importedFolders_ = 0;
};

}  // namespace tolva
