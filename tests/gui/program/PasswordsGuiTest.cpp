// Saved passwords and the passcode lock in the real program: a login form
// saved and filled in again on the next visit, a page behind an HTTP login
// reached through the browser's login screen, and the PIN window that comes
// up once the browser's window has been left for more than 2.5 s. Pages are
// served on 127.0.0.1; the keychain is the program's own file.

#include <gdk/gdkkeysyms.h>
#include <gtk/gtk.h>
#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "TabsFixture.h"
#include "data/PINViewController.h"
#include "data/VeskAuthenticationTableViewController.h"
#include "data/VeskPagePasswordDatabase.h"
#include "kit/foundation/Paths.h"
#include "kit/foundation/UserDefaults.h"
#include "kit/security/FileKeychainStore.h"
#include "kit/security/Keychain.h"
#include "kit/security/MemoryKeychainStore.h"
#include "kit/ui/NavigationController.h"
#include "kit/ui/TextField.h"
#include "shell/VeskAnalytics.h"

namespace {

using tolvatest::TabsFixture;
using tolvatest::TestResponse;

class PasswordsGuiTest : public TabsFixture {
 protected:
  void SetUp() override {
    TabsFixture::SetUp();
    kit::Keychain::installSharedStore(std::make_shared<kit::FileKeychainStore>(kit::Paths::keychainFile()));
    store()->resetForTesting();
    // No review question over what is tested here.
    tolva::VeskAnalytics::sharedInstance()->setRemindCounter(5);
  }
  void TearDown() override {
    if (foreign_) gtk_widget_destroy(foreign_);
    foreign_ = nullptr;
    TabsFixture::TearDown();
    store()->resetForTesting();
    kit::Keychain::installSharedStore(std::make_shared<kit::MemoryKeychainStore>());
  }

  static tolva::VeskPagePasswordDatabase* store() { return tolva::VeskPagePasswordDatabase::sharedInstance(); }
  std::string eval(const std::string& script) const {
    kit::WebView* web = page() ? page()->existingWebView() : nullptr;
    return web ? web->stringByEvaluatingJavaScriptFromString(script) : std::string();
  }

  // After the runs: the settings file holds no password, the keychain file is private.
  void expectPasswordsStayOutOfTheSettings(const std::string& password) {
    kit::UserDefaults& d = kit::UserDefaults::standardUserDefaults();
    ASSERT_TRUE(d.synchronize());
    std::ifstream in(d.path());
    std::stringstream text;
    text << in.rdbuf();
    ASSERT_NE(text.str().find("password_key"), std::string::npos) << "no saved login in " << d.path();
    EXPECT_EQ(text.str().find(password), std::string::npos);
    struct stat st {};
    ASSERT_EQ(stat(kit::Paths::keychainFile().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
  }

  // Another program's window takes the focus from the browser's.
  void focusElsewhere() {
    foreign_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(foreign_), 200, 100);
    gtk_widget_show_all(foreign_);
    gtk_window_present(GTK_WINDOW(foreign_));
  }

  GtkWidget* foreign_ = nullptr;
};

TEST_F(PasswordsGuiTest, ASavedLoginFormIsFilledInOnTheNextVisit) {
  server_.route("GET", "/login", TestResponse::html(html(
      "Sign In",
      "<form id='signin' action='/signed-in' method='post' style='font-size:24px'>"
      "<p><input id='user' name='user' type='text' style='font-size:24px'></p>"
      "<p><input id='pass' name='pass' type='password' style='font-size:24px'></p>"
      "<p><button id='go' type='submit' style='font-size:24px'>Sign in</button></p></form>")));
  server_.route("POST", "/signed-in", TestResponse::html(html("Signed In", "<h1>Welcome back</h1>")));
  ASSERT_TRUE(startProgram(server_.url("/login")));
  ASSERT_TRUE(waitForTitle("Sign In"));
  clickElement("user");
  typeKeys(page(), "alice");
  clickElement("pass");
  typeKeys(page(), "s3cret");
  clickElement("go");

  ASSERT_TRUE(waitUntil([] { return buttonInDialogs("Save Password") != nullptr; }, 10)) << "no offer to save";
  gtk_button_clicked(GTK_BUTTON(buttonInDialogs("Save Password")));
  ASSERT_TRUE(waitUntil([] { return store()->count() == 1; }, 5));
  EXPECT_EQ(store()->getSaveOption("127.0.0.1"), 3);
  ASSERT_TRUE(waitForTitle("Signed In"));

  // The next visit: the saved login is written back into the form.
  page()->loadRequest(server_.url("/login"));
  ASSERT_TRUE(waitForTitle("Sign In"));
  ASSERT_TRUE(waitUntil([&] { return eval("document.getElementById('pass').value") == "s3cret"; }, 10))
      << "the form was not filled in";
  EXPECT_EQ(eval("document.getElementById('user').value"), "alice");
  EXPECT_TRUE(kit::ActionSheet::visibleSheets().empty());
  saveScreenshot("PasswordsGuiTest.FilledIn");

  expectPasswordsStayOutOfTheSettings("s3cret");
}

TEST_F(PasswordsGuiTest, APageBehindAnHTTPLoginAsksThroughTheLoginScreen) {
  const std::string expected = "Basic YWxpY2U6b3BlbiBzZXNhbWU=";  // alice:open sesame
  server_.route("GET", "/secret", [expected](const tolvatest::RecordedRequest& r) {
    if (r.headers.value("Authorization") == expected)
      return TestResponse::html(html("Secret Area", "<h1>Behind the login</h1>"));
    return TestResponse::withStatus(401, "login needed").header("WWW-Authenticate", "Basic realm=\"Tolva Test\"");
  });
  kit::UserDefaults::standardUserDefaults().setBool(true, "opt_http_auth");
  ASSERT_TRUE(startProgram(server_.url("/secret")));

  // The browser's own login screen, in a popover over the page.
  tolva::VeskAuthenticationTableViewController* login = nullptr;
  ASSERT_TRUE(waitUntil(
      [&] {
        for (auto& p : kit::PopoverController::visiblePopovers())
          if (auto* nav = dynamic_cast<kit::NavigationController*>(p->contentViewController()))
            if ((login = dynamic_cast<tolva::VeskAuthenticationTableViewController*>(nav->topViewController())))
              return login->userField() && login->passwordField();
        return false;
      },
      20))
      << "no login screen";
  EXPECT_EQ(login->urlStr(), server_.url("/secret"));
  settle();
  clickInPopover(login->userField(), {20, 15});
  typeKeys(page(), "alice");
  clickInPopover(login->passwordField(), {20, 15});
  typeKeys(page(), "open sesame");
  ASSERT_TRUE(waitUntil([&] { return login->passwordField()->text() == "open sesame"; }, 5))
      << "typed: '" << login->userField()->text() << "' / '" << login->passwordField()->text() << "'";
  saveScreenshot("PasswordsGuiTest.LoginScreen");
  pressKey(page(), GDK_KEY_Return);

  ASSERT_TRUE(waitForTitle("Secret Area", 20));
  EXPECT_TRUE(kit::PopoverController::visiblePopovers().empty());
  bool sentLogin = false;
  for (const auto& r : server_.requestsFor("/secret")) sentLogin |= r.headers.value("Authorization") == expected;
  EXPECT_TRUE(sentLogin);

  // The login is offered for saving; saved, it fills the screen the next time.
  ASSERT_TRUE(waitUntil([] { return buttonInDialogs("Save Password") != nullptr; }, 10));
  gtk_button_clicked(GTK_BUTTON(buttonInDialogs("Save Password")));
  ASSERT_TRUE(waitUntil([] { return store()->count() == 1; }, 5));
  kit::Ref<kit::MutableDictionary> saved = store()->retrieveByURL("127.0.0.1");
  ASSERT_TRUE(saved);
  EXPECT_EQ(saved->get<kit::String>("login")->str(), "alice");
  EXPECT_EQ(saved->get<kit::String>("password")->str(), "open sesame");
  expectPasswordsStayOutOfTheSettings("open sesame");
}

TEST_F(PasswordsGuiTest, ThePINWindowComesUpAfterTheWindowWasLeftAndTheRightPINUnlocks) {
  server_.route("GET", "/home", TestResponse::html(html("Locked Home", "<h1>Home</h1>")));
  ASSERT_TRUE(startProgram(server_.url("/home")));
  ASSERT_TRUE(waitForTitle("Locked Home"));
  kit::Application* app = kit::Application::sharedApplication();
  ASSERT_TRUE(waitUntil([&] { return app->applicationState() == kit::Application::State::Active; }, 5));
  kit::UserDefaults::standardUserDefaults().setString("1357", "passcode_value");

  focusElsewhere();
  ASSERT_TRUE(waitUntil([&] { return app->applicationState() == kit::Application::State::Inactive; }, 5))
      << "the browser did not notice it was left";
  const auto left = std::chrono::steady_clock::now();
  ASSERT_TRUE(waitUntil([&] { return delegate()->bPasscodeVisible(); }, 10)) << "no PIN window";
  const double after = std::chrono::duration<double>(std::chrono::steady_clock::now() - left).count();
  EXPECT_GE(after, 2.4);
  kit::Window* pinWindow = delegate()->window2();
  ASSERT_TRUE(pinWindow);
  EXPECT_TRUE(mainWindow()->isHidden());
  EXPECT_NE(kit::gtk::WidgetTree::installed()->toplevelFor(pinWindow), nullptr);
  auto* pin = dynamic_cast<tolva::PINViewController*>(pinWindow->rootViewController()->presentedViewController());
  ASSERT_TRUE(pin);
  screenshotWindow(pinWindow);
  gtk_widget_destroy(foreign_);
  foreign_ = nullptr;
  gtk_window_present(kit::gtk::WidgetTree::installed()->toplevelFor(pinWindow));
  settle();
  saveScreenshot("PasswordsGuiTest.PINWindow");

  // A wrong PIN leaves the window up; the right one takes it away.
  typeKeys(pin->view(), "2468");
  ASSERT_TRUE(waitUntil([&] { return pin->errorText() == "Passcode did not match. Try again."; }, 5))
      << "typed: '" << pin->inputField()->text() << "'";
  EXPECT_TRUE(delegate()->bPasscodeVisible());
  kit::Ref<tolva::PINViewController> keep(pin);
  typeKeys(pin->view(), "1357");
  ASSERT_TRUE(waitUntil([&] { return !delegate()->bPasscodeVisible(); }, 5));
  EXPECT_FALSE(delegate()->window2());
  EXPECT_FALSE(mainWindow()->isHidden());
  screenshotWindow(mainWindow());
}

}  // namespace
