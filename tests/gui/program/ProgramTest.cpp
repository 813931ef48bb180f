// The browser itself on the GTK backend, browsing pages served on 127.0.0.1.

#include <gdk/gdkkeysyms.h>
#include <gtk/gtk.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "ProgramFixture.h"
#include "kit/foundation/Paths.h"
#include "kit/foundation/PropertyList.h"
#include "kit/gtk/ViewWidget.h"
#include "kit/gtk/WidgetTree.h"
#include "kit/ui/AlertView.h"
#include "kit/ui/Application.h"
#include "kit/ui/HeadlessURLOpener.h"
#include "kit/foundation/UserDefaults.h"
#include "kit/ui/Button.h"
#include "kit/ui/ScrollView.h"
#include "kit/ui/TextField.h"
#include "kit/ui/WebView.h"
#include "common/VeskMiscObject.h"
#include "data/VeskPasscodeStore.h"

#include <gdk/gdkx.h>

namespace {

using tolvatest::ProgramFixture;
using tolvatest::TestResponse;

std::string html(const std::string& title, const std::string& body) {
  return "<html><head><title>" + title + "</title></head><body style='font-family:sans-serif'>" + body +
         "</body></html>";
}

class ProgramTest : public ProgramFixture {
 protected:
  void SetUp() override {
    ProgramFixture::SetUp();
    server_.route("GET", "/home", TestResponse::html(html(
        "Tolva Home Test", "<h1 style='color:#1a5'>Home sweet home</h1><p>A page served on the loopback "
                           "interface for the GUI tests.</p><p><a id='mail' href='mailto:someone@example.com' "
                           "style='font-size:28px'>Write to someone</a></p>"
                           "<p><a id='next' href='/second' style='font-size:28px'>On to the second page</a></p>")));
    server_.route("GET", "/second", TestResponse::html(html(
        "The Second Page", "<h1 style='color:#a15'>Second page</h1><p>Reached through the address field.</p>")));
  }

  // A real click on an element of the page, where the page draws it.
  void clickElement(const std::string& id) {
    kit::WebView* web = page()->existingWebView();
    ASSERT_NE(web, nullptr);
    const std::string rect = web->stringByEvaluatingJavaScriptFromString(
        "(function(){var r=document.getElementById('" + id + "').getBoundingClientRect();"
        "return Math.round(r.left+r.width/2)+','+Math.round(r.top+r.height/2);})()");
    int x = 0, y = 0;
    ASSERT_EQ(std::sscanf(rect.c_str(), "%d,%d", &x, &y), 2) << rect;
    settle();
    click(web, {double(x), double(y)});
  }

  GtkWidget* contentOf(kit::View* v) {
    kit::gtk::ViewWidget* b = kit::gtk::WidgetTree::installed()->bindingFor(v);
    return b ? b->content() : nullptr;
  }
};

TEST_F(ProgramTest, AFreshHomeStartsOnTheHomePageAndShowsItsTitle) {
  ASSERT_TRUE(startProgram(server_.url("/home")));
  ASSERT_TRUE(waitForTitle("Tolva Home Test")) << (page() ? page()->title()->text() : "no page");
  EXPECT_FALSE(server_.requestsFor("/home").empty());
  // The title label on screen says so too.
  settle();
  GtkWidget* label = contentOf(page()->title());
  ASSERT_NE(label, nullptr);
  EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(label)), "Tolva Home Test");
  EXPECT_TRUE(gtk_widget_is_drawable(label));
  // The window is the tablet screen.
  EXPECT_EQ(mainWindow()->frame().size, (kit::Size{1024, 768}));
  dump();
}

TEST_F(ProgramTest, AnAddressTypedAndConfirmedLoadsThatPageAndHistoryFollows) {
  ASSERT_TRUE(startProgram(server_.url("/home")));
  ASSERT_TRUE(waitForTitle("Tolva Home Test"));
  EXPECT_FALSE(page()->btnPrev()->isEnabled());
  kit::TextField* field = page()->urlField();
  ASSERT_NE(field, nullptr);
  click(field, {field->bounds().width() / 2, field->bounds().height() / 2});
  ASSERT_TRUE(waitUntil([&] { return field->isEditing(); }, 5));
  GtkWidget* entry = contentOf(field);
  ASSERT_NE(entry, nullptr);
  ASSERT_TRUE(waitUntil([&] { return gtk_widget_has_focus(entry) != FALSE; }, 5));
  gtk_editable_select_region(GTK_EDITABLE(entry), 0, -1);
  typeKeys(field, server_.url("/second"));
  EXPECT_EQ(field->text(), server_.url("/second"));
  pressKey(field, GDK_KEY_Return);
  ASSERT_TRUE(waitForTitle("The Second Page")) << page()->title()->text();
  EXPECT_TRUE(waitUntil([&] { return page()->btnPrev()->isEnabled(); }, 5));
  EXPECT_FALSE(page()->btnNext()->isEnabled());
  saveScreenshot("ProgramTest.SecondPage");
  page()->onPrev();
  ASSERT_TRUE(waitForTitle("Tolva Home Test"));
  EXPECT_TRUE(waitUntil([&] { return page()->btnNext()->isEnabled(); }, 5));
  EXPECT_FALSE(page()->btnPrev()->isEnabled());
}

TEST_F(ProgramTest, FollowingALinkEnablesBackThenForward) {
  ASSERT_TRUE(startProgram(server_.url("/home")));
  ASSERT_TRUE(waitForTitle("Tolva Home Test"));
  EXPECT_FALSE(page()->btnPrev()->isEnabled());
  EXPECT_FALSE(page()->btnNext()->isEnabled());
  clickElement("next");
  ASSERT_TRUE(waitForTitle("The Second Page")) << page()->title()->text();
  EXPECT_TRUE(waitUntil([&] { return page()->btnPrev()->isEnabled(); }, 5));
  EXPECT_FALSE(page()->btnNext()->isEnabled());
  // The back item's button on screen follows its item.
  settle();
  saveScreenshot("ProgramTest.SecondPage");
  page()->onPrev();
  ASSERT_TRUE(waitForTitle("Tolva Home Test"));
  EXPECT_TRUE(waitUntil([&] { return page()->btnNext()->isEnabled(); }, 5));
  EXPECT_FALSE(page()->btnPrev()->isEnabled());
}

TEST_F(ProgramTest, AMailtoLinkAsksThroughThePageAlert) {
  // The desktop's mail program is the test's: it records what it is handed.
  kit::Application* app = kit::Application::sharedApplication();
  ASSERT_TRUE(startProgram(server_.url("/home")));
  app->setURLOpener(nullptr);
  app->headlessURLOpener().setOpenableSchemes({"mailto"});
  ASSERT_TRUE(waitForTitle("Tolva Home Test"));
  clickElement("mail");
  ASSERT_TRUE(waitUntil([&] { return kit::AlertView::topVisibleAlert() != nullptr; }, 10));
  kit::AlertView* alert = kit::AlertView::topVisibleAlert();
  EXPECT_EQ(alert->tag(), tolva::VeskWebView::kTagExternalLink);
  EXPECT_EQ(alert->message(), "Mail to someone@example.com");
  EXPECT_EQ(kit::gtk::WidgetTree::installed()->dialogs().size(), 1u);
  EXPECT_EQ(page()->title()->text(), "Tolva Home Test");  // the page stays
  saveScreenshot("ProgramTest.MailtoAlert");
  // "Continue" hands the address to the mail program.
  GtkWidget* dialog = kit::gtk::WidgetTree::installed()->dialogs().front();
  gtk_dialog_response(GTK_DIALOG(dialog), 1);
  ASSERT_TRUE(waitUntil([&] { return kit::AlertView::topVisibleAlert() == nullptr; }, 5));
  EXPECT_EQ(app->headlessURLOpener().openedURLs(), (std::vector<std::string>{"mailto:someone@example.com"}));
  EXPECT_TRUE(kit::gtk::WidgetTree::installed()->dialogs().empty());
}

TEST_F(ProgramTest, ThePhoneIdiomStartsInThePhoneLayout) {
  ASSERT_TRUE(startProgram(server_.url("/home"), true));
  ASSERT_TRUE(waitForTitle("Tolva Home Test"));
  EXPECT_EQ(mainWindow()->frame().size, (kit::Size{320, 480}));
  GtkWindow* top = kit::gtk::WidgetTree::installed()->toplevelFor(mainWindow());
  ASSERT_NE(top, nullptr);
  int w = 0, h = 0;
  gtk_window_get_size(top, &w, &h);
  EXPECT_EQ(w, 320);
  EXPECT_EQ(h, 480);
  // Everything of the page view fits the narrow screen.
  EXPECT_LE(page()->frame().maxX(), 320);
  kit::Rect field = page()->urlField()->convertRectToView(page()->urlField()->bounds(), nullptr);
  EXPECT_GT(field.width(), 0);
  EXPECT_LE(field.maxX(), 320);
  // The rotation lock and the private-mode button show over the page and take clicks.
  kit::Button* lock = page()->btnRotationLock();
  click(lock, lock->bounds().center());
  ASSERT_TRUE(waitUntil([&] { return controller()->lockRotation(); }, 5));
  kit::Button* secret = page()->btnPrivate();
  click(secret, secret->bounds().center());
  ASSERT_TRUE(waitUntil([&] { return page()->privateMode(); }, 5));
  EXPECT_TRUE(lock->isSelected());
  EXPECT_TRUE(secret->isSelected());
  settle();
  // An alert with a long text fits the narrow window: its text wraps, its button stays inside.
  kit::Ref<kit::AlertView> alert = kit::make<kit::AlertView>(
      "", "The file 'a-report-with-a-rather-long-name.pdf' can not be displayed. Would you like to download it?",
      nullptr, "Cancel", std::vector<std::string>{"OK"});
  alert->show();
  GtkWidget* dialog = nullptr;
  ASSERT_TRUE(waitUntil([&] { return (dialog = kit::gtk::WidgetTree::installed()->widgetFor(alert.get())) &&
                                     gtk_widget_get_mapped(dialog); }, 5));
  settle();
  gtk_window_get_size(GTK_WINDOW(dialog), &w, &h);
  EXPECT_LE(w, 320);
  GtkWidget* ok = gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), 1);
  ASSERT_NE(ok, nullptr);
  int okX = 0, okY = 0;
  ASSERT_TRUE(gtk_widget_translate_coordinates(ok, dialog, 0, 0, &okX, &okY));
  EXPECT_LE(okX + gtk_widget_get_allocated_width(ok), w);
  alert->dismissWithClickedButtonIndex(0, false);
  settle();
}

TEST_F(ProgramTest, TheScrollingAddressBarGoesUpWithTheTabletPageAndItsFieldsTakeClicks) {
  std::string paras;
  for (int i = 0; i < 60; ++i) paras += "<p>Line " + std::to_string(i) + " of a long page.</p>";
  server_.route("GET", "/long", TestResponse::html(html("A Long Page", paras)));
  kit::UserDefaults::standardUserDefaults().setBool(true, "opt_urlbar_scroll");
  ASSERT_TRUE(startProgram(server_.url("/long")));
  ASSERT_TRUE(waitForTitle("A Long Page"));
  tolva::VeskWebView* p = page();
  ASSERT_TRUE(p->isURLBarInScrollView());
  kit::View* bar = p->urlBaseView();
  auto barTop = [&] { return bar->convertPointToView({0, 0}, p).y; };
  EXPECT_EQ(barTop(), 0);
  // A click into the search field reaches it through the page.
  kit::TextField* search = p->searchField();
  click(search, search->bounds().center());
  ASSERT_TRUE(waitUntil([&] { return search->isFirstResponder(); }, 5));
  search->resignFirstResponder();
  ASSERT_TRUE(p->isURLBarInScrollView());
  // The address field takes a click and typing while its bar leaves the page's scroll view.
  kit::TextField* address = p->urlField();
  static int criticals = 0;
  auto count = [](const gchar*, GLogLevelFlags, const gchar*, gpointer) { ++criticals; };
  std::vector<guint> handlers;
  for (const char* domain : {"Gtk", "GLib-GObject", "Gdk"})
    handlers.push_back(g_log_set_handler(domain, G_LOG_LEVEL_CRITICAL, count, nullptr));
  click(address, address->bounds().center());
  ASSERT_TRUE(waitUntil([&] { return address->isFirstResponder(); }, 5));
  settle();
  typeKeys(p, "zq");
  ASSERT_TRUE(waitUntil([&] { return address->text().find("zq") != std::string::npos; }, 5)) << address->text();
  EXPECT_FALSE(bar->isHidden());
  EXPECT_EQ(criticals, 0);  // no widget was torn down while GTK still used it
  const char* domains[] = {"Gtk", "GLib-GObject", "Gdk"};
  for (size_t i = 0; i < handlers.size(); ++i) g_log_remove_handler(domains[i], handlers[i]);
  address->resignFirstResponder();
  ASSERT_TRUE(waitUntil([&] { return p->isURLBarInScrollView(); }, 5));
  // Scrolling the page by 20 points takes the bar up with it.
  p->existingWebView()->scrollView()->setContentOffset({0, -24});
  ASSERT_TRUE(waitUntil([&] { return barTop() == -20; }, 5)) << barTop();
  settle();
}

TEST_F(ProgramTest, AURLGivenAtLaunchOpensInsteadOfTheHomePage) {
  ASSERT_TRUE(startProgram(server_.url("/home"), false, server_.url("/second")));
  ASSERT_TRUE(waitForTitle("The Second Page")) << page()->title()->text();
}

// Whether a history entry for `url` is somewhere in the stored bookmark tree.
bool storedVisit(kit::Object* item, const std::string& url) {
  if (auto* array = kit::cast<kit::Array>(item)) {
    for (size_t i = 0; i < array->count(); ++i)
      if (storedVisit(array->objectAtIndex(i), url)) return true;
    return false;
  }
  auto* dict = kit::cast<kit::Dictionary>(item);
  if (!dict) return false;
  auto* stored = dict->get<kit::String>("url");
  if (stored && stored->str() == url && dict->get<kit::Number>("visit_count")) return true;
  return storedVisit(dict->objectForKey("subitems"), url);
}

// A desktop program can be ended without warning: a visit is on disk within
// seconds, so the next start has it even after SIGKILL.
TEST_F(ProgramTest, AVisitSurvivesTheProgramBeingKilledThreeSecondsLater) {
  server_.route("GET", "/visit", TestResponse::html(html(
      "Kept Visit", "<p>Visited.</p><script>addEventListener('load',function(){fetch('/loaded')})</script>")));
  server_.route("GET", "/loaded", TestResponse::html("ok"));
  const std::string url = server_.url("/visit");
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::execl(TOLVA_BINARY, TOLVA_BINARY, url.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  const bool loaded = waitUntil([&] { return !server_.requestsFor("/loaded").empty(); }, 60);
  if (loaded) std::this_thread::sleep_for(std::chrono::seconds(3));
  ::kill(child, SIGKILL);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(loaded) << "the page never finished loading";
  ASSERT_TRUE(WIFSIGNALED(status)) << "the program ended by itself";

  kit::Ref<kit::Error> error;
  kit::Ref<kit::Object> file = kit::PropertyList::readFromFile(kit::Paths::preferencesFile(),
                                                               kit::PropertyList::Options::Immutable, &error);
  auto* settings = kit::cast<kit::Dictionary>(file);
  ASSERT_TRUE(settings) << (error ? error->localizedDescription() : "no settings");
  EXPECT_TRUE(storedVisit(settings->objectForKey("bookmark"), url));
}

// Minimising is how a desktop leaves a program. Without a window manager X11
// minimises by unmapping the window behind the toolkit's back, which GDK reads
// as iconified: the program enters the background, saves, and with a passcode
// set and a private tab open arms the lock; shown again, it asks for the PIN.
TEST_F(ProgramTest, MinimisingEntersTheBackgroundAndShowingAgainAsksForThePasscode) {
  tolva::VeskPasscodeStore::setPasscode("1357");
  kit::UserDefaults::standardUserDefaults().setBool(true, "passcode_ask_only_private_exists");
  ASSERT_TRUE(startProgram(server_.url("/home")));
  ASSERT_TRUE(waitForTitle("Tolva Home Test"));
  kit::Button* secret = page()->btnPrivate();
  click(secret, secret->bounds().center());
  ASSERT_TRUE(waitUntil([&] { return page()->privateMode(); }, 5));
  ASSERT_FALSE(tolva::VeskMiscObject::sharedInstance()->bPrivateTabExists());
  ASSERT_FALSE(delegate()->bPasscodeVisible());

  kit::Application* app = kit::Application::sharedApplication();
  GtkWidget* top = GTK_WIDGET(kit::gtk::WidgetTree::installed()->toplevelFor(mainWindow()));
  ASSERT_NE(top, nullptr);
  Display* x = GDK_DISPLAY_XDISPLAY(gtk_widget_get_display(top));
  const ::Window xid = GDK_WINDOW_XID(gtk_widget_get_window(top));
  XUnmapWindow(x, xid);
  XFlush(x);
  ASSERT_TRUE(waitUntil([&] { return app->applicationState() == kit::Application::State::Background; }, 10));
  // The saves of the background are on disk, and the lock is armed.
  kit::Ref<kit::Error> error;
  kit::Ref<kit::Object> file = kit::PropertyList::readFromFile(kit::Paths::preferencesFile(),
                                                               kit::PropertyList::Options::Immutable, &error);
  auto* settings = kit::cast<kit::Dictionary>(file);
  ASSERT_TRUE(settings) << (error ? error->localizedDescription() : "no settings");
  auto* uses = settings->get<kit::Number>("ana_usage_counter");
  ASSERT_TRUE(uses);
  EXPECT_GE(uses->integerValue(), 1);
  EXPECT_TRUE(settings->objectForKey("bookmark"));
  EXPECT_TRUE(tolva::VeskMiscObject::sharedInstance()->bPrivateTabExists());
  EXPECT_TRUE(mainWindow()->isHidden());
  EXPECT_FALSE(delegate()->bPasscodeVisible());

  XMapWindow(x, xid);
  XFlush(x);
  ASSERT_TRUE(waitUntil([&] { return app->applicationState() != kit::Application::State::Background; }, 10));
  EXPECT_TRUE(waitUntil([&] { return delegate()->bPasscodeVisible(); }, 5));
  EXPECT_TRUE(mainWindow()->isHidden());
}

}  // namespace
