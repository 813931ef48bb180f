// The HTTP-login form (prefill, login, invalid input, the return key, the
// popover and the modal way) and the saved-password list (its two parts,
// deleting from each), the latter opened from the settings as the program
// does, with the settings' clear button beside it.

#include "ScreenTestSupport.h"
#include "data/VeskAuthenticationTableViewController.h"
#include "data/VeskPagePasswordManageTableViewController.h"
#include "kit/net/URLRequest.h"
#include "kit/ui/BarButtonItem.h"
#include "kit/ui/HeadlessWebView.h"
#include "kit/ui/NavigationItem.h"
#include "shell/VeskWebAppDelegate.h"
#include "shell/VeskWebView.h"

using tolva::VeskAuthenticationTableViewController;
using tolva::VeskPagePasswordManageTableViewController;
using tolva::VeskWebView;

namespace {

class LoginFormTest : public datatest::ScreenTest {
 protected:
  void SetUp() override {
    ScreenTest::SetUp();
    page = VeskWebView::allocInstance({0, 0, 1024, 598}, nullptr, "https://area.test/start");
    base = kit::make<kit::ViewController>();
    window->setRootViewController(base.get());
    base->view()->addSubview(page.get());
    loop().advance(1);
  }
  void TearDown() override {
    login = nullptr;
    page = nullptr;
    base = nullptr;
    ScreenTest::TearDown();
  }
  // The form as the page view shows it: in a popover on the tablet, presented on the phone.
  void showForm(bool popover, const std::string& url = "https://area.test:8443/private/") {
    login = kit::make<VeskAuthenticationTableViewController>(kit::TableView::Style::Grouped);
    formNav = kit::NavigationController::withRootViewController(login.get());
    login->setUrlStr(url);
    login->setVeskWebView(page.get());
    if (popover) {
      kit::Ref<kit::PopoverController> pop = kit::PopoverController::withContentViewController(formNav.get());
      pop->presentPopoverFromRect({500, 300, 1, 1}, page.get(), 0, true);
      login->setPop(pop.get());
    } else {
      base->presentViewController(formNav.get(), true);
    }
    loop().advance(1);
    table = login->tableView();
    // The rows on screen.
    for (long r = 0; r < 2; ++r) table->dataSource()->tableViewCellForRowAtIndexPath(*table, {0, r});
  }
  std::string lastAuthorization() {
    auto* web = dynamic_cast<kit::HeadlessWebView*>(page->existingWebView());
    kit::URLRequest* r = web ? web->lastLoadedRequest() : nullptr;
    return r ? r->valueForHTTPHeaderField("Authorization").value_or("(none)") : "(no load)";
  }
  size_t loads() {
    auto* web = dynamic_cast<kit::HeadlessWebView*>(page->existingWebView());
    return web ? web->loadedRequests().size() : 0;
  }

  kit::Ref<VeskWebView> page;
  kit::Ref<kit::ViewController> base;
  kit::Ref<VeskAuthenticationTableViewController> login;
  kit::Ref<kit::NavigationController> formNav;
  kit::TableView* table = nullptr;
};

TEST_F(LoginFormTest, ASavedLoginIsFilledInAndLoginReloadsWithIt) {
  store()->updatePassword("password",
                          form({{"login", "alice"}, {"password", "s3cret"}, {"url", "https://area.test:8443/"}}).get(),
                          "area.test");
  showForm(true);
  EXPECT_EQ(login->title(), "Authentication");
  EXPECT_EQ(login->navigationItem()->rightBarButtonItem()->title(), "Login");
  EXPECT_EQ(login->navigationItem()->leftBarButtonItem()->title(), "Cancel");
  EXPECT_EQ(table->numberOfSections(), 1);
  EXPECT_EQ(table->numberOfRowsInSection(0), 2);
  EXPECT_EQ(table->dataSource()->tableViewTitleForFooterInSection(*table, 0), "https://area.test:8443/private/");
  EXPECT_FALSE(table->tapRow({0, 0}));

  ASSERT_TRUE(login->userField() && login->passwordField());
  EXPECT_EQ(login->userField()->text(), "alice");
  EXPECT_EQ(login->userField()->placeholder(), "Username");
  EXPECT_TRUE(login->userField()->isFirstResponder());
  EXPECT_EQ(login->passwordField()->text(), "s3cret");
  EXPECT_TRUE(login->passwordField()->isSecureTextEntry());
  EXPECT_EQ(login->passwordField()->placeholder(), "Password");
  for (kit::TextField* f : {login->userField(), login->passwordField()}) {
    EXPECT_EQ(f->autocapitalizationType(), kit::TextAutocapitalizationType::None);
    EXPECT_EQ(f->autocorrectionType(), kit::TextAutocorrectionType::No);
    EXPECT_EQ(f->returnKeyType(), kit::ReturnKeyType::Done);
    EXPECT_EQ(f->delegate(), login.get());
  }

  // A cell handed out again shows the same two fields.
  kit::Ref<kit::TableViewCell> again = table->dataSource()->tableViewCellForRowAtIndexPath(*table, {0, 1});
  EXPECT_EQ(login->passwordField()->superview(), again->contentView());

  kit::Ref<VeskAuthenticationTableViewController> keep = login;
  login->navigationItem()->rightBarButtonItem()->tap();
  loop().advance(1);
  EXPECT_TRUE(kit::PopoverController::visiblePopovers().empty());
  EXPECT_EQ(lastAuthorization(), "Basic YWxpY2U6czNjcmV0");
  EXPECT_EQ(page->authen_url(), "https://area.test:8443/private/");
  // Gone from the screen, the form keeps nothing of the login.
  EXPECT_EQ(login->urlStr(), "");
  EXPECT_EQ(login->veskWebView(), nullptr);
  EXPECT_EQ(login->savedPassword(), "");
  EXPECT_EQ(login->passwordField()->text(), "");
}

TEST_F(LoginFormTest, AnEmptyFieldIsInvalidInputAndTheReturnKeyLogsIn) {
  showForm(false);
  EXPECT_EQ(base->presentedViewController(), formNav.get());
  EXPECT_EQ(login->userField()->text(), "");
  size_t before = loads();
  login->userField()->typeText("bob");
  login->onSave(nullptr);
  ASSERT_TRUE(kit::AlertView::topVisibleAlert());
  EXPECT_EQ(kit::AlertView::topVisibleAlert()->message(), "Invalid input.");
  EXPECT_EQ(kit::AlertView::topVisibleAlert()->title(), "");
  EXPECT_TRUE(kit::AlertView::topVisibleAlert()->tapButtonWithTitle("Cancel"));
  EXPECT_EQ(loads(), before);
  EXPECT_EQ(base->presentedViewController(), formNav.get());

  // The return key on the password field acts as "Login" (and answers NO).
  login->passwordField()->typeText("pw");
  EXPECT_FALSE(login->passwordField()->pressReturn());
  loop().advance(1);
  EXPECT_EQ(base->presentedViewController(), nullptr);
  EXPECT_EQ(lastAuthorization(), "Basic Ym9iOnB3");
  // The login is offered for saving under the URL's host.
  ASSERT_TRUE(kit::ActionSheet::topVisibleSheet());
  EXPECT_NE(kit::ActionSheet::topVisibleSheet()->title().find("area.test"), std::string::npos);
}

TEST_F(LoginFormTest, CancelClosesWithoutLoading) {
  showForm(true);
  size_t before = loads();
  login->userField()->typeText("x");
  kit::Ref<VeskAuthenticationTableViewController> keep = login;
  login->navigationItem()->leftBarButtonItem()->tap();
  loop().advance(1);
  EXPECT_TRUE(kit::PopoverController::visiblePopovers().empty());
  EXPECT_EQ(loads(), before);
  showForm(false, "https://other.test/");
  login->onCancel(nullptr);
  loop().advance(1);
  EXPECT_EQ(base->presentedViewController(), nullptr);
  EXPECT_EQ(loads(), before);
}

class ManageListTest : public datatest::ScreenTest {
 protected:
  VeskPagePasswordManageTableViewController* open() {
    list = kit::cast<VeskPagePasswordManageTableViewController>(openFromSettings("Saved Passwords"));
    return list.get();
  }
  std::vector<std::string> rows() {
    std::vector<std::string> out;
    kit::TableView* t = list->tableView();
    for (long r = 0; r < t->numberOfRowsInSection(0); ++r) {
      kit::Ref<kit::TableViewCell> c = t->dataSource()->tableViewCellForRowAtIndexPath(*t, {0, r});
      out.push_back(c->textLabel()->text() + " / " + c->detailTextLabel()->text());
    }
    return out;
  }
  kit::Ref<VeskPagePasswordManageTableViewController> list;
};

TEST_F(ManageListTest, AnEmptyStoreListsNothing) {
  ASSERT_TRUE(open());
  EXPECT_EQ(list->title(), "Manage saved password(s)");
  EXPECT_TRUE(list->tableView()->isEditing());
  EXPECT_EQ(list->tableView()->numberOfSections(), 1);
  EXPECT_EQ(rows(), std::vector<std::string>{});
  // A row that is not there deletes nothing.
  list->tableViewCommitEditingStyle(*list->tableView(), kit::TableViewCell::EditingStyle::Delete, {0, 3});
  EXPECT_EQ(store()->count(), 0u);
}

TEST_F(ManageListTest, SavedLoginsThenNeverAskSitesAndDeletingFromEach) {
  store()->updatePassword("pw", form({{"user", "alice"}, {"pw", "1"}}).get(), "a.test");
  store()->updatePassword("password", form({{"login", "bob"}, {"password", "2"}}).get(), "b.test");
  store()->setSaveOption("b.test", 2);  // saved and also never asked again
  store()->setSaveOption("never.test", 2);
  store()->setSaveOption("a.test", 3);
  ASSERT_TRUE(open());
  EXPECT_EQ(rows(), (std::vector<std::string>{"a.test / Username : alice", "b.test / Username : bob",
                                              "b.test / Never ask", "never.test / Never ask"}));

  // Deleting a never-ask row: the site is asked about again, its login stays.
  EXPECT_TRUE(list->tableView()->tapEditingControl({0, 2}));
  EXPECT_EQ(store()->getSaveOption("b.test"), 0);
  EXPECT_EQ(store()->count(), 2u);
  EXPECT_EQ(rows(), (std::vector<std::string>{"a.test / Username : alice", "b.test / Username : bob",
                                              "never.test / Never ask"}));
  // Deleting a saved login takes its password and option as well.
  EXPECT_TRUE(list->tableView()->tapEditingControl({0, 0}));
  EXPECT_EQ(keychainPassword("a.test"), "(none)");
  EXPECT_EQ(store()->getSaveOption("a.test"), 0);
  EXPECT_EQ(rows(), (std::vector<std::string>{"b.test / Username : bob", "never.test / Never ask"}));
  EXPECT_TRUE(list->tableView()->tapEditingControl({0, 1}));
  EXPECT_EQ(store()->retrieveNeverAskURLs(), nullptr);
  EXPECT_EQ(rows(), (std::vector<std::string>{"b.test / Username : bob"}));
}

TEST_F(ManageListTest, TheSettingsClearButtonEmptiesBothTablesAndTheKeychain) {
  kit::Ref<tolva::VeskWebAppDelegate> appDelegate = kit::make<tolva::VeskWebAppDelegate>();
  kit::Application::sharedApplication()->setDelegate(appDelegate.get());
  store()->updatePassword("pw", form({{"user", "alice"}, {"pw", "1"}}).get(), "a.test");
  store()->updatePassword("pw", form({{"user", "bob"}, {"pw", "2"}}).get(), "b.test");
  store()->setSaveOption("a.test", 3);
  store()->setSaveOption("b.test", 3);
  EXPECT_EQ(openFromSettings("Clear Saved Passwords"), nullptr);
  kit::AlertView* question = kit::AlertView::topVisibleAlert();
  ASSERT_TRUE(question);
  EXPECT_EQ(question->message(), "Do you want to clear all the saved password(s)?");
  EXPECT_TRUE(question->tapButtonWithTitle("Clear"));
  ASSERT_TRUE(kit::AlertView::topVisibleAlert());
  EXPECT_EQ(kit::AlertView::topVisibleAlert()->message(), "All the passwords were removed.");
  EXPECT_EQ(store()->count(), 0u);
  EXPECT_EQ(defaults().dictionaryForKey("passwords")->count(), 0u);
  EXPECT_EQ(defaults().dictionaryForKey("passwords_status")->count(), 0u);
  EXPECT_TRUE(keychain().items().empty());
  kit::Application::sharedApplication()->setDelegate(nullptr);
}

}  // namespace
