// The program's window made larger, as a user drags its corner: controls
// anchored to an edge stay at that edge, in both layouts.

#include <gtk/gtk.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "ProgramFixture.h"
#include "kit/gtk/ViewWidget.h"
#include "kit/gtk/WidgetTree.h"
#include "kit/ui/BarButtonItem.h"
#include "shell/VeskMultiTabView.h"
#include "shell/VeskWebViewController.h"

namespace {

using tolvatest::ProgramFixture;
using tolvatest::TestResponse;

class ResizeGuiTest : public ProgramFixture {
 protected:
  void SetUp() override {
    ProgramFixture::SetUp();
    server_.route("GET", "/home", TestResponse::html("<html><head><title>Resize Home</title></head><body>"
                                                     "<h1>A page to resize around</h1></body></html>"));
  }

  // Resizes the main window through GTK and waits until kit has the size.
  bool resizeTo(int width, int height) {
    GtkWindow* top = kit::gtk::WidgetTree::installed()->toplevelFor(mainWindow());
    if (!top) return false;
    gtk_window_resize(top, width, height);
    bool ok = waitUntil([&] { return mainWindow()->frame().size == kit::Size{double(width), double(height)}; });
    settle();
    return ok;
  }

  static kit::Rect inWindow(kit::View* v) { return v->convertRectToView(v->bounds(), nullptr); }

  // The widget that draws a bar's items, and whether one of them is allocated at `r` (bar coordinates).
  static GtkWidget* barWidgetOf(kit::View* bar) {
    kit::gtk::ViewWidget* b = bar ? kit::gtk::WidgetTree::installed()->bindingFor(bar) : nullptr;
    return b ? b->extras() : nullptr;
  }
  static bool hasChildAt(GtkWidget* container, kit::Rect r) {
    bool found = false;
    GList* children = gtk_container_get_children(GTK_CONTAINER(container));
    for (GList* l = children; l; l = l->next) {
      GtkAllocation a;
      gtk_widget_get_allocation(GTK_WIDGET(l->data), &a);
      int x = 0, y = 0;
      gtk_widget_translate_coordinates(GTK_WIDGET(l->data), container, 0, 0, &x, &y);
      if (std::abs(x - r.x()) <= 1 && std::abs(a.width - r.width()) <= 1) found = true;
    }
    g_list_free(children);
    return found;
  }

  // Where each edge-anchored control is, measured from the edges it keeps to.
  struct Edges {
    double bookmarkFromRight, readerFromLeft, privateFromRight, searchFromRight, toolbarFromBottom, titleCentre;
  };
  Edges measure() {
    tolva::VeskWebView* p = page();
    const double W = mainWindow()->frame().width(), H = mainWindow()->frame().height();
    Edges e{};
    e.bookmarkFromRight = W - p->bookmarkBtn()->frameInWindow().maxX();
    e.readerFromLeft = p->readerBtn()->frameInWindow().x();
    e.privateFromRight = W - inWindow(p->btnPrivate()).maxX();
    e.searchFromRight = W - inWindow(p->header_right()).maxX();
    e.toolbarFromBottom = H - inWindow(p->toolBarView2()).maxY();
    kit::Rect title = inWindow(p->title());
    e.titleCentre = (title.x() + title.maxX()) / 2 - W / 2;
    return e;
  }
};

TEST_F(ResizeGuiTest, EdgeAnchoredControlsStayAtTheirEdgesWhenTheWindowGrows) {
  ASSERT_TRUE(startProgram(server_.url("/home")));
  ASSERT_TRUE(waitForTitle("Resize Home"));
  Edges before = measure();
  ASSERT_TRUE(resizeTo(1500, 950));
  EXPECT_EQ(page()->frame().width(), 1500);
  Edges after = measure();
  EXPECT_NEAR(after.bookmarkFromRight, before.bookmarkFromRight, 1);
  EXPECT_NEAR(after.readerFromLeft, before.readerFromLeft, 1);
  EXPECT_NEAR(after.privateFromRight, before.privateFromRight, 1);
  EXPECT_NEAR(after.searchFromRight, before.searchFromRight, 1);
  EXPECT_NEAR(after.toolbarFromBottom, before.toolbarFromBottom, 1);
  EXPECT_NEAR(after.titleCentre, before.titleCentre, 1);
  // What is drawn follows: the bar's bookmark button is drawn at its new place.
  tolva::VeskWebView* p = page();
  kit::Rect bookmark = p->bookmarkBtn()->frameInWindow();
  GtkWidget* bar = barWidgetOf(p->bookmarkBtn()->bar());
  ASSERT_TRUE(bar);
  EXPECT_TRUE(hasChildAt(bar, p->bookmarkBtn()->frameInBar())) << "bookmark drawn at " << bookmark.x();
  saveScreenshot("grown");
}

TEST_F(ResizeGuiTest, EachHalfOfDualModeShowsItsWholeTopBar) {
  ASSERT_TRUE(startProgram(server_.url("/home")));
  ASSERT_TRUE(waitForTitle("Resize Home"));
  tolva::VeskMultiTabView* tabs = controller()->multiTab();
  controller()->onDualMode(nullptr);
  ASSERT_TRUE(waitUntil([&] { return tabs->isDual() && tabs->curView2() && tabs->curView2()->window(); }));
  settle();
  saveScreenshot("dual");
  for (tolva::VeskWebView* p : {tabs->curView(), tabs->curView2()}) {
    SCOPED_TRACE(p == tabs->curView() ? "left half" : "right half");
    const kit::Rect half = inWindow(p);
    const std::vector<std::pair<const char*, kit::Rect>> controls{
        {"previous", p->btnPrev()->frameInWindow()},     {"next", p->btnNext()->frameInWindow()},
        {"action", p->btnAction()->frameInWindow()},     {"Command", p->btnEzCommand()->frameInWindow()},
        {"address", inWindow(p->urlField())},            {"reload", inWindow(p->btnStopRefresh())},
        {"search", inWindow(p->searchField())},          {"rotation lock", inWindow(p->btnRotationLock())}};
    for (size_t i = 0; i < controls.size(); ++i) {
      const kit::Rect& r = controls[i].second;
      EXPECT_GE(r.width(), 24) << controls[i].first;
      EXPECT_TRUE(r.x() >= half.x() - 0.5 && r.maxX() <= half.maxX() + 0.5) << controls[i].first << " leaves the half";
      for (size_t j = i + 1; j < controls.size(); ++j) {
        const kit::Rect& o = controls[j].second;
        EXPECT_TRUE(r.maxX() <= o.x() + 0.5 || o.maxX() <= r.x() + 0.5)
            << controls[i].first << " overlaps " << controls[j].first;
      }
    }
    // The address field keeps room for an address, not a sliver.
    EXPECT_GE(p->urlField()->frame().width(), 64);
  }
}

TEST_F(ResizeGuiTest, ThePhoneLayoutKeepsItsEdgesToo) {
  ASSERT_TRUE(startProgram(server_.url("/home"), true));
  ASSERT_TRUE(waitForTitle("Resize Home"));
  Edges before = measure();
  ASSERT_TRUE(resizeTo(480, 640));
  Edges after = measure();
  EXPECT_NEAR(after.bookmarkFromRight, before.bookmarkFromRight, 1);
  EXPECT_NEAR(after.privateFromRight, before.privateFromRight, 1);
  EXPECT_NEAR(after.searchFromRight, before.searchFromRight, 1);
  EXPECT_NEAR(after.toolbarFromBottom, before.toolbarFromBottom, 1);
  EXPECT_NEAR(after.titleCentre, before.titleCentre, 1);
  saveScreenshot("grown");
}

}  // namespace
