// The page view's tools: text size, private mode, the reader form,
// translation and dictionary addresses, the selected-text entries, printing,
// the long-press menus with their handlers, and image saving and copying
// against a loopback server.

#include <cstdlib>
#include <filesystem>
#include <optional>

#include "ShellTest.h"
#include "downloads/VeskDownloadTableViewController.h"
#include "kit/foundation/Clock.h"
#include "kit/security/Base64.h"
#include "kit/ui/Pasteboard.h"
#include "kit/ui/PhotoAlbum.h"
#include "shell/TabState.h"
#include "shell/VeskContextMenuTarget.h"
#include "shell/VeskInfoBoxView.h"
#include "shell/VeskServiceAddresses.h"
#include "share/ui/ShareActionSheet.h"
#include "support/TestHTTPServer.h"

using namespace tolva;

namespace {

// The tab strip as a page sees it: new tabs and info-box texts are recorded.
struct RecordingStrip : VeskWebViewDelegate {
  std::vector<std::string> tabs;
  std::vector<std::pair<std::string, kit::Ref<kit::Image>>> boxes;
  void needToCreateNewTab(VeskWebView*, const std::string& url, bool selected, bool privateMode) override {
    tabs.push_back(url + (selected ? "" : "|background") + (privateMode ? "|private" : ""));
  }
  void moveTab(int) override {}
  kit::PopoverController* getBookmarkPopover() override { return nullptr; }
  kit::NavigationController* getBookmarkNavicon() override { return nullptr; }
  void showInfoBox(const std::string& text, kit::Image* image) override {
    boxes.emplace_back(text, kit::Ref<kit::Image>(image));
  }
  int getIdentifierForPersistentData(const VeskWebView&) const override { return 3; }
  void makeAllTabsFullscreen(int) override {}
  bool isScreenShotActive() const override { return false; }
  void closeMe(VeskWebView&) override {}
  std::string lastBox() const { return boxes.empty() ? "" : boxes.back().first; }
};

class LanguageScope {
 public:
  explicit LanguageScope(const char* value) {
    if (const char* old = std::getenv("LANGUAGE")) old_ = old;
    setenv("LANGUAGE", value, 1);
  }
  ~LanguageScope() {
    if (old_)
      setenv("LANGUAGE", old_->c_str(), 1);
    else
      unsetenv("LANGUAGE");
  }

 private:
  std::optional<std::string> old_;
};

std::vector<std::string> entries(kit::ActionSheet* sheet) {
  std::vector<std::string> out;
  for (long i = 0; i < sheet->numberOfButtons(); ++i)
    if (i != sheet->cancelButtonIndex()) out.push_back(sheet->buttonTitleAtIndex(i));
  return out;
}

class PageToolsTest : public shelltest::ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    defaults().setInteger(5, "ana_remind_counter");
    VeskServiceAddresses::useOriginForTesting("http://127.0.0.1:9");
  }
  void TearDown() override {
    pages_.clear();
    VeskServiceAddresses::resetForTesting();
    ShellTest::TearDown();
  }

  VeskWebView* open(const std::string& url = "http://site.test/page.html") {
    kit::Ref<VeskWebView> p = VeskWebView::allocInstance({0, 0, 1024, 598}, &strip_, url);
    pages_.push_back(p);
    return p.get();
  }
  // Long-presses the page where the context script answers `answer`.
  kit::ActionSheet* press(VeskWebView* p, const std::string& answer) {
    web(p)->setScriptAnswerForPrefix("getHTMLElementSrcAtPoint(", answer);
    p->openContextualMenuAt({10.9, 20.2}, {5, 6});
    kit::ActionSheet* sheet = p->contextMenuSheet();
    return sheet && sheet->isVisible() ? sheet : nullptr;
  }
  static void choose(kit::ActionSheet* sheet, const std::string& entry) { ASSERT_TRUE(sheet->tapButtonWithTitle(entry)); }
  // Real time while background work answers on the main loop.
  static bool waitFor(const std::function<bool()>& done) {
    kit::Clock::setReal();
    bool ok = loop().runUntil(done, 10);
    kit::Clock::setVirtual(700000000.0);
    return ok;
  }

  RecordingStrip strip_;
  std::vector<kit::Ref<VeskWebView>> pages_;
};

TEST_F(PageToolsTest, TextSizeStepsBetweenBoundsAndIsSavedWithTheTab) {
  VeskWebView* p = open();
  EXPECT_EQ(p->textFontSize(), 100u);
  p->onFontReset();
  EXPECT_FALSE(p->btnFontReset()->isEnabled());
  EXPECT_TRUE(p->btnFontIncrease()->isEnabled());

  p->onFontIncrease();
  EXPECT_EQ(p->textFontSize(), 110u);
  EXPECT_TRUE(p->btnFontReset()->isEnabled());
  EXPECT_EQ(web(p)->evaluatedCount("document.getElementsByTagName('body')[0].style.webkitTextSizeAdjust= '110%'"), 1u);
  EXPECT_DOUBLE_EQ(web(p)->textZoom(), 1.1);
  for (int i = 0; i < 20; ++i) p->onFontIncrease();
  EXPECT_EQ(p->textFontSize(), 240u);
  EXPECT_FALSE(p->btnFontIncrease()->isEnabled());
  EXPECT_TRUE(p->btnFontDecrease()->isEnabled());

  // Saved under the strip's index for the page, and read back by a new page.
  kit::Ref<kit::Dictionary> saved = defaults().dictionaryForKey(TabState::key(3));
  ASSERT_TRUE(saved);
  EXPECT_EQ(saved->get<kit::Number>(TabState::kTextFontSize)->intValue(), 240);

  for (int i = 0; i < 30; ++i) p->onFontDerease();
  EXPECT_EQ(p->textFontSize(), 40u);
  EXPECT_FALSE(p->btnFontDecrease()->isEnabled());
  EXPECT_TRUE(p->btnFontIncrease()->isEnabled());
  p->onFontDerease();
  EXPECT_EQ(p->textFontSize(), 40u);
  p->onFontIncrease();
  EXPECT_EQ(p->textFontSize(), 50u);

  kit::Ref<VeskWebView> restored = VeskWebView::allocInstance({0, 0, 1024, 598}, &strip_, 3);
  ASSERT_TRUE(restored);
  pages_.push_back(restored);
  EXPECT_EQ(restored->textFontSize(), 50u);
  EXPECT_TRUE(restored->btnFontReset()->isEnabled());
  restored->onFontReset();
  EXPECT_EQ(restored->textFontSize(), 100u);
  EXPECT_EQ(defaults().dictionaryForKey(TabState::key(3))->get<kit::Number>(TabState::kTextFontSize)->intValue(), 100);

  // A size restored off the steps still stops at the bound.
  restored->setTextFontSize(235);
  restored->onFontIncrease();
  EXPECT_EQ(restored->textFontSize(), 240u);
  restored->setTextFontSize(45);
  restored->onFontDerease();
  EXPECT_EQ(restored->textFontSize(), 40u);

  // The popup shows and hides.
  p->setShowFontPopup(true);
  EXPECT_FALSE(p->vwFontPopup()->isHidden());
  p->onFontClose();
  EXPECT_TRUE(p->vwFontPopup()->isHidden());
  EXPECT_FALSE(p->showFontPopup());
}

TEST_F(PageToolsTest, APrivateTabIsNeitherInHistoryNorAmongTheClosedTabs) {
  ASSERT_TRUE(launch());
  VeskWebView* p = page(0);
  p->setPrivateMode(true);
  EXPECT_TRUE(p->btnPrivate()->isSelected());
  int index = tabs()->getIdentifierForPersistentData(*p);
  EXPECT_TRUE(defaults().dictionaryForKey(TabState::key(index))->get<kit::Number>(TabState::kPrivate)->boolValue());

  size_t history = historyEntries()->count();
  web(p)->setCurrentRequest(kit::URLRequest::requestWithURL(kit::URL::URLWithString("http://private.test/")));
  web(p)->completeLoad();
  EXPECT_EQ(historyEntries()->count(), history);

  tabs()->needToCreateNewTab(nullptr, "http://other.test/", true, false);
  size_t closed = misc()->recentlyClosedTabs()->count();
  tabs()->closeMe(*p);
  EXPECT_EQ(misc()->recentlyClosedTabs()->count(), closed);
}

TEST_F(PageToolsTest, ContextAnswersAreClassifiedAndDecoded) {
  using Kind = VeskContextMenuTarget::Kind;
  EXPECT_EQ(VeskContextMenuTarget::parse("").kind(), Kind::None);
  EXPECT_EQ(VeskContextMenuTarget::parse("4http://x/").kind(), Kind::None);
  EXPECT_EQ(VeskContextMenuTarget::parse("x").kind(), Kind::None);

  VeskContextMenuTarget link = VeskContextMenuTarget::parse("1http://a.test/some%20page?q=caf%C3%A9");
  EXPECT_EQ(link.kind(), Kind::Link);
  EXPECT_EQ(link.link(), "http://a.test/some%20page?q=caf%C3%A9");
  EXPECT_EQ(link.title(), "http://a.test/some page?q=caf\xC3\xA9");
  EXPECT_FALSE(link.linkWantsNewPage());

  VeskContextMenuTarget marked = VeskContextMenuTarget::parse("1http://page.test/newtabquorb58301946627/http://b.test/");
  EXPECT_EQ(marked.link(), "http://b.test/");
  EXPECT_TRUE(marked.linkWantsNewPage());

  VeskContextMenuTarget image = VeskContextMenuTarget::parse("2http://c.test/p%20ic.png");
  EXPECT_EQ(image.kind(), Kind::Image);
  EXPECT_EQ(image.imageSource(), "http://c.test/p%20ic.png");
  EXPECT_EQ(image.title(), "http://c.test/p ic.png");
  EXPECT_EQ(image.link(), "");

  VeskContextMenuTarget both = VeskContextMenuTarget::parse("3http://d.test/a http://d.test/i.png");
  EXPECT_EQ(both.kind(), Kind::LinkedImage);
  EXPECT_EQ(both.link(), "http://d.test/a");
  EXPECT_EQ(both.imageSource(), "http://d.test/i.png");
  EXPECT_EQ(both.title(), "http://d.test/a");
  VeskContextMenuTarget noSource = VeskContextMenuTarget::parse("3http://d.test/a");
  EXPECT_EQ(noSource.link(), "http://d.test/a");
  EXPECT_EQ(noSource.imageSource(), "");

  // \x (either case) reads as \u00; \uXXXX becomes the character, pairs joined.
  EXPECT_EQ(VeskContextMenuTarget::decodeHexEscapes("a\\x41\\X42\\u00e9"), "aAB\xC3\xA9");
  EXPECT_EQ(VeskContextMenuTarget::decodeHexEscapes("\\u20AC\\ud83d\\ude00"), "\xE2\x82\xAC\xF0\x9F\x98\x80");
  EXPECT_EQ(VeskContextMenuTarget::decodeHexEscapes("\\ud83d!"), "\xEF\xBF\xBD!");
  EXPECT_EQ(VeskContextMenuTarget::decodeHexEscapes("\\udc00"), "\xEF\xBF\xBD");
  // Text after an escape is kept; a code point past the high surrogates pairs with nothing.
  EXPECT_EQ(VeskContextMenuTarget::decodeHexEscapes("\\u0041BC\\ue000\\udc00\\ud83d\\ude00!"),
            "ABC\xEE\x80\x80\xEF\xBF\xBD\xF0\x9F\x98\x80!");
  EXPECT_EQ(VeskContextMenuTarget::decodeHexEscapes("\\u12G4 \\u12 \\q"), "\\u12G4 \\u12 \\q");
  EXPECT_EQ(VeskContextMenuTarget::decodeHexEscapes("\\x7"), "\\u007");
  // Only a backslash and a "u" start an escape; U+0000 is a character like any other.
  EXPECT_EQ(VeskContextMenuTarget::decodeHexEscapes("Xu0041 \\v0041"), "Xu0041 \\v0041");
  EXPECT_EQ(VeskContextMenuTarget::decodeHexEscapes("a\\u0000b"), std::string("a\0b", 3));
  // A title with a broken percent escape keeps it.
  EXPECT_EQ(VeskContextMenuTarget::displayForm("100%\\x21"), "100%!");
}

TEST_F(PageToolsTest, EachLongPressMenuHasItsEntriesTagAndTitle) {
  VeskWebView* p = open();
  EXPECT_FALSE(press(p, ""));
  EXPECT_EQ(web(p)->evaluatedScripts().back(), "getHTMLElementSrcAtPoint(10,20);");
  EXPECT_FALSE(press(p, "9http://x.test/"));

  kit::Ref<kit::ActionSheet> links(press(p, "1http://a.test/caf%C3%A9\\x21"));
  ASSERT_TRUE(links);
  EXPECT_EQ(links->tag(), VeskWebView::kTagLinkMenu);
  EXPECT_EQ(links->title(), "http://a.test/caf\xC3\xA9!");
  EXPECT_EQ(links->delegate(), p);
  EXPECT_EQ(links->cancelButtonIndex(), -1);  // none on tablets
  EXPECT_EQ(links->anchorView(), p);
  const std::vector<std::string> linkEntries = {"Open",      "Open in New Tab", "Open in Background Tab",
                                                "Copy Link", "Download File",   "Share this link ..."};
  EXPECT_EQ(entries(links), linkEntries);

  kit::ActionSheet* linked = press(p, "3http://a.test/ http://a.test/i.png");
  ASSERT_TRUE(linked);
  EXPECT_FALSE(links->isVisible());
  EXPECT_EQ(linked->tag(), VeskWebView::kTagLinkedImageMenu);
  std::vector<std::string> linkedEntries = linkEntries;
  linkedEntries.insert(linkedEntries.end(), {"Save Image", "Save Image (Download)", "Share this image ..."});
  EXPECT_EQ(entries(linked), linkedEntries);
  EXPECT_EQ(p->lastPressAndHeldLinkImageSrc(), "http://a.test/i.png");

  kit::ActionSheet* image = press(p, "2http://a.test/i%20j.png");
  ASSERT_TRUE(image);
  EXPECT_EQ(image->tag(), VeskWebView::kTagImageMenu);
  EXPECT_EQ(image->title(), "http://a.test/i j.png");
  EXPECT_EQ(entries(image),
            (std::vector<std::string>{"Save Image", "Copy", "Copy Link", "Save Image (Download)", "Share this image ..."}));
  image->dismissWithClickedButtonIndex(-1, false);

  usePhone();
  kit::ActionSheet* phone = press(p, "1http://a.test/");
  ASSERT_TRUE(phone);
  EXPECT_EQ(phone->buttonTitleAtIndex(phone->cancelButtonIndex()), "Cancel");
  kit::HeadlessWebView* w = web(p);
  w->clearLoads();
  choose(phone, "Cancel");
  EXPECT_TRUE(w->loadedRequests().empty());
  EXPECT_TRUE(strip_.tabs.empty());
}

TEST_F(PageToolsTest, TheLinkEntriesActOnTheLinkAsThePageGaveIt) {
  VeskWebView* p = open();
  kit::HeadlessWebView* w = web(p);
  const std::string link = "http://a.test/x%2Fy?q=a%26b";

  w->clearLoads();
  choose(press(p, "1" + link), "Open");
  EXPECT_EQ(lastLoad(p), link);

  choose(press(p, "1" + link), "Open in New Tab");
  ASSERT_EQ(strip_.tabs.size(), 1u);
  EXPECT_EQ(strip_.tabs[0], link);
  choose(press(p, "1" + link), "Open in Background Tab");
  ASSERT_EQ(strip_.tabs.size(), 2u);
  EXPECT_EQ(strip_.tabs[1], link + "|background");

  // A link the page's script marked for a new page opens in one.
  choose(press(p, "1http://a.test/newtabquorb58301946627/" + link), "Open");
  ASSERT_EQ(strip_.tabs.size(), 3u);
  EXPECT_EQ(strip_.tabs[2], link);
  EXPECT_TRUE(p->lastPressAndHeldLinkWasSupposedToBeInNewPage());

  choose(press(p, "3" + link + " http://a.test/i.png"), "Copy Link");
  EXPECT_EQ(kit::Pasteboard::generalPasteboard()->string(), link);

  choose(press(p, "1" + link), "Download File");
  VeskDownloadManager* downloads = VeskDownloadManager::sharedInstance();
  ASSERT_EQ(downloads->count(), 1);
  EXPECT_EQ(downloads->urlOfItem(0), link);
  choose(press(p, "3" + link + " http://a.test/i.png"), "Save Image (Download)");
  ASSERT_EQ(downloads->count(), 2);
  EXPECT_EQ(downloads->urlOfItem(1), "http://a.test/i.png");

  // On the image menu "Copy Link" copies the source.
  choose(press(p, "2http://a.test/i%20j.png"), "Copy Link");
  EXPECT_EQ(kit::Pasteboard::generalPasteboard()->string(), "http://a.test/i%20j.png");

  // A linked image without a source keeps its image entries; they fail plainly.
  choose(press(p, "3" + link), "Save Image (Download)");
  EXPECT_EQ(downloads->count(), 2);
  EXPECT_EQ(strip_.lastBox(), "Failed to save image.");
  choose(press(p, "3" + link), "Save Image");
  EXPECT_EQ(strip_.lastBox(), "Failed to save image.");
  choose(press(p, "3" + link), "Share this image ...");
  EXPECT_EQ(strip_.lastBox(), "Failed to share image.");
  size_t boxes = strip_.boxes.size();
  choose(press(p, "1" + link), "Share this link ...");
  EXPECT_EQ(strip_.boxes.size(), boxes);
}

TEST_F(PageToolsTest, ServiceAddressesEscapeWhatGoesIn) {
  EXPECT_EQ(VeskWebView::pageTranslationURL("http://a.test/x?y=1&z=#f", "de"),
            "http://127.0.0.1:9/translate?sl=auto&tl=de&u=http%3A%2F%2Fa.test%2Fx%3Fy%3D1%26z%3D%23f");
  EXPECT_EQ(VeskWebView::textTranslationURL("AT&T C++ #1", "pt-BR"),
            "http://127.0.0.1:9/m?hl=en&sl=auto&tl=pt-BR&ie=UTF-8&prev=_m&q=AT%26T%20C%2B%2B%20%231");
  EXPECT_EQ(VeskWebView::dictionaryURL("and/or %@"), "http://127.0.0.1:9/dictionary/and%2For%20%25%40");

  std::string reader = VeskWebView::readerScript();
  for (const char* part : {"readConvertLinksToFootnotes=false;", "readStyle='style-newspaper';",
                           "readSize='size-medium';", "readMargin='margin-wide';",
                           "'http://127.0.0.1:9/bookmarklet/read.js?x='+Math.random()", "l.media='all'",
                           "l.media='print'", "screen.css", "print.css"})
    EXPECT_NE(reader.find(part), std::string::npos) << part;

  VeskWebView* p = open();
  LanguageScope language("de_AT:en");
  web(p)->setScriptAnswer("document.title", "Page");
  web(p)->clearLoads();
  p->onTranslate();
  EXPECT_EQ(lastLoad(p), "http://127.0.0.1:9/translate?sl=auto&tl=de-AT&u=http%3A%2F%2Fsite.test%2Fpage.html");

  web(p)->clearEvaluatedScripts();
  p->onReader();
  EXPECT_EQ(web(p)->evaluatedScripts().at(0), reader);
}

TEST_F(PageToolsTest, SelectedTextEntriesNeedTheOptionAndASelection) {
  VeskWebView* p = open();
  kit::HeadlessWebView* w = web(p);
  const auto& items = w->selectionMenuItems();
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[0].title, "Search");
  EXPECT_EQ(items[1].title, "Dictionary");
  EXPECT_EQ(items[2].title, "Translate");
  EXPECT_TRUE(items[0].isAvailable());

  EXPECT_FALSE(p->canPerformSelectionAction());
  items[0].action();
  EXPECT_TRUE(strip_.tabs.empty());

  w->setScriptAnswerForPrefix("function f() {var txt = window.getSelection()", "C++ & co");
  EXPECT_TRUE(p->canPerformSelectionAction());
  p->setPrivateMode(true);
  items[0].action();
  items[1].action();
  {
    LanguageScope language("fr");
    items[2].action();
  }
  ASSERT_EQ(strip_.tabs.size(), 3u);
  EXPECT_EQ(strip_.tabs[0], "https://www.google.com/search?q=C%2B%2B%20%26%20co|private");
  EXPECT_EQ(strip_.tabs[1], "http://127.0.0.1:9/dictionary/C%2B%2B%20%26%20co|private");
  EXPECT_EQ(strip_.tabs[2], "http://127.0.0.1:9/m?hl=en&sl=auto&tl=fr&ie=UTF-8&prev=_m&q=C%2B%2B%20%26%20co|private");

  defaults().setBool(false, "opt_use_selection_search");
  rereadSettings();
  EXPECT_FALSE(items[0].isAvailable());
  EXPECT_FALSE(p->canPerformSelectionAction());
  items[1].action();
  EXPECT_EQ(strip_.tabs.size(), 3u);
}

TEST_F(PageToolsTest, TheToolbarMenusEntriesDoTheirWork) {
  ASSERT_TRUE(launch());
  VeskWebView* p = page(0);
  kit::HeadlessWebView* w = web(p);
  p->setLocation("http://site.test/home.html");

  p->onAction();
  choose(p->actionsMenuSheet(), "Set as Homepage");
  EXPECT_EQ(defaults().stringForKey("homepage"), "http://site.test/home.html");
  EXPECT_EQ(controller()->infoBox()->text(), "Set as Homepage");

  p->onAction();
  choose(p->actionsMenuSheet(), "Print");
  EXPECT_EQ(w->printRequests(), 1);
  w->finishPrint(false, kit::Error::errorWithDescription("Print", 1, "no printer").get());
  w->setCanPrint(false);
  p->onAction();
  choose(p->actionsMenuSheet(), "Print");
  EXPECT_EQ(w->printRequests(), 1);
  ASSERT_TRUE(topAlert());
  EXPECT_EQ(topAlert()->message(), "Printing is not available in this version of iOS. Please upgrade to newest iOS.");
  topAlert()->dismissWithClickedButtonIndex(0, false);

  kit::HeadlessURLOpener& opener = app()->headlessURLOpener();
  opener.clear();
  p->onAction();
  choose(p->actionsMenuSheet(), "Open with Safari");
  EXPECT_EQ(opener.openedURLs(), (std::vector<std::string>{"http://site.test/home.html"}));

  p->onAction();
  choose(p->actionsMenuSheet(), "Add to Bookmark");
  EXPECT_FALSE(kit::PopoverController::visiblePopovers().empty());
  clearOverlays();

  // The page, and a link as the page gave it, go to the share sheet.
  auto shared = [] {
    for (auto& sheet : kit::ActionSheet::visibleSheets())
      if (auto* share = dynamic_cast<ShareActionSheet*>(sheet.get()))
        return share->item() && share->item()->URL() ? share->item()->URL()->absoluteString() : std::string("?");
    return std::string();
  };
  p->onAction();
  choose(p->actionsMenuSheet(), "Share this page ...");
  EXPECT_EQ(shared(), "http://site.test/home.html");
  clearOverlays();
  choose(press(p, "1http://a.test/x%2Fy"), "Share this link ...");
  EXPECT_EQ(shared(), "http://a.test/x%2Fy");
  clearOverlays();
  // On a phone the sheet opens from the page view's corner, not where the last long press was.
  usePhone();
  choose(press(p, "1http://a.test/x%2Fy"), "Share this link ...");
  for (auto& sheet : kit::ActionSheet::visibleSheets()) {
    if (dynamic_cast<ShareActionSheet*>(sheet.get())) {
      EXPECT_EQ(sheet->anchorRect(), p->convertRectToView({0, 0, 10, 10}, nullptr));
    }
  }
  EXPECT_EQ(shared(), "http://a.test/x%2Fy");
  clearOverlays();
  kit::Device::currentDevice().setUserInterfaceIdiom(kit::UserInterfaceIdiom::Pad);

  // Cancel does nothing.
  p->onAction();
  kit::ActionSheet* actions = p->actionsMenuSheet();
  w->clearEvaluatedScripts();
  actions->tapButton(actions->cancelButtonIndex());
  EXPECT_TRUE(w->evaluatedScripts().empty());
  EXPECT_TRUE(topAlert() == nullptr);

  p->onEasyCommand();
  choose(p->easyCommandSheet(), "Adjust Font Size");
  EXPECT_TRUE(p->showFontPopup());
  p->onEasyCommand();
  w->clearEvaluatedScripts();
  choose(p->easyCommandSheet(), "Readability™");
  EXPECT_EQ(w->evaluatedScripts().at(0), VeskWebView::readerScript());
  p->onEasyCommand();
  choose(p->easyCommandSheet(), "Download Manager");
  EXPECT_TRUE(VeskDownloadTableViewController::isShowing());
  bool locked = controller()->lockRotation();
  p->onEasyCommand();
  choose(p->easyCommandSheet(), locked ? "Unlock Rotation" : "Lock Rotation");
  EXPECT_NE(controller()->lockRotation(), locked);
}

TEST_F(PageToolsTest, TranslateToTheFirstLanguageFromTheActionsMenu) {
  LanguageScope language("de:en");
  VeskWebView* p = open();
  p->onAction();
  web(p)->clearLoads();
  choose(p->actionsMenuSheet(), "Translate to Deutsch");
  EXPECT_EQ(lastLoad(p), "http://127.0.0.1:9/translate?sl=auto&tl=de&u=http%3A%2F%2Fsite.test%2Fpage.html");
}

class ImageToolsTest : public PageToolsTest {
 protected:
  void SetUp() override {
    PageToolsTest::SetUp();
    folder_ = std::filesystem::temp_directory_path() / ("tolva-album-" + std::to_string(::getpid()));
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
    kit::PhotoAlbum::setFolder(folder_.string());
    std::vector<uint8_t> pixels(4 * 4 * 4, 0x7f);
    png_ = std::string(kit::Image::imageWithPixels({4, 4}, pixels)->pngData()->view());
    server_.route("GET", "/i.png", tolvatest::TestResponse::ok(png_, "image/png"));
    server_.route("GET", "/text", tolvatest::TestResponse::ok("no picture", "image/png"));
    server_.route("GET", "/gone.png", tolvatest::TestResponse::withStatus(404, "missing"));
  }
  void TearDown() override {
    kit::PhotoAlbum::setFolder("");
    std::filesystem::remove_all(folder_);
    PageToolsTest::TearDown();
  }
  size_t filesInAlbum() const {
    size_t n = 0;
    for (auto& e : std::filesystem::directory_iterator(folder_)) n += e.is_regular_file();
    return n;
  }
  bool waitForBox(size_t count) {
    return waitFor([&] { return strip_.boxes.size() >= count; });
  }

  tolvatest::TestHTTPServer server_;
  std::filesystem::path folder_;
  std::string png_;
};

TEST_F(ImageToolsTest, SavingWritesANewPictureOrSaysItFailed) {
  VeskWebView* p = open();
  choose(press(p, "2" + server_.url("/i.png")), "Save Image");
  ASSERT_TRUE(waitForBox(1));
  EXPECT_EQ(strip_.boxes[0].first, "Image saved successfully.");
  ASSERT_TRUE(strip_.boxes[0].second);
  EXPECT_EQ(strip_.boxes[0].second->pixelWidth(), 4u);
  EXPECT_EQ(filesInAlbum(), 1u);

  // The same picture again is a second file.
  choose(press(p, "3http://a.test/ " + server_.url("/i.png")), "Save Image");
  ASSERT_TRUE(waitForBox(2));
  EXPECT_EQ(filesInAlbum(), 2u);

  for (const char* path : {"/gone.png", "/text"}) {
    size_t before = strip_.boxes.size();
    choose(press(p, "2" + server_.url(path)), "Save Image");
    ASSERT_TRUE(waitForBox(before + 1)) << path;
    EXPECT_EQ(strip_.boxes.back().first, "Failed to save image.");
    EXPECT_EQ(strip_.boxes.back().second, nullptr);
  }
  EXPECT_EQ(filesInAlbum(), 2u);

  // Without a picture folder nothing is written, and the user is told.
  kit::PhotoAlbum::setFolder("");
  size_t before = strip_.boxes.size();
  choose(press(p, "2" + server_.url("/i.png")), "Save Image");
  ASSERT_TRUE(waitForBox(before + 1));
  EXPECT_EQ(strip_.lastBox(), "Failed to save image.");
}

TEST_F(ImageToolsTest, CopyingPutsThePictureOnThePasteboardOrSaysItFailed) {
  VeskWebView* p = open();
  kit::Pasteboard* board = kit::Pasteboard::generalPasteboard();
  board->setString("before");
  uint64_t changes = board->changeCount();
  choose(press(p, "2" + server_.url("/i.png")), "Copy");
  ASSERT_TRUE(waitFor([&] { return board->changeCount() != changes; }));
  ASSERT_TRUE(board->image());
  EXPECT_EQ(board->image()->pixelWidth(), 4u);
  EXPECT_TRUE(strip_.boxes.empty());

  changes = board->changeCount();
  choose(press(p, "2" + server_.url("/text")), "Copy");
  ASSERT_TRUE(waitForBox(1));
  EXPECT_EQ(strip_.lastBox(), "Failed to copy image.");
  EXPECT_EQ(board->changeCount(), changes);

  // A source written into the page is read in place.
  changes = board->changeCount();
  choose(press(p, "2data:image/png;base64," + kit::Base64::encode(std::string_view(png_))), "Copy");
  ASSERT_TRUE(waitFor([&] { return board->changeCount() != changes; }));
  ASSERT_TRUE(board->image());
  EXPECT_EQ(board->image()->pixelWidth(), 4u);

  // So is one that is not base64 and has no media type.
  changes = board->changeCount();
  choose(press(p, "2data:,%3Csvg%20xmlns='http://www.w3.org/2000/svg'%20width='3'%20height='2'/%3E"), "Copy");
  ASSERT_TRUE(waitFor([&] { return board->changeCount() != changes; }));
  ASSERT_TRUE(board->image());
  EXPECT_EQ(board->image()->pixelWidth(), 3u);

  choose(press(p, "2" + server_.url("/gone.png")), "Share this image ...");
  ASSERT_TRUE(waitForBox(2));
  EXPECT_EQ(strip_.lastBox(), "Failed to share image.");
  choose(press(p, "2"), "Copy");
  EXPECT_EQ(strip_.lastBox(), "Failed to copy image.");
}

}  // namespace
