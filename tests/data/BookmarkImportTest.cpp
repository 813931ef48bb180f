// Bookmark-file import: files written the way desktop browsers export them,
// the XPath wrapper, and the import screen reached from the settings.

#include <sys/stat.h>
#include <unistd.h>

#include "data/DataTest.h"
#include "data/HtmlXPath.h"
#include "data/VeskBookmarkFileTableViewController.h"
#include "data/VeskBookmarkImporterFirefox.h"
#include "kit/foundation/FileManager.h"
#include "kit/foundation/Paths.h"
#include "kit/ui/Label.h"
#include "kit/ui/NavigationController.h"
#include "settings/PrefAppSettingsViewController.h"
#include "shell/ShellTest.h"

namespace datatest {
namespace {

using tolva::HtmlXPath;
using tolva::HtmlXPathElement;
using tolva::VeskBookmarkDatabase;
using tolva::VeskBookmarkFileTableViewController;
using tolva::VeskBookmarkImporterFirefox;

const char* kHead =
    "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n"
    "<!-- This is an automatically generated file. -->\n"
    "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=UTF-8\">\n"
    "<TITLE>Bookmarks</TITLE>\n"
    "<H1>Bookmarks Menu</H1>\n\n";

// A link line as exports write it: DT left open, an icon as a data URI.
std::string link(const std::string& href, const std::string& title, const std::string& indent = "    ") {
  return indent + "<DT><A HREF=\"" + href +
         "\" ADD_DATE=\"1300000000\" ICON=\"data:image/png;base64,iVBORw0KGgoAAAANSUhEUgAAABAAAAAQ\">" + title +
         "</A>\n";
}
std::string folder(const std::string& title, const std::string& body, const std::string& indent = "    ") {
  return indent + "<DT><H3 ADD_DATE=\"1300000000\">" + title + "</H3>\n" + indent + "<DL><p>\n" + body + indent +
         "</DL><p>\n";
}
std::string file(const std::string& body) { return std::string(kHead) + "<DL><p>\n" + body + "</DL>\n"; }

class BookmarkImportTest : public DataTest {
 protected:
  void SetUp() override {
    DataTest::SetUp();
    startEmpty();
  }
  VeskBookmarkImporterFirefox& run(const std::string& html) {
    importer = kit::make<VeskBookmarkImporterFirefox>();
    importer->importData(kit::Data::dataWithString(html));
    return *importer;
  }
  static kit::Ref<kit::Dictionary> itemIn(std::initializer_list<const char*> p, size_t i) {
    kit::Ref<kit::Array> f = db()->getFolder(path(p));
    return f && i < f->count() ? kit::Ref<kit::Dictionary>(f->get<kit::Dictionary>(i)) : nullptr;
  }
  kit::Ref<VeskBookmarkImporterFirefox> importer;
};

TEST_F(BookmarkImportTest, AnExportWithNestedFoldersLandsEachLinkInItsOwnFolder) {
  const std::string html =
      file(folder("Bookmarks Toolbar",
                  link("https://news.test/", "News") +
                      folder("Work", link("http://work.test/a", "Work A") + link("http://work.test/b", "Work B"),
                             "        ") +
                      link("http://after.test/", "After Work"),
                  "    ") +
           link("http://top.test/", "Top &amp; Level") + folder("Empty", "") +
           folder("Tools", link("javascript:alert('hi')", "Bookmarklet") + link("ftp://files.test/", "FTP") +
                               link("mailto:me@example.org", "Mail") + link("file:///etc/passwd", "File")));
  Counter posts(tolva::kVeskBookmarkDatabaseUpdateNotification);
  VeskBookmarkImporterFirefox& r = run(html);
  EXPECT_EQ(posts.n, 1);
  EXPECT_EQ(r.importedBookmarks(), 6);
  EXPECT_EQ(r.importedFolders(), 4);
  EXPECT_EQ(titlesAt({}), "History,Imported");
  EXPECT_EQ(titlesAt({"Imported"}), "Bookmarks Toolbar,Empty,Tools,Top & Level");
  EXPECT_EQ(titlesAt({"Imported", "Bookmarks Toolbar"}), "Work,News,After Work");
  EXPECT_EQ(titlesAt({"Imported", "Bookmarks Toolbar", "Work"}), "Work A,Work B");
  EXPECT_EQ(titlesAt({"Imported", "Empty"}), "");
  EXPECT_EQ(titlesAt({"Imported", "Tools"}), "Bookmarklet");
  EXPECT_EQ(field(itemIn({"Imported", "Tools"}, 0).get(), "url"), "javascript:alert('hi')");
  EXPECT_EQ(field(itemIn({"Imported", "Bookmarks Toolbar", "Work"}, 1).get(), "url"), "http://work.test/b");
  // The import starts no icon fetches and leaves saving to the next save.
  tolva::VeskFaviconDatabase::waitForFetchesForTesting();
  EXPECT_EQ(tolva::VeskFaviconDatabase::fetchCountForTesting(), 0);
  EXPECT_FALSE(defaults().exists("bookmark"));
}

TEST_F(BookmarkImportTest, LinksAtTheTopGoStraightIntoImported) {
  VeskBookmarkImporterFirefox& r = run(file(link("http://a.test/", "A") + link("https://b.test/", "B")));
  EXPECT_EQ(r.importedBookmarks(), 2);
  EXPECT_EQ(r.importedFolders(), 0);
  EXPECT_EQ(titlesAt({"Imported"}), "A,B");
}

TEST_F(BookmarkImportTest, ThreeThousandLinksInOneFolderAllArrive) {
  std::string body;
  for (int i = 0; i < 3000; ++i) body += link("http://site.test/" + std::to_string(i), "Link " + std::to_string(i), "        ");
  VeskBookmarkImporterFirefox& r = run(file(folder("Many", body)));
  EXPECT_EQ(r.importedBookmarks(), 3000);
  kit::Ref<kit::Array> many = db()->getFolder(path({"Imported", "Many"}));
  ASSERT_TRUE(many);
  ASSERT_EQ(many->count(), 3000u);
  EXPECT_EQ(field(many->get<kit::Dictionary>(2999), "url"), "http://site.test/2999");
}

TEST_F(BookmarkImportTest, NestingBeyondSixtyFourFoldersGoesIntoTheDeepest) {
  std::string body = link("http://deepest.test/", "Deepest");
  for (int i = 100; i > 0; --i) body = folder("L" + std::to_string(i), body, "");
  body += link("http://shallow.test/", "Shallow");
  VeskBookmarkImporterFirefox& r = run(file(body));
  EXPECT_EQ(r.importedFolders(), 64);
  EXPECT_EQ(r.importedBookmarks(), 2);
  kit::Ref<kit::MutableArray> deepest = kit::MutableArray::array();
  deepest->addObject(kit::str("Imported"));
  for (int i = 1; i <= 64; ++i) deepest->addObject(kit::str("L" + std::to_string(i)));
  EXPECT_EQ(titles(db()->getFolder(deepest.get()).get()), "Deepest");
  EXPECT_EQ(titlesAt({"Imported"}), "L1,Shallow");
}

TEST_F(BookmarkImportTest, AListCanBeImportedStraightIntoTheRoot) {
  kit::Ref<HtmlXPath> html = HtmlXPath::xpathWithHTMLData(kit::Data::dataWithString(
      file(folder("Top", link("http://t.test/", "T")) + link("http://r.test/", "R"))));
  VeskBookmarkImporterFirefox importer;
  EXPECT_TRUE(importer.parseQuery("/html/body", nullptr, *html));
  EXPECT_EQ(importer.importedFolders(), 1);
  EXPECT_EQ(titlesAt({}), "History,Top,R");
  EXPECT_EQ(titlesAt({"Top"}), "T");
  EXPECT_FALSE(importer.parseQuery("/html/head", nullptr, *html));
}

TEST_F(BookmarkImportTest, ASecondImportAddsAgainIntoTheSameFoldersAndTwinFoldersMerge) {
  const std::string html = file(folder("Twin", link("http://1.test/", "One")) + folder("Twin", link("http://2.test/", "Two")));
  run(html);
  EXPECT_EQ(titlesAt({"Imported"}), "Twin");
  EXPECT_EQ(titlesAt({"Imported", "Twin"}), "One,Two");
  run(html);
  EXPECT_EQ(titlesAt({}), "History,Imported");
  EXPECT_EQ(titlesAt({"Imported", "Twin"}), "One,Two,One,Two");
}

TEST_F(BookmarkImportTest, WhatIsNoBookmarkFileImportsNothing) {
  for (const char* html : {"", "plain text, no markup", "<html><body><p>Hello <a href='http://x.test/'>x</a></p></body></html>",
                           "\x89PNG\r\n\x1a\n\0\0\0\rIHDR", "<dl><dt><dl><dt><dl>"}) {
    VeskBookmarkImporterFirefox& r = run(std::string(html, html[0] == '\x89' ? 16 : strlen(html)));
    EXPECT_EQ(r.importedBookmarks(), 0) << html;
    EXPECT_EQ(r.importedFolders(), 0) << html;
  }
  kit::Ref<VeskBookmarkImporterFirefox> missing = kit::make<VeskBookmarkImporterFirefox>();
  missing->import("/nonexistent/bookmarks.html");
  EXPECT_EQ(missing->importedBookmarks(), 0);
}

TEST_F(BookmarkImportTest, TheWrapperAnswersQueriesWithNodeDictionaries) {
  kit::Ref<HtmlXPath> html = HtmlXPath::xpathWithHTMLData(kit::Data::dataWithString(
      "<html><body><DL><DT><A HREF=' http://a.test/ ' id=x>\n  Title one\n</A></DT><DT><H3>Folder</H3></DT></DL></body></html>"));
  std::vector<kit::Ref<HtmlXPathElement>> links = html->searchWithXPathQuery("//a");
  ASSERT_EQ(links.size(), 1u);
  EXPECT_EQ(links[0]->tagName(), "a");
  EXPECT_EQ(links[0]->content(), "Title one");
  EXPECT_EQ(links[0]->objectForKey("href"), "http://a.test/");
  EXPECT_EQ(field(links[0]->attributes().get(), "id"), "x");
  EXPECT_FALSE(links[0]->parent());

  kit::Ref<HtmlXPathElement> list = html->peekAtSearchWithXPathQuery("/html/body/dl");
  ASSERT_TRUE(list);
  std::vector<kit::Ref<HtmlXPathElement>> items = list->children();
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[1]->firstChild()->tagName(), "h3");
  EXPECT_EQ(items[1]->firstChild()->content(), "Folder");
  EXPECT_EQ(items[1]->parent(), list.get());
  EXPECT_EQ(VeskBookmarkImporterFirefox::findDepth(items[1]->firstChild().get()), 1);
  EXPECT_EQ(VeskBookmarkImporterFirefox::findDepth(nullptr), 0);

  // What finds nothing says why on the console.
  testing::internal::CaptureStderr();
  EXPECT_TRUE(html->searchWithXPathQuery("//table").empty());
  EXPECT_TRUE(html->searchWithXPathQuery("///[[").empty());
  EXPECT_FALSE(html->peekAtSearchWithXPathQuery("//table"));
  EXPECT_TRUE(HtmlXPath::xpathWithHTMLData(kit::Data::dataWithString(""))->searchWithXPathQuery("//a").empty());
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Nodes was nil.\nUnable to evaluate XPath.\nNodes was nil.\nUnable to parse.\n");

  kit::Ref<HtmlXPath> xml = HtmlXPath::xpathWithXMLData(kit::Data::dataWithString(
      "<?xml version='1.0'?><!DOCTYPE r [<!ENTITY e SYSTEM 'file:///etc/passwd'>]><r><s a='1'>one</s><s>&e;</s></r>"));
  std::vector<kit::Ref<HtmlXPathElement>> s = xml->searchWithXPathQuery("/r/s");
  ASSERT_EQ(s.size(), 2u);
  EXPECT_EQ(s[0]->content(), "one");
  EXPECT_EQ(s[0]->objectForKey("a"), "1");
  EXPECT_EQ(s[1]->content(), "");

  // An attribute value that is not plain text also comes as its node.
  kit::Ref<HtmlXPathElement> ref = HtmlXPath::xpathWithXMLData(kit::Data::dataWithString(
      "<?xml version='1.0'?><!DOCTYPE r [<!ENTITY v 'val'>]><r b='&v;!' c='plain'/>"))->peekAtSearchWithXPathQuery("/r");
  ASSERT_TRUE(ref);
  auto* attrs = ref->node()->get<kit::Array>(HtmlXPathElement::kNodeAttributeArray);
  ASSERT_TRUE(attrs && attrs->count() == 2);
  auto* b = attrs->get<kit::Dictionary>(0);
  EXPECT_EQ(field(b, "nodeContent"), "val!");
  EXPECT_EQ(field(b->get<kit::Dictionary>("attributeContent"), "nodeName"), "v");
  EXPECT_FALSE(attrs->get<kit::Dictionary>(1)->objectForKey("attributeContent"));
  EXPECT_TRUE(HtmlXPath::xpathWithXMLData(kit::Data::dataWithString(""))->searchWithXPathQuery("/r").empty());
}

TEST_F(BookmarkImportTest, ADeeplyNestedDocumentIsConvertedWithoutRecursion) {
  std::string deep;
  for (int i = 0; i < 5000; ++i) deep += "<div>";
  deep += "<a href='http://x.test/'>x</a>";
  kit::Ref<HtmlXPath> html = HtmlXPath::xpathWithHTMLData(kit::Data::dataWithString(deep));
  EXPECT_EQ(html->searchWithXPathQuery("/html/body").size(), 1u);
}

// ---- The import screen

class BookmarkFileScreenTest : public shelltest::ShellTest {
 protected:
  static void writeDocument(const std::string& name, const std::string& contents) {
    kit::FileManager::createDirectory(kit::Paths::documentsDirectory());
    ASSERT_TRUE(kit::FileManager::writeFile(kit::Paths::documentsDirectory() + "/" + name, contents));
  }
  // Opens the settings and taps the "Import Bookmarks" row.
  VeskBookmarkFileTableViewController* openFromSettings() {
    controller()->onSettings();
    loop().advance(1);
    auto* nav = dynamic_cast<kit::NavigationController*>(controller()->presentedViewController());
    if (!nav) return nullptr;
    auto* settings = dynamic_cast<tolva::PrefAppSettingsViewController*>(nav->topViewController());
    if (!settings) return nullptr;
    kit::TableView* t = settings->tableView();
    for (long section = 0; section < t->numberOfSections(); ++section)
      for (long row = 0; row < t->numberOfRowsInSection(section); ++row)
        if (t->dataSource()->tableViewCellForRowAtIndexPath(*t, {section, row})->textLabel()->text() ==
            "Import Bookmarks") {
          t->tapRow({section, row});
          loop().advance(1);
          return dynamic_cast<VeskBookmarkFileTableViewController*>(nav->topViewController());
        }
    return nullptr;
  }
};

TEST_F(BookmarkFileScreenTest, TheSettingsOpenItAndItImportsThePickedFile) {
  writeDocument("export.HTM", file(folder("F", link("http://a.test/", "A") + link("http://b.test/", "B"))));
  writeDocument("notes.txt", "x");
  writeDocument("xhtml", "x");
  writeDocument("broken.html", "nothing here");
  ASSERT_TRUE(launch());
  VeskBookmarkFileTableViewController* screen = openFromSettings();
  ASSERT_TRUE(screen);
  EXPECT_EQ(screen->title(), "Select file to import");
  ASSERT_TRUE(topAlert());
  EXPECT_EQ(topAlert()->title(), "Help");
  EXPECT_EQ(topAlert()->message(), "You might want to copy Firefox or Safari bookmarks to Documents from iTunes.");
  topAlert()->tapButton(0);
  ASSERT_EQ(screen->tableView()->numberOfRowsInSection(0), 2);

  long exportRow = screen->fileArray()->get<kit::String>(0)->str() == "export.HTM" ? 0 : 1;
  screen->tableView()->tapRow({0, exportRow});
  ASSERT_TRUE(topAlert());
  EXPECT_EQ(topAlert()->tag(), VeskBookmarkFileTableViewController::kTagImport);
  EXPECT_EQ(topAlert()->title(), "Import");
  topAlert()->tapButtonWithTitle("Close");
  EXPECT_FALSE(VeskBookmarkDatabase::getSharedInstance()->getFolder(path({"Imported", "F"})));

  screen->tableView()->tapRow({0, exportRow});
  topAlert()->tapButtonWithTitle("Import");
  loop().advance(1);
  ASSERT_TRUE(topAlert());
  EXPECT_EQ(topAlert()->title(), "Import Result");
  EXPECT_EQ(topAlert()->message(), "Import complete. (2 bookmark(s) and 1 folder(s) were imported.)");
  topAlert()->tapButton(0);
  EXPECT_EQ(titles(VeskBookmarkDatabase::getSharedInstance()->getFolder(path({"Imported", "F"})).get()), "A,B");

  screen->tableView()->tapRow({0, 1 - exportRow});
  topAlert()->tapButtonWithTitle("Import");
  loop().advance(1);
  EXPECT_EQ(topAlert()->message(), "Failed to import bookmark. Tolva only supports Firefox/Safari bookmarks.");
}

TEST_F(BookmarkFileScreenTest, AFifoOrADeviceIsRefusedAndALongImportShowsItsProgress) {
  // A FIFO would block the reader for good, a link to /dev/zero grow it until memory runs out.
  kit::FileManager::createDirectory(kit::Paths::documentsDirectory());
  ASSERT_EQ(::mkfifo((kit::Paths::documentsDirectory() + "/a-fifo.html").c_str(), 0600), 0);
  ASSERT_EQ(::symlink("/dev/zero", (kit::Paths::documentsDirectory() + "/b-zero.html").c_str()), 0);
  std::string body;
  for (int i = 0; i < 6000; ++i) body += link("http://site.test/" + std::to_string(i), "Link " + std::to_string(i));
  writeDocument("c-large.html", file(folder("Large", body)));
  ASSERT_GT(file(folder("Large", body)).size(), 2 * VeskBookmarkImporterFirefox::kSliceBytes);
  ASSERT_TRUE(launch());
  VeskBookmarkFileTableViewController* screen = openFromSettings();
  ASSERT_TRUE(screen);
  topAlert()->tapButton(0);
  for (long row : {0, 1}) {
    screen->tableView()->tapRow({0, row});
    topAlert()->tapButtonWithTitle("Import");
    loop().advance(1);
    ASSERT_TRUE(topAlert());
    EXPECT_EQ(topAlert()->message(),
              "Failed to import bookmark. Tolva only supports Firefox/Safari bookmarks.\n" +
                  kit::Paths::documentsDirectory() + (row ? "/b-zero.html" : "/a-fifo.html") +
                  " is not a regular file");
    topAlert()->tapButton(0);
  }

  screen->tableView()->tapRow({0, 2});
  topAlert()->tapButtonWithTitle("Import");
  // The file is parsed a slice at a time, the run loop turning in between, and the bar says how far.
  loop().drain();
  ASSERT_TRUE(screen->importProgress());
  EXPECT_EQ(screen->tableView()->tableHeaderView(), screen->importProgress()->superview());
  loop().advance(0.001);
  ASSERT_TRUE(screen->importProgress());
  EXPECT_GT(screen->importProgress()->progress(), 0.0);
  EXPECT_LT(screen->importProgress()->progress(), 1.0);
  EXPECT_FALSE(topAlert());
  loop().advance(1);
  ASSERT_TRUE(topAlert());
  EXPECT_EQ(topAlert()->message(), "Import complete. (6000 bookmark(s) and 1 folder(s) were imported.)");
  EXPECT_FALSE(screen->importProgress());
  EXPECT_FALSE(screen->tableView()->tableHeaderView());
}

TEST_F(BookmarkFileScreenTest, AnEmptyDocumentsFolderListsNothing) {
  kit::Ref<VeskBookmarkFileTableViewController> screen = kit::make<VeskBookmarkFileTableViewController>();
  EXPECT_EQ(screen->tableView()->numberOfRowsInSection(0), 0);
}

}  // namespace
}  // namespace datatest
