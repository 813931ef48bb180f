// Page tools in the real program: the command menu's "Adjust Font Size"
// makes the page's text larger on screen, and a right click on a link opens
// the link menu, whose entries open the link in a new tab and copy it to the
// desktop's clipboard. Pages are served on 127.0.0.1.

#include <gtk/gtk.h>

#include <cstdlib>
#include <string>

#include "TabsFixture.h"
#include "kit/ui/Button.h"
#include "shell/VeskWebView.h"

namespace {

using tolvatest::TabsFixture;
using tolvatest::TestResponse;

class PageToolsGuiTest : public TabsFixture {
 protected:
  void SetUp() override {
    TabsFixture::SetUp();
    server_.route("GET", "/tools",
                  TestResponse::html(html("Tools Page", "<p><span id='words' style='font-size:16px'>Some words to size"
                                                        "</span></p><p><a id='link' href='/target' "
                                                        "style='font-size:24px'>A link to follow</a></p>")));
    server_.route("GET", "/target", TestResponse::html(html("Target Page", "<h1>Arrived</h1>")));
  }

  double heightOf(const std::string& id) const {
    kit::WebView* web = page()->existingWebView();
    return std::atof(web->stringByEvaluatingJavaScriptFromString(
                            "String(document.getElementById('" + id + "').getBoundingClientRect().height)")
                         .c_str());
  }

  // Right-clicks the link and answers the menu that opens.
  kit::Ref<kit::ActionSheet> linkMenu() {
    kit::WebView* web = page()->existingWebView();
    kit::Point at;
    EXPECT_TRUE(elementCenter(web, "link", &at));
    settle();
    rightClick(web, at);
    if (!waitUntil([] { return !kit::ActionSheet::visibleSheets().empty(); }, 10)) return nullptr;
    return kit::ActionSheet::visibleSheets().front();
  }

  void clickEntry(kit::ActionSheet* sheet, const std::string& entry) {
    ASSERT_TRUE(waitUntil([&] { return dialogButton(sheet, entry) != nullptr; }, 5)) << "no entry " << entry;
    gtk_button_clicked(GTK_BUTTON(dialogButton(sheet, entry)));
    ASSERT_TRUE(waitUntil([] { return kit::ActionSheet::visibleSheets().empty(); }, 5));
  }
};

TEST_F(PageToolsGuiTest, AdjustFontSizeMakesThePageTextLarger) {
  ASSERT_TRUE(startProgram(server_.url("/tools")));
  ASSERT_TRUE(waitForTitle("Tools Page"));
  const double before = heightOf("words");
  ASSERT_GT(before, 0);

  page()->onEasyCommand();
  ASSERT_TRUE(waitUntil([] { return !kit::ActionSheet::visibleSheets().empty(); }, 5));
  kit::Ref<kit::ActionSheet> commands = kit::ActionSheet::visibleSheets().front();
  EXPECT_EQ(commands->tag(), tolva::VeskWebView::kTagCommandMenu);
  clickEntry(commands.get(), "Adjust Font Size");
  ASSERT_TRUE(waitUntil([&] { return !page()->vwFontPopup()->isHidden(); }, 5));
  saveScreenshot("PageToolsGuiTest.FontPopup");

  for (int i = 0; i < 5; ++i) clickMiddleOf(page()->btnFontIncrease());
  ASSERT_TRUE(waitUntil([&] { return page()->textFontSize() == 150; }, 5)) << page()->textFontSize();
  EXPECT_TRUE(waitUntil([&] { return heightOf("words") > before * 1.3; }, 5))
      << "text height " << heightOf("words") << " was " << before;
  saveScreenshot("PageToolsGuiTest.LargerText");

  clickMiddleOf(page()->btnFontReset());
  ASSERT_TRUE(waitUntil([&] { return page()->textFontSize() == 100; }, 5));
  EXPECT_TRUE(waitUntil([&] { return heightOf("words") < before * 1.1; }, 5));
  EXPECT_FALSE(page()->btnFontReset()->isEnabled());

  // The popup's last button closes it.
  kit::View* popup = page()->vwFontPopup();
  click(popup, {popup->bounds().width() - 30, popup->bounds().height() / 2});
  EXPECT_TRUE(waitUntil([&] { return popup->isHidden(); }, 5));
}

TEST_F(PageToolsGuiTest, ARightClickOnALinkOpensItsMenu) {
  ASSERT_TRUE(startProgram(server_.url("/tools")));
  ASSERT_TRUE(waitForTitle("Tools Page"));
  const std::string target = server_.url("/target");

  kit::Ref<kit::ActionSheet> menu = linkMenu();
  ASSERT_TRUE(menu) << "no menu on a right click";
  EXPECT_EQ(menu->tag(), tolva::VeskWebView::kTagLinkMenu);
  EXPECT_EQ(menu->title(), target);
  EXPECT_NE(dialogFor(menu.get()), nullptr);
  saveScreenshot("PageToolsGuiTest.LinkMenu");

  // "Copy Link" puts the link on the desktop's clipboard.
  clickEntry(menu.get(), "Copy Link");
  GtkClipboard* clipboard = gtk_clipboard_get(GDK_SELECTION_CLIPBOARD);
  std::string copied;
  ASSERT_TRUE(waitUntil(
      [&] {
        gchar* t = gtk_clipboard_wait_for_text(clipboard);
        copied = t ? t : "";
        g_free(t);
        return copied == target;
      },
      5))
      << "clipboard holds \"" << copied << "\"";

  // "Open in New Tab" opens the link in a new tab on show.
  const int tabs = strip()->tabCount();
  menu = linkMenu();
  ASSERT_TRUE(menu);
  clickEntry(menu.get(), "Open in New Tab");
  ASSERT_TRUE(waitUntil([&] { return strip()->tabCount() == tabs + 1; }, 10));
  ASSERT_TRUE(waitForTitle("Target Page"));
  EXPECT_EQ(server_.requestsFor("/target").size(), 1u);
  saveScreenshot("PageToolsGuiTest.OpenedInNewTab");
}

}  // namespace
