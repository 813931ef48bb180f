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
//
// The file is parsed as a stream, without building the document, and what it
// holds is gathered apart from the store and added in one step at the end:
// time and memory grow with the file alone, whatever its shape. The screen
// runs it in slices on the main run loop (importInSlices), so the window keeps
// drawing and shows how far it got; the store is changed on the main thread only.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "data/HtmlXPath.h"
#include "kit/foundation/Array.h"
#include "kit/foundation/Data.h"
#include "kit/foundation/Error.h"
#include "kit/foundation/Object.h"

namespace tolva {

class VeskBookmarkImporterFirefox : public kit::Object {
 public:
  static constexpr size_t kMaxDepth = 64;
  // Larger files are refused: exports are a few megabytes.
  static constexpr uint64_t kMaxFileBytes = uint64_t{128} << 20;
  // How much of the file one slice parses.
  static constexpr size_t kSliceBytes = 256 << 10;

  VeskBookmarkImporterFirefox();
  ~VeskBookmarkImporterFirefox() override;

  // Counts of the last import.
  long importedBookmarks() const noexcept { return importedBookmarks_; }
  long importedFolders() const noexcept { return importedFolders_; }
  // Why the last import's file could not be read; null when it was.
  kit::Error* readError() const noexcept { return readError_.get(); }

  // The number of "dl" elements among the element's ancestors.
  static long findDepth(const HtmlXPathElement* element);
  // Imports the lists below the node `query` finds into folder `atPath`;
  // false when it holds no entry.
  bool parseQuery(const std::string& query, const kit::Array* atPath, HtmlXPath& withParser);
  // Imports the file at `path`.
  void import(const std::string& path);
  // Imports bookmark-file data (what import() does with the file's bytes).
  void importData(kit::Ref<kit::Data> data);

  // Imports the file at `path` one slice at a time on the main run loop.
  // `progress` hears the share of the file done (0 to 1) after each slice;
  // `done` is called once at the end, with the counts and readError() set.
  void importInSlices(const std::string& path, std::function<void(double)> progress, std::function<void()> done);
  bool isImporting() const noexcept { return static_cast<bool>(run_); }

  std::string className() const override { return "VeskBookmarkImporterFirefox"; }

 private:
  struct Gather;
  struct Run;

  void begin(kit::Ref<kit::Data> data);
  // Parses the next slice; false once the whole file is parsed and added.
  bool step();
  void finish();
  void scheduleSlice();

  long importedBookmarks_ = 0;
  long importedFolders_ = 0;
  kit::Ref<kit::Error> readError_;
  std::unique_ptr<Run> run_;
};

}  // namespace tolva
