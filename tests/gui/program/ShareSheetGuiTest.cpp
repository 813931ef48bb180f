// The share sheet over the real browser window: the page on show is shared
// from its sheet through "More..." and the share menu, once to the clipboard
// and once to mail. A mail program of the test's own (a .desktop file for
// mailto: and message/rfc822 in a temporary XDG data folder, made the
// default in a temporary XDG config folder) records what it was handed.

#include <gtk/gtk.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "ProgramFixture.h"
#include "kit/foundation/URL.h"
#include "kit/gtk/WidgetTree.h"
#include "kit/security/Base64.h"
#include "kit/ui/ActionSheet.h"
#include "kit/ui/NavigationController.h"
#include "kit/ui/TableView.h"
#include "share/core/Share.h"
#include "share/core/ShareItem.h"
#include "share/ui/ShareActionSheet.h"
#include "share/ui/ShareShareMenu.h"

namespace {

using tolvatest::ProgramFixture;
using tolvatest::TestResponse;

std::string& xdgRoot() {
  static std::string root;
  return root;
}

void writeFile(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

bool exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && st.st_size > 0;
}

// The HTML part of a written message, decoded.
std::string htmlBody(const std::string& message) {
  size_t part = message.find("Content-Type: text/html");
  if (part == std::string::npos) return {};
  size_t start = message.find("\r\n\r\n", part);
  size_t end = message.find("\r\n--", start);
  if (start == std::string::npos || end == std::string::npos) return {};
  std::string encoded;
  for (char c : message.substr(start + 4, end - start - 4))
    if (c != '\r' && c != '\n') encoded.push_back(c);
  auto bytes = kit::Base64::decode(encoded);
  return bytes ? std::string(bytes->begin(), bytes->end()) : std::string();
}

class ShareSheetGuiTest : public ProgramFixture {
 protected:
  // The desktop's mail settings are read once per process, before the window
  // system starts: the test's mail program is put in place first.
  static void SetUpTestSuite() {
    char pattern[] = "/tmp/tolva-share-xdg-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    xdgRoot() = pattern;
    const std::string& root = xdgRoot();
    ::mkdir((root + "/data").c_str(), 0700);
    ::mkdir((root + "/data/applications").c_str(), 0700);
    ::mkdir((root + "/config").c_str(), 0700);
    const std::string script = root + "/record-mail";
    writeFile(script,
              "#!/bin/sh\n"
              "printf '%s\\n' \"$1\" >> '" + root + "/handed'\n"
              "case \"$1\" in\n"
              "  file://*) cp \"$(printf '%s' \"${1#file://}\" | sed 's/%20/ /g')\" '" + root + "/message.part' &&"
              " mv '" + root + "/message.part' '" + root + "/message.eml' ;;\n"
              "  /*) cp \"$1\" '" + root + "/message.part' && mv '" + root + "/message.part' '" + root + "/message.eml' ;;\n"
              "esac\n");
    ::chmod(script.c_str(), 0700);
    writeFile(root + "/data/applications/tolva-test-mail.desktop",
              "[Desktop Entry]\nType=Application\nName=Tolva Test Mail\nExec=" + script +
                  " %u\nMimeType=message/rfc822;x-scheme-handler/mailto;\nNoDisplay=true\n");
    writeFile(root + "/config/mimeapps.list",
              "[Default Applications]\nmessage/rfc822=tolva-test-mail.desktop\n"
              "x-scheme-handler/mailto=tolva-test-mail.desktop\n");
    ::setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
    ProgramFixture::SetUpTestSuite();
  }
  static void TearDownTestSuite() { tolvatest::removeTree(xdgRoot()); }

  static GtkWidget* sheetButton(kit::ActionSheet* sheet, const std::string& label) {
    for (GtkWidget* dialog : kit::gtk::WidgetTree::installed()->dialogs()) {
      const char* title = gtk_window_get_title(GTK_WINDOW(dialog));
      if (!title || sheet->title() != title) continue;
      GList* children = gtk_container_get_children(GTK_CONTAINER(gtk_dialog_get_content_area(GTK_DIALOG(dialog))));
      GtkWidget* found = nullptr;
      for (GList* c = children; c; c = c->next)
        if (GTK_IS_BUTTON(c->data) && gtk_button_get_label(GTK_BUTTON(c->data)) &&
            label == gtk_button_get_label(GTK_BUTTON(c->data)))
          found = GTK_WIDGET(c->data);
      g_list_free(children);
      if (found) return found;
    }
    return nullptr;
  }

  // What the page's "Share this page" does: the page as an item, in its sheet.
  kit::Ref<tolva::ShareActionSheet> showPageSheet() {
    kit::Ref<tolva::ShareItem> item =
        tolva::ShareItem::URL(kit::URL::URLWithString(page()->location()), page()->getTitle());
    kit::Ref<tolva::ShareActionSheet> sheet = tolva::ShareActionSheet::actionSheetForItem(item.get());
    sheet->showInView(page());
    settle();
    return sheet;
  }

  static tolva::ShareShareMenu* shownMenu() {
    auto* nav = dynamic_cast<kit::NavigationController*>(tolva::Share::currentHelper()->currentView());
    return nav ? dynamic_cast<tolva::ShareShareMenu*>(nav->topViewController()) : nullptr;
  }

  // Opens the menu from the sheet's "More..." and clicks the row named `name`.
  void chooseInMenu(const std::string& name, const std::string& shot) {
    kit::Ref<tolva::ShareActionSheet> sheet = showPageSheet();
    GtkWidget* more = sheetButton(sheet.get(), "More...");
    ASSERT_NE(more, nullptr);
    saveScreenshot(shot + "Sheet");
    gtk_button_clicked(GTK_BUTTON(more));
    ASSERT_TRUE(waitUntil([] { return shownMenu() && shownMenu()->tableView()->window(); }));
    settle();
    tolva::ShareShareMenu* menu = shownMenu();
    kit::TableViewCell* row = nullptr;
    for (long s = 0; s < 2 && !row; ++s)
      for (long r = 0; r < menu->tableView()->numberOfRowsInSection(s); ++r) {
        const tolva::ShareShareMenu::Row* data = menu->rowDataAtIndexPath({s, r});
        if (data && data->name == name) row = menu->tableView()->cellForRowAtIndexPath({s, r});
      }
    ASSERT_NE(row, nullptr) << name;
    saveScreenshot(shot + "Menu");
    click(row, {row->bounds().size.width / 2, row->bounds().size.height / 2});
  }
};

TEST_F(ShareSheetGuiTest, ThePageGoesToTheClipboardAndToMail) {
  server_.route("GET", "/shared", TestResponse::html(
      "<html><head><title>Loopback Share Page</title></head><body><h1>To be shared</h1></body></html>"));
  ASSERT_TRUE(startProgram(server_.url("/shared")));
  ASSERT_TRUE(waitForTitle("Loopback Share Page"));
  const std::string url = server_.url("/shared");

  // To the clipboard.
  GtkClipboard* clipboard = gtk_clipboard_get(GDK_SELECTION_CLIPBOARD);
  gtk_clipboard_set_text(clipboard, "before", -1);
  chooseInMenu("Copy", "ShareSheetGuiTest.Copy");
  ASSERT_TRUE(waitUntil([&] {
    gchar* text = gtk_clipboard_wait_for_text(clipboard);
    const bool done = text && url == text;
    g_free(text);
    return done;
  }));
  ASSERT_TRUE(waitUntil([] { return tolva::Share::currentHelper()->currentView() == nullptr; }));
  settle();
  saveScreenshot("ShareSheetGuiTest.Copied");

  // The sheet now offers the service just used as a favourite.
  {
    kit::Ref<tolva::ShareActionSheet> sheet = showPageSheet();
    EXPECT_NE(sheetButton(sheet.get(), "Copy"), nullptr);
    sheet->dismissWithClickedButtonIndex(sheet->cancelButtonIndex(), false);
    settle();
  }

  // To mail: the draft goes to the desktop's mail program, which gets the message.
  chooseInMenu("Email Link", "ShareSheetGuiTest.Mail");
  const std::string written = xdgRoot() + "/message.eml";
  ASSERT_TRUE(waitUntil([&] { return exists(written); }, 20)) << readFile(xdgRoot() + "/handed");
  const std::string message = readFile(written);
  EXPECT_NE(message.find("Subject: Loopback Share Page\r\n"), std::string::npos) << message;
  EXPECT_EQ(htmlBody(message), url);
  ASSERT_TRUE(waitUntil([] { return tolva::Share::currentHelper()->currentView() == nullptr; }));
  settle();
  saveScreenshot("ShareSheetGuiTest.Mailed");
}

// The page with its source goes to the mail program, and the draft screen goes
// away again: nothing is left over the window, which opens its next screen.
TEST_F(ShareSheetGuiTest, TheSourceFileMailLeavesNoScreenBehind) {
  server_.route("GET", "/source", TestResponse::html(
      "<html><head><title>Loopback Source Page</title></head><body><p>Source</p></body></html>"));
  ASSERT_TRUE(startProgram(server_.url("/source")));
  ASSERT_TRUE(waitForTitle("Loopback Source Page"));
  ::unlink((xdgRoot() + "/message.eml").c_str());

  chooseInMenu("Email source file", "ShareSheetGuiTest.Source");
  const std::string written = xdgRoot() + "/message.eml";
  ASSERT_TRUE(waitUntil([&] { return exists(written); }, 20)) << readFile(xdgRoot() + "/handed");
  EXPECT_NE(readFile(written).find("content.html"), std::string::npos);
  ASSERT_TRUE(waitUntil([] { return tolva::Share::currentHelper()->currentView() == nullptr; }));
  EXPECT_TRUE(waitUntil([&] { return controller()->presentedViewController() == nullptr; }));
  settle();
  saveScreenshot("ShareSheetGuiTest.SourceMailed");
}

}  // namespace
