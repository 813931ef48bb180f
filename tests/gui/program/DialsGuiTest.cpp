// The jog dials and the trackpads in the real window, driven by the mouse
// as by a finger: a drag of the first button is one touch, a double click
// a double tap.

#include <cstdio>
#include <cstdlib>
#include <string>

#include "TabsFixture.h"
#include "data/VeskBookmarkDatabase.h"
#include "kit/gtk/Backend.h"
#include "kit/ui/Image.h"
#include "shell/VeskJogDialView.h"
#include "shell/VeskTrackPadView.h"

namespace {

using tolvatest::TestResponse;

class DialsGuiTest : public tolvatest::TabsFixture {
 protected:
  void SetUp() override {
    TabsFixture::SetUp();
    std::string rows = "<p style='height:60px;margin:0'><a id='next' href='/second' style='font-size:28px'>Next</a></p>";
    // Words across the whole width: a click the page saw under a trackpad would select one.
    std::string words;
    for (int i = 0; i < 60; ++i) words += " word";
    for (int i = 0; i < 120; ++i)
      rows += "<p style='height:60px;margin:0;white-space:nowrap;font-size:30px'>Row " + std::to_string(i) + words + "</p>";
    server_.route("GET", "/long", TestResponse::html(html("Long Page", rows)));
    server_.route("GET", "/second", TestResponse::html(html("The Second Page", "<h1>Second</h1>")));
    server_.route("GET", "/one", TestResponse::html(html("Bookmark One", "<h1>One</h1>")));
    server_.route("GET", "/two", TestResponse::html(html("Bookmark Two", "<h1>Two</h1>")));
  }

  double scrollY() {
    kit::WebView* web = page() ? page()->existingWebView() : nullptr;
    return web ? std::atof(web->stringByEvaluatingJavaScriptFromString("String(window.scrollY)").c_str()) : -1;
  }

  static kit::Point middleInWindow(kit::View* v) {
    return v->convertPointToView({v->bounds().width() / 2, v->bounds().height() / 2}, nullptr);
  }

  // The mean brightness (0..255) of the window as drawn now.
  double windowBrightness() {
    settle();
    const std::string path = std::string(std::getenv("TOLVA_HOME") ? std::getenv("TOLVA_HOME") : "/tmp") +
                             "/brightness-probe.png";
    if (!kit::gtk::Backend::writeScreenshot(mainWindow(), path)) return -1;
    kit::Ref<kit::Image> shot = kit::Image::imageWithContentsOfFile(path);
    std::remove(path.c_str());
    if (!shot || !shot->hasPixels()) return -1;
    double sum = 0;
    size_t n = 0;
    for (size_t y = 0; y < shot->pixelHeight(); y += 4)
      for (size_t x = 0; x < shot->pixelWidth(); x += 4, ++n) {
        const uint32_t px = shot->pixelAt(x, y);
        sum += ((px >> 24) & 0xFF) * 0.3 + ((px >> 16) & 0xFF) * 0.59 + ((px >> 8) & 0xFF) * 0.11;
      }
    return n ? sum / n : -1;
  }
};

TEST_F(DialsGuiTest, DraggingATrackpadScrollsTheLongPageAndADoubleClickRunsItsAction) {
  ASSERT_TRUE(startProgram(server_.url("/long")));
  ASSERT_TRUE(waitForTitle("Long Page"));
  tolva::VeskTrackPadView* pad = controller()->trackPad();
  ASSERT_FALSE(pad->isHidden());
  ASSERT_EQ(pad->veskView(), page());
  ASSERT_TRUE(waitUntil([&] { return scrollY() == 0; }, 5));

  // Hold the button 30 points below where it went down: 18 points a tick.
  const kit::Point start = middleInWindow(pad);
  pointerTo(pad, start);
  pressButton(true);
  for (int dy = 10; dy <= 30; dy += 10) pointerTo(pad, {start.x, start.y + dy});
  EXPECT_TRUE(pad->timer());
  EXPECT_TRUE(waitUntil([&] { return scrollY() > 150; }, 10)) << scrollY();
  saveScreenshot("DialsGuiTest.trackpad-scrolling");
  pressButton(false);
  settle();
  EXPECT_FALSE(pad->timer());
  EXPECT_EQ(pad->trackBall()->center(), (kit::Point{pad->bounds().width() / 2, pad->bounds().height() / 2}));
  const double afterDrag = scrollY();
  EXPECT_GT(afterDrag, 150);
  EXPECT_FALSE(pad->bPostionRatioValid());  // a plain drag never moves the pad

  // A double click: the default action takes the page to its far end.
  pointerTo(pad, start);
  pressButton(true);
  pressButton(false);
  pressButton(true);
  pressButton(false);
  EXPECT_TRUE(waitUntil([&] { return scrollY() > afterDrag + 1000; }, 10)) << scrollY();
  EXPECT_FALSE(pad->bPostionRatioValid());
  // The page under the pad saw neither the drag nor the double click.
  EXPECT_EQ(page()->existingWebView()->stringByEvaluatingJavaScriptFromString("window.getSelection().toString()"), "");
  saveScreenshot("DialsGuiTest.trackpad-double-click");
}

TEST_F(DialsGuiTest, DraggingABookmarkDialPicksAndOpensARootBookmark) {
  ASSERT_TRUE(startProgram(server_.url("/long")));
  ASSERT_TRUE(waitForTitle("Long Page"));
  // The root's bookmarks become two pages of the loopback server.
  tolva::VeskBookmarkDatabase* db = tolva::VeskBookmarkDatabase::getSharedInstance();
  db->gotoRoot();
  while (db->nonFolderItemCount(nullptr) > 0) db->deleteItemAt(db->folderItemCount(nullptr));
  db->addItem("Bookmark One", server_.url("/one"));
  db->addItem("Bookmark Two", server_.url("/two"));
  tolva::VeskWebViewController* c = controller();
  ASSERT_EQ(c->faviDial()->itemCount(), 3);

  // Press the pull tab and drag up two steps, as a finger would.
  kit::Point p = middleInWindow(c->faviDockTip1());
  pointerTo(c->faviDockTip1(), p);
  pressButton(true);
  EXPECT_FALSE(c->faviLabelContainer()->isHidden());
  for (int i = 0; i < 2; ++i) {
    p.y -= tolva::VeskJogDialView::kStepDistance + 1;
    pointerTo(c->faviDockTip1(), p);
  }
  EXPECT_EQ(c->faviDial()->curSel(), 2);
  EXPECT_EQ(c->faviLabel()->text(), "Bookmark Two");
  EXPECT_NE(c->faviDial()->turn(), 0);
  saveScreenshot("DialsGuiTest.bookmark-dial-turned");
  pressButton(false);
  EXPECT_TRUE(waitForTitle("Bookmark Two"));
  EXPECT_TRUE(c->faviLabelContainer()->isHidden());
}

TEST_F(DialsGuiTest, TheBrightnessDialDimsTheWholeWindow) {
  ASSERT_TRUE(startProgram(server_.url("/long")));
  ASSERT_TRUE(waitForTitle("Long Page"));
  tolva::VeskWebViewController* c = controller();
  const double before = windowBrightness();
  ASSERT_GT(before, 0);
  saveScreenshot("DialsGuiTest.brightness-before");

  // Pull the tab and drag up four steps: the dock slides out under the pointer.
  kit::Point p = middleInWindow(c->brightnessDockTip());
  pointerTo(c->brightnessDockTip(), p);
  pressButton(true);
  EXPECT_TRUE(c->brightnessDial()->isUserInteractionEnabled());
  for (int i = 0; i < 4; ++i) {
    p.y -= tolva::VeskJogDialView::kStepDistance + 1;
    pointerTo(c->brightnessDockTip(), p);
  }
  pressButton(false);
  settle();
  EXPECT_EQ(c->brightnessDial()->curSel(), 4);
  EXPECT_FALSE(c->overlay()->isHidden());
  EXPECT_DOUBLE_EQ(c->overlay()->alpha(), 0.3);
  const double after = windowBrightness();
  saveScreenshot("DialsGuiTest.brightness-dimmed");
  EXPECT_LT(after, before * 0.85) << before << " -> " << after;

  // The overlay never takes input: a link under it still follows a click.
  clickElement("next");
  EXPECT_TRUE(waitForTitle("The Second Page"));
}

}  // namespace
