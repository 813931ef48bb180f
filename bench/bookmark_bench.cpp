// The bookmark store's speed: 10,000 recorded visits (over 2,000 pages, so
// repeats are found and moved up), then saving the tree (with 2,000
// bookmarks in 20 folders besides the history) to user defaults and the file,
// and loading it again from the file.
//
// Prints, as its last line:
//   record_us=<per visit> save_ms=<x> load_ms=<y>
// With --import FILE... it imports each file into a fresh store under a
// temporary home instead and prints one line per file, with the process's
// peak memory so far (run one file per process to measure each alone):
//   bookmarks=<n> folders=<m> ms=<t> peak_mb=<p> peak_x_file=<r> file=<path>
// With --write-import-files DIR it writes hostile files of the usual exported
// shape to import: DIR/links-100000.html (100,000 unclosed "<DT><A HREF=...>"
// lines in one list), DIR/nested-100000.html (100,000 nested lists around one
// link), DIR/siblings-20000.html (100,000 links in 20,000 sibling folders),
// DIR/samename-5000.html (100,000 links under 5,000 headings of one name) and
// DIR/nested-folders-2000000.html (2,000,000 nested folders, about 64 MB).
// With --big-save it times, on a tree of 100,000 links in 100 folders, a
// visit (the mean of 1,000) and the delayed save that follows one: the
// store's save into user defaults (on the main thread) and the write of the
// file (synchronize; the autosave does it on a thread of its own):
//   visit_us=<x> save_status_ms=<y> synchronize_ms=<z>
// With --rows it times what the bookmark list reads for one row: a folder
// holding 100,000 links, read as a row and as a whole item.
#include <stdlib.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "data/VeskBookmarkDatabase.h"
#include "data/VeskBookmarkImporterFirefox.h"
#include "kit/foundation/Bundle.h"
#include "kit/foundation/Dictionary.h"
#include "kit/foundation/Paths.h"
#include "kit/foundation/String.h"
#include "kit/foundation/UserDefaults.h"

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t0) { return std::chrono::duration<double, std::milli>(Clock::now() - t0).count(); }

// A fresh, empty home (and store) for one measurement.
std::string freshHome() {
  char home[] = "/tmp/tolva-bookmark-bench-XXXXXX";
  if (!::mkdtemp(home)) {
    std::perror("mkdtemp");
    std::exit(1);
  }
  ::setenv("TOLVA_HOME", home, 1);
  kit::Paths::reset();
  kit::UserDefaults::discardStandardUserDefaultsForTesting();
  tolva::VeskBookmarkDatabase* db = tolva::VeskBookmarkDatabase::getSharedInstance();
  db->resetForTesting();
  kit::Ref<kit::MutableArray> tree = kit::MutableArray::array();
  kit::Ref<kit::MutableDictionary> history = kit::MutableDictionary::dictionary();
  history->setObject(kit::str("History"), "title");
  history->setObject(kit::MutableArray::array(), "subitems");
  tree->addObject(history);
  db->setBookmark(tree);
  return home;
}

int writeImportFiles(const std::string& dir) {
  constexpr int kCount = 100000;
  const std::string head = "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n<META HTTP-EQUIV=\"Content-Type\" "
                           "CONTENT=\"text/html; charset=UTF-8\">\n<TITLE>Bookmarks</TITLE>\n<H1>Bookmarks</H1>\n";
  auto link = [](int i) {
    const std::string n = std::to_string(i);
    return "    <DT><A HREF=\"http://site" + n + ".test/page\" ADD_DATE=\"1600000000\">Site " + n + "</A>\n";
  };
  std::string links = head + "<DL><p>\n";
  for (int i = 0; i < kCount; ++i) links += link(i);
  links += "</DL><p>\n";
  std::string nested = head;
  for (int i = 0; i < kCount; ++i) nested += "<DL><p>\n";
  nested += "<DT><A HREF=\"http://deep.test/\">Deep</A>\n";
  for (int i = 0; i < kCount; ++i) nested += "</DL><p>\n";
  auto folders = [&](int count, bool sameName) {
    std::string out = head + "<DL><p>\n";
    for (int f = 0, i = 0; f < count; ++f) {
      out += "<DT><H3>" + (sameName ? std::string("Same") : "Folder " + std::to_string(f)) + "</H3>\n<DL><p>\n";
      for (int k = 0; k < kCount / count; ++k) out += link(i++);
      out += "</DL><p>\n";
    }
    return out + "</DL><p>\n";
  };
  std::string siblings = folders(20000, false);
  std::string sameName = folders(5000, true);
  std::string deep = head;
  for (int i = 0; i < 2000000; ++i) deep += "<DL><p><DT><H3>F" + std::to_string(i % 100) + "</H3>\n";
  deep += "<DL><p><DT><A HREF=\"http://deep.test/\">Deep</A>\n";
  for (const auto& [name, text] :
       {std::pair{"links-100000.html", &links}, std::pair{"nested-100000.html", &nested},
        std::pair{"siblings-20000.html", &siblings}, std::pair{"samename-5000.html", &sameName},
        std::pair{"nested-folders-2000000.html", &deep}}) {
    const std::string path = dir + "/" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(text->data(), 1, text->size(), f) != text->size() || std::fclose(f) != 0) {
      std::perror(path.c_str());
      return 1;
    }
    std::printf("%s\n", path.c_str());
  }
  return 0;
}

double peakMegabytes() {
  struct rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

int timeRows() {
  std::string home = freshHome();
  tolva::VeskBookmarkDatabase* db = tolva::VeskBookmarkDatabase::getSharedInstance();
  kit::Ref<kit::Array> folder(new kit::Array({kit::str("Big")}));
  {
    tolva::VeskBookmarkDatabase::Batch batch(*db);
    for (int i = 0; i < 100000; ++i) db->addItem("Site " + std::to_string(i), "http://site.test/" + std::to_string(i), folder.get());
  }
  db->gotoRoot();
  const size_t row = db->folderItemCount(nullptr) - 1;  // the folder "Big", after the History folder
  constexpr int kRounds = 200;
  auto t0 = Clock::now();
  for (int i = 0; i < kRounds; ++i) db->rowItemAt(row);
  const double rowUs = msSince(t0) * 1000 / kRounds;
  t0 = Clock::now();
  for (int i = 0; i < 10; ++i) db->getItemAt(row);
  const double wholeUs = msSince(t0) * 1000 / 10;
  std::printf("row_us=%.3f whole_item_us=%.3f\n", rowUs, wholeUs);
  std::filesystem::remove_all(home);
  return 0;
}

int timeBigSave() {
  std::string home = freshHome();
  tolva::VeskBookmarkDatabase* db = tolva::VeskBookmarkDatabase::getSharedInstance();
  {
    tolva::VeskBookmarkDatabase::Batch batch(*db);
    for (int f = 0; f < 100; ++f) {
      kit::Ref<kit::Array> folder(new kit::Array({kit::str("Folder " + std::to_string(f))}));
      for (int b = 0; b < 1000; ++b) {
        std::string n = std::to_string(f * 1000 + b);
        db->addItem("Bookmark " + n, "http://bookmark" + n + ".test/page", folder.get());
      }
    }
    for (int i = 0; i < 500; ++i)
      db->addItemAtHistory("Page " + std::to_string(i), "http://site" + std::to_string(i) + ".test/");
  }
  kit::UserDefaults& defaults = kit::UserDefaults::standardUserDefaults();
  db->saveStatus();
  defaults.synchronize();
  constexpr int kVisits = 1000;
  auto v0 = Clock::now();
  for (int i = 0; i < kVisits; ++i)
    db->addItemAtHistory("Visit " + std::to_string(i), "http://visit" + std::to_string(i % 700) + ".test/");
  const double visitUs = msSince(v0) * 1000 / kVisits;
  constexpr int kRounds = 20;
  double saveMs = 0, syncMs = 0;
  for (int i = 0; i < kRounds; ++i) {
    db->addItemAtHistory("Again " + std::to_string(i), "http://again" + std::to_string(i) + ".test/");
    auto t0 = Clock::now();
    db->saveStatus();
    saveMs += msSince(t0);
    t0 = Clock::now();
    defaults.synchronize();
    syncMs += msSince(t0);
  }
  defaults.synchronize();
  std::printf("visit_us=%.3f save_status_ms=%.3f synchronize_ms=%.3f\n", visitUs, saveMs / kRounds,
              syncMs / kRounds);
  std::filesystem::remove_all(home);
  return 0;
}

int importFiles(int argc, char** argv) {
  int failures = 0;
  for (int i = 2; i < argc; ++i) {
    std::string home = freshHome();
    kit::Ref<tolva::VeskBookmarkImporterFirefox> importer = kit::make<tolva::VeskBookmarkImporterFirefox>();
    auto t0 = Clock::now();
    importer->import(argv[i]);
    double ms = msSince(t0);
    const double fileMb = static_cast<double>(std::filesystem::file_size(argv[i])) / (1 << 20);
    std::printf("bookmarks=%ld folders=%ld ms=%.3f peak_mb=%.1f peak_x_file=%.1f file=%s\n",
                importer->importedBookmarks(), importer->importedFolders(), ms, peakMegabytes(),
                peakMegabytes() / fileMb, argv[i]);
    failures += importer->importedBookmarks() + importer->importedFolders() == 0 ? 1 : 0;
    std::filesystem::remove_all(home);
  }
  return failures ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  kit::Bundle::setMainBundlePath(TOLVA_RESOURCES_DIR);
  if (argc >= 2 && std::string(argv[1]) == "--import") return importFiles(argc, argv);
  if (argc == 3 && std::string(argv[1]) == "--write-import-files") return writeImportFiles(argv[2]);
  if (argc == 2 && std::string(argv[1]) == "--rows") return timeRows();
  if (argc == 2 && std::string(argv[1]) == "--big-save") return timeBigSave();

  std::string home = freshHome();
  tolva::VeskBookmarkDatabase* db = tolva::VeskBookmarkDatabase::getSharedInstance();
  for (int f = 0; f < 20; ++f) {
    kit::Ref<kit::Array> folder(new kit::Array({kit::str("Folder " + std::to_string(f))}));
    for (int b = 0; b < 100; ++b) {
      std::string n = std::to_string(f * 100 + b);
      db->addItem("Bookmark " + n, "http://bookmark" + n + ".test/page", folder.get());
    }
  }

  constexpr int kVisits = 10000;
  auto t0 = Clock::now();
  for (int i = 0; i < kVisits; ++i) {
    std::string n = std::to_string(i * 7919 % 2000);
    db->addItemAtHistory("Page " + n, "http://site" + n + ".test/article?id=" + n);
  }
  double recordUs = msSince(t0) * 1000 / kVisits;

  t0 = Clock::now();
  db->saveStatus();
  bool saved = kit::UserDefaults::standardUserDefaults().synchronize();
  double saveMs = msSince(t0);

  kit::UserDefaults::discardStandardUserDefaultsForTesting();
  db->resetForTesting();
  t0 = Clock::now();
  size_t loaded = db->nonFolderItemCount(nullptr) + db->folderItemCount(nullptr);
  double loadMs = msSince(t0);
  kit::Ref<kit::Array> history(new kit::Array({kit::str("History")}));
  bool ok = saved && loaded == 21 && db->getFolder(history.get())->count() == tolva::VeskBookmarkDatabase::kMaxHistory;

  std::filesystem::remove_all(home);
  if (!ok) std::printf("unexpected: saved=%d root_items=%zu\n", saved, loaded);
  std::printf("record_us=%.3f save_ms=%.3f load_ms=%.3f\n", recordUs, saveMs, loadMs);
  return ok ? 0 : 1;
}
