// The download manager against loopback servers: downloads, pause and resume, names, rename,
// removal, failures and the list a previous run left behind.

#include <sys/stat.h>
#include <unistd.h>

#include "DownloadTest.h"
#include "downloads/VeskDownloadCellText.h"
#include "downloads/VeskDownloadTableViewCell.h"
#include "kit/foundation/Number.h"
#include "kit/foundation/String.h"
#include "kit/ui/Label.h"
#include "kit/ui/ProgressView.h"
#include "support/PseudoRandomBody.h"
#include "support/TestHTTPServer.h"

using namespace tolva;
using namespace tolvatest;
using downloadtest::DownloadTest;
using kit::Ref;

namespace {

// A file that stalls after its first `stallAt` bytes unless asked for a range; a range is
// answered with 206 (or ignored with a plain 200 when honorRange is off).
void routeResumable(TestHTTPServer& server, const std::string& path, std::shared_ptr<const std::string> body,
                    uint64_t stallAt, bool honorRange) {
  server.route("GET", path, [=](const RecordedRequest& r) {
    const std::string range = r.headers.value("Range");
    if (!range.empty() && honorRange) {
      const uint64_t from = std::stoull(range.substr(6));
      TestResponse resp = TestResponse::withStatus(206, body->substr(from));
      resp.header("Content-Range", "bytes " + std::to_string(from) + "-" + std::to_string(body->size() - 1) + "/" +
                                       std::to_string(body->size()));
      return resp;
    }
    TestResponse resp = TestResponse::ok(*body, "application/octet-stream");
    if (range.empty()) resp.stallAfterBody(stallAt, TestResponse::untilStop);
    return resp;
  });
}

Ref<kit::MutableDictionary> storedEntry(const std::string& url, const std::string& file, int status,
                                        int64_t contentSize, const std::string& temp) {
  auto e = kit::MutableDictionary::dictionary();
  e->setObject(kit::str(url), "url");
  e->setObject(kit::str(file), "filePath");
  e->setObject(kit::Number::numberWithBool(false), "filePathFixed");
  e->setObject(kit::Number::numberWithInt(status), "status");
  e->setObject(kit::Number::numberWithLongLong(contentSize), "content_size");
  e->setObject(kit::Number::numberWithLongLong(0), "received");
  e->setObject(kit::str(temp), "temporaryPath");
  return e;
}

TEST_F(DownloadTest, DownloadsWithProgressIntoTheDocumentsFolder) {
  TestHTTPServer server;
  auto body = std::make_shared<PseudoRandomBody>(700000, 2);
  server.route("GET", "/files/report.pdf", TestResponse::generated(body));
  Ref<VeskDownloadTableViewCell> cell = VeskDownloadTableViewCell::loadFromInterfaceFile();
  ASSERT_TRUE(cell);

  const long index = manager()->start(server.url("/files/report.pdf"));
  EXPECT_EQ(index, 0);
  EXPECT_EQ(manager()->state(0), DownloadStatusQueued);
  const std::string temp = field(0, "temporaryPath");
  EXPECT_EQ(temp.rfind(VeskDownloadManager::temporaryFolder() + "/", 0), 0u);
  struct stat st {};
  ASSERT_EQ(::stat(VeskDownloadManager::temporaryFolder().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  manager()->connectToTableViewCell(0, cell.get());
  cell->setRow(0);

  ASSERT_TRUE(waitForState(0, DownloadStatusCompleted));
  EXPECT_EQ(manager()->pathOfItem(0), documents("report.pdf"));
  EXPECT_TRUE(read(documents("report.pdf")) == body->bytes(0, 700000));
  EXPECT_FALSE(kit::FileManager::fileExists(temp));
  EXPECT_EQ(cell->current(), 700000);
  EXPECT_EQ(cell->total(), 700000);
  EXPECT_DOUBLE_EQ(cell->progress()->progress(), 1.0);
  EXPECT_EQ(cell->filename()->text(), "report.pdf");
  EXPECT_EQ(cell->info()->text(), "683KB Download completed.\n" + server.url("/files/report.pdf"));
  EXPECT_TRUE(manager()->completedItem(0));

  // The list was saved as it finished.
  manager()->resetForTesting();
  EXPECT_EQ(manager()->count(), 1);
  EXPECT_EQ(manager()->state(0), DownloadStatusCompleted);
  EXPECT_EQ(field(0, "content_size"), "700000");
}

TEST_F(DownloadTest, PauseThenResumeAppendsThe206) {
  TestHTTPServer server;
  auto body = std::make_shared<const std::string>(PseudoRandomBody(400000, 7).bytes(0, 400000));
  routeResumable(server, "/big.bin", body, 150000, true);
  manager()->start(server.url("/big.bin"));
  ASSERT_TRUE(waitFor([] { return std::stoll(field(0, "received")) >= 150000; }));
  EXPECT_EQ(manager()->state(0), DownloadStatusDownloading);
  // The expected size was saved as soon as it was known.
  Ref<kit::Array> stored = kit::UserDefaults::standardUserDefaults().arrayForKey(VeskDownloadManager::kDefaultsKey);
  ASSERT_TRUE(stored && stored->count() == 1);
  EXPECT_EQ(stored->get<kit::Dictionary>(0)->objectForKey("content_size")->description(), "400000");
  manager()->pause(0);
  EXPECT_EQ(manager()->state(0), DownloadStatusPaused);
  EXPECT_EQ(manager()->requestOfItem(0), nullptr);
  settle(0.2);
  EXPECT_EQ(manager()->state(0), DownloadStatusPaused);  // the cancel is no failure
  const uint64_t onDisk = kit::FileManager::fileSize(field(0, "temporaryPath")).value_or(0);
  EXPECT_EQ(onDisk, 150000u);

  manager()->resume(0);
  manager()->resume(0);  // a second click starts nothing more
  ASSERT_TRUE(waitForState(0, DownloadStatusCompleted));
  ASSERT_EQ(server.requestsFor("/big.bin").size(), 2u);
  EXPECT_EQ(server.lastRequest()->headers.value("Range"), "bytes=" + std::to_string(onDisk) + "-");
  EXPECT_TRUE(read(documents("big.bin")) == *body);
}

TEST_F(DownloadTest, AServerIgnoringTheRangeRestartsCleanly) {
  TestHTTPServer server;
  auto body = std::make_shared<const std::string>(PseudoRandomBody(300000, 8).bytes(0, 300000));
  routeResumable(server, "/whole.bin", body, 100000, false);
  manager()->start(server.url("/whole.bin"));
  ASSERT_TRUE(waitFor([] { return std::stoll(field(0, "received")) >= 100000; }));
  manager()->pause(0);
  manager()->resume(0);
  ASSERT_TRUE(waitForState(0, DownloadStatusCompleted));
  EXPECT_EQ(server.lastRequest()->headers.value("Range"), "bytes=100000-");
  EXPECT_TRUE(read(documents("whole.bin")) == *body);
}

TEST_F(DownloadTest, NamesNeverCollideAndStayInTheirFolders) {
  TestHTTPServer server;
  server.routePrefix("GET", "/", TestResponse::ok("x"));
  const long a = manager()->start(server.url("/report.pdf"));
  const long b = manager()->start(server.url("/report.pdf"));
  EXPECT_EQ(manager()->pathOfItem(a), documents("report.pdf"));
  EXPECT_EQ(manager()->pathOfItem(b), documents("report2.pdf"));
  EXPECT_NE(field(a, "temporaryPath"), field(b, "temporaryPath"));
  ASSERT_TRUE(waitForState(a, DownloadStatusCompleted));
  ASSERT_TRUE(waitForState(b, DownloadStatusCompleted));
  EXPECT_EQ(manager()->pathOfItem(manager()->start(server.url("/report.pdf"))), documents("report3.pdf"));

  EXPECT_EQ(manager()->pathOfItem(manager()->start(server.url("/_report-final_.pdf"))), documents("report-final.pdf"));
  // A decoded "%2F" is a slash: only the last component is kept.
  EXPECT_EQ(manager()->pathOfItem(manager()->start(server.url("/a/..%2F..%2Fevil.txt"))), documents("evil.txt"));
  EXPECT_EQ(manager()->pathOfItem(manager()->start(server.url("/x"), std::string("../../up/given.zip"))),
            documents("given.zip"));
  EXPECT_EQ(manager()->pathOfItem(manager()->start(server.url("/y.bin"), std::string(".."))), documents("y.bin"));
  // A given name without an extension takes the address's.
  EXPECT_EQ(manager()->pathOfItem(manager()->start(server.url("/files/report.pdf"), std::string("mine"))),
            documents("mine.pdf"));
  EXPECT_EQ(manager()->extractValidFilename("...", "", false), documents("download"));
  EXPECT_EQ(manager()->extractValidFilename("a\x01z", "t\x7fx", false), documents("a_z.t_x"));
  EXPECT_EQ(manager()->extractValidFilename(std::string(300, 'n'), "txt", true).size(),
            VeskDownloadManager::temporaryFolder().size() + 1 + 200 + 4);
  // Symbolic links count as taken names.
  ASSERT_EQ(::symlink("/etc/passwd", documents("link.txt").c_str()), 0);
  EXPECT_EQ(manager()->extractValidFilename("link", "txt", false), documents("link2.txt"));
  EXPECT_EQ(VeskDownloadManager::singleComponent("."), "");
  EXPECT_EQ(VeskDownloadManager::singleComponent("a/b"), "b");
  for (long i = 0; i < manager()->count(); ++i) waitFor([i] { return !manager()->requestOfItem(i); });
}

TEST_F(DownloadTest, RenameNeverReplacesAndRemoveDeletesOnlyWhatIsOurs) {
  TestHTTPServer server;
  server.routePrefix("GET", "/", TestResponse::ok("contents"));
  manager()->start(server.url("/one.txt"));
  ASSERT_TRUE(waitForState(0, DownloadStatusCompleted));
  ASSERT_TRUE(kit::FileManager::writeFile(documents("taken.txt"), "someone else's"));
  EXPECT_EQ(manager()->renameItem(0, "taken.txt"), EEXIST);
  EXPECT_EQ(read(documents("taken.txt")), "someone else's");
  EXPECT_EQ(manager()->renameItem(0, ""), EINVAL);
  EXPECT_EQ(manager()->renameItem(0, ".."), EINVAL);
  EXPECT_EQ(manager()->renameItem(0, "sub/dir.txt"), EINVAL);
  EXPECT_EQ(manager()->renameItem(0, "new name.txt"), 0);
  EXPECT_EQ(manager()->pathOfItem(0), documents("new name.txt"));
  EXPECT_EQ(read(documents("new name.txt")), "contents");
  EXPECT_FALSE(kit::FileManager::fileExists(documents("one.txt")));

  // A name another entry holds is refused even while its file does not exist yet.
  TestHTTPServer slow;
  slow.route("GET", "/held.txt", TestResponse::ok(std::string(1000, 'h')).stallAfterBody(10, TestResponse::untilStop));
  manager()->start(slow.url("/held.txt"));
  EXPECT_EQ(manager()->renameItem(0, "held.txt"), EEXIST);

  // An unfinished entry's file path is not ours: removing it leaves a file found there alone.
  ASSERT_TRUE(kit::FileManager::writeFile(documents("held.txt"), "not the download"));
  const std::string heldTemp = field(1, "temporaryPath");
  // Removed once its partial file is there, so that the removal has something to stop.
  ASSERT_TRUE(waitFor([&] { return kit::FileManager::fileExists(heldTemp); }));
  manager()->remove(1);
  EXPECT_EQ(read(documents("held.txt")), "not the download");
  // A new download of the same name, started while the removed one is still stopping, keeps
  // its partial file.
  // (The name comes free again only once the removed one has stopped, which a fast cancel
  // may reach before the new start.)
  const long again = manager()->start(slow.url("/held.txt"));
  const std::string againTemp = field(again, "temporaryPath");
  if (againTemp != heldTemp) {
    EXPECT_TRUE(waitFor([&] { return !kit::FileManager::fileExists(heldTemp); }));
  }
  settle(0.3);
  if (againTemp != heldTemp) {
    EXPECT_FALSE(kit::FileManager::fileExists(heldTemp));
  }
  EXPECT_TRUE(waitFor([&] { return kit::FileManager::fileExists(againTemp); }));
  manager()->remove(again);
  manager()->remove(0);
  EXPECT_FALSE(kit::FileManager::fileExists(documents("new name.txt")));
  EXPECT_EQ(manager()->count(), 0);
  manager()->remove(0);  // out of range: nothing
}

TEST_F(DownloadTest, AnErrorStatusFailsWithTheStatusAndKeepsThePartialFile) {
  TestHTTPServer server;
  server.route("GET", "/gone.zip", TestResponse::withStatus(404, "not here"));
  Ref<VeskDownloadTableViewCell> cell = VeskDownloadTableViewCell::loadFromInterfaceFile();
  manager()->start(server.url("/gone.zip"));
  manager()->connectToTableViewCell(0, cell.get());
  ASSERT_TRUE(waitForState(0, DownloadStatusFailed));
  EXPECT_NE(manager()->failureTextOfItem(0).find("404"), std::string::npos);
  EXPECT_NE(cell->info()->text().find("Download failed. (HTTP 404)"), std::string::npos);
  EXPECT_TRUE(kit::FileManager::fileExists(field(0, "temporaryPath")));
  EXPECT_FALSE(kit::FileManager::fileExists(documents("gone.zip")));

  // Not a URL: failed at once; pausing an entry without a request is safe.
  const long bad = manager()->start("not a url at all");
  EXPECT_EQ(manager()->state(bad), DownloadStatusFailed);
  manager()->pause(bad);
  EXPECT_EQ(manager()->state(bad), DownloadStatusFailed);
  manager()->removeAllFailed();
  EXPECT_EQ(manager()->count(), 0);
  EXPECT_EQ(manager()->state(0), DownloadStatusFailed);  // out of range

  // A folder for partial files that is not ours alone stops the download with the reason.
  const std::string folder = VeskDownloadManager::temporaryFolder();
  ASSERT_TRUE(kit::FileManager::removeItem(folder));
  ASSERT_TRUE(kit::FileManager::createDirectory(folder + ".elsewhere"));
  ASSERT_EQ(::symlink((folder + ".elsewhere").c_str(), folder.c_str()), 0);
  const long unsafe = manager()->start(server.url("/gone.zip"));
  EXPECT_EQ(manager()->state(unsafe), DownloadStatusFailed);
  EXPECT_NE(manager()->failureTextOfItem(unsafe).find("is not a private folder of this user"), std::string::npos);
  EXPECT_EQ(server.requestsFor("/gone.zip").size(), 1u);
}

TEST_F(DownloadTest, ARedirectRenamesUnlessTheNameWasGiven) {
  TestHTTPServer server;
  server.redirect("/get", "/files/real.zip");
  server.route("GET", "/files/real.zip", TestResponse::ok("zip"));
  manager()->start(server.url("/get"));
  manager()->start(server.url("/get"), std::string("mine.zip"));
  ASSERT_TRUE(waitForState(0, DownloadStatusCompleted));
  ASSERT_TRUE(waitForState(1, DownloadStatusCompleted));
  EXPECT_EQ(manager()->pathOfItem(0), documents("real.zip"));
  EXPECT_EQ(manager()->urlOfItem(0), server.url("/files/real.zip"));
  EXPECT_EQ(manager()->pathOfItem(1), documents("mine.zip"));
  EXPECT_EQ(read(documents("mine.zip")), "zip");

  // A new address without a name is named by its host, as a new download is.
  server.redirect("/bare", "/");
  server.route("GET", "/", TestResponse::ok("index"));
  manager()->start(server.url("/bare"));
  ASSERT_TRUE(waitForState(2, DownloadStatusCompleted));
  EXPECT_EQ(manager()->pathOfItem(2), documents("127.0.0.1"));
}

TEST_F(DownloadTest, TheListOfAPreviousRunComesBackPausedOrInPlace) {
  const std::string temp = VeskDownloadManager::temporaryFolder();
  ASSERT_TRUE(kit::FileManager::writeFile(temp + "/done.bin", "12345"));
  ASSERT_TRUE(kit::FileManager::writeFile(temp + "/half.bin", "12"));
  ASSERT_TRUE(kit::FileManager::writeFile(documents("done.bin"), "a file already there"));
  auto list = kit::MutableArray::array();
  list->addObject(storedEntry("http://127.0.0.1:9/done.bin", documents("done.bin"), 1, 5, temp + "/done.bin"));
  // Stored under an older data root: found again by name in today's folders.
  list->addObject(
      storedEntry("http://127.0.0.1:9/half.bin", "/old/root/Documents/half.bin", 1, 5, "/old/root/tmp/Downloads/half.bin"));
  list->addObject(storedEntry("http://127.0.0.1:9/q.bin", documents("q.bin"), 0, -1, temp + "/q.bin"));
  list->addObject(storedEntry("http://127.0.0.1:9/out", "/etc/passwd", 3, 5, temp + "/out"));
  list->addObject(kit::str("not an entry"));
  // The encoded stream of a gzip answer killed while it was inflated: never the finished file.
  ASSERT_TRUE(kit::FileManager::writeFile(temp + "/big.txt", "gzip!"));
  Ref<kit::MutableDictionary> encoded = storedEntry("http://127.0.0.1:9/big.txt", documents("big.txt"), 1, 5, temp + "/big.txt");
  encoded->setObject(kit::Number::numberWithBool(true), "encoded");
  list->addObject(encoded);
  // A status this program does not know stays as it is.
  list->addObject(storedEntry("http://127.0.0.1:9/new.bin", documents("new.bin"), 7, 5, ""));
  storeList(list);

  ASSERT_EQ(manager()->count(), 6);
  EXPECT_EQ(manager()->state(4), DownloadStatusPaused);
  EXPECT_FALSE(kit::FileManager::fileExists(documents("big.txt")));
  EXPECT_EQ(manager()->state(5), 7);
  // A path outside our folders is never used: only its name, in the documents folder.
  EXPECT_EQ(manager()->pathOfItem(3), documents("passwd"));
  EXPECT_EQ(manager()->pathOfItem(1), documents("half.bin"));
  EXPECT_EQ(field(1, "temporaryPath"), temp + "/half.bin");
  EXPECT_EQ(manager()->state(0), DownloadStatusCompleted);
  EXPECT_EQ(manager()->pathOfItem(0), documents("done2.bin"));
  EXPECT_EQ(read(documents("done2.bin")), "12345");
  EXPECT_EQ(read(documents("done.bin")), "a file already there");
  EXPECT_EQ(manager()->state(1), DownloadStatusPaused);
  EXPECT_EQ(field(1, "received"), "2");
  EXPECT_EQ(manager()->state(2), DownloadStatusPaused);

  Ref<VeskDownloadTableViewCell> cell = VeskDownloadTableViewCell::loadFromInterfaceFile();
  manager()->connectToTableViewCell(1, cell.get());
  EXPECT_EQ(cell->info()->text(), "2/5 (Paused)\nhttp://127.0.0.1:9/half.bin");
  EXPECT_DOUBLE_EQ(cell->progress()->progress(), 0.4);
}

TEST_F(DownloadTest, AReusedCellIsDetachedByIdentity) {
  auto list = kit::MutableArray::array();
  list->addObject(storedEntry("http://127.0.0.1:9/a", documents("a"), 2, -1, ""));
  list->addObject(storedEntry("http://127.0.0.1:9/b", documents("b"), 4, -1, ""));
  storeList(list);
  Ref<VeskDownloadTableViewCell> cell = VeskDownloadTableViewCell::loadFromInterfaceFile();
  manager()->connectToTableViewCell(0, cell.get());
  manager()->connectToTableViewCell(1, cell.get());
  EXPECT_EQ(cell->info()->text(), "Download failed.\nhttp://127.0.0.1:9/b");
  // Row 0 changes (it cannot resume without a partial file): the cell no longer shows it.
  manager()->resume(0);
  EXPECT_EQ(manager()->state(0), DownloadStatusFailed);
  EXPECT_EQ(cell->info()->text(), "Download failed.\nhttp://127.0.0.1:9/b");
  cell = nullptr;  // a cell that goes away is forgotten
  manager()->resume(1);
  EXPECT_EQ(manager()->state(1), DownloadStatusFailed);
}

TEST_F(DownloadTest, CellTextsAndUnits) {
  EXPECT_EQ(VeskDownloadCellText::unitFor(11 * 1048576), "MB");
  EXPECT_EQ(VeskDownloadCellText::unitFor(11 * 1048576 - 1), "KB");
  EXPECT_EQ(VeskDownloadCellText::unitFor(11 * 1024), "KB");
  EXPECT_EQ(VeskDownloadCellText::unitFor(11 * 1024 - 1), "");
  auto t = VeskDownloadCellText::forEntry(1, -1, 20 * 1048576, "u");
  EXPECT_EQ(t.info, "20MB/? \nu");
  EXPECT_FALSE(t.progress);
  EXPECT_TRUE(t.buttonSelected);
  t = VeskDownloadCellText::forEntry(2, 0, 0, "u");
  EXPECT_EQ(t.info, "0/0 (Paused)\nu");
  EXPECT_EQ(*t.progress, 0.0);
  EXPECT_FALSE(t.buttonSelected);
  t = VeskDownloadCellText::forEntry(3, 500, 500, "u");
  EXPECT_EQ(t.info, "500 Bytes Download completed.\nu");
  EXPECT_FALSE(t.buttonEnabled);
  t = VeskDownloadCellText::forEntry(0, -1, 0, "u");
  EXPECT_EQ(t.info, "Download will start shortly.\nu");
  EXPECT_TRUE(t.buttonSelected);
  EXPECT_FALSE(VeskDownloadCellText::forEntry(9, 0, 0, "u").known);

  EXPECT_TRUE(manager()->checkDownloadable(kit::URL::URLWithString("http://h/a/B.ZIP").get()));
  EXPECT_FALSE(manager()->checkDownloadable(kit::URL::URLWithString("http://h/a/page.html").get()));
  EXPECT_FALSE(manager()->checkDownloadable(kit::URL::URLWithString("http://h/a/").get()));
}

}  // namespace
