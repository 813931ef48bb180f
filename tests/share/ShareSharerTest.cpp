// The sharer base's state machine, driven through the test sharer: login
// form, pending actions, auto share, offline, relogin, logout of all.

#include "ShareTest.h"
#include "kit/foundation/NotificationCenter.h"
#include "kit/foundation/Number.h"
#include "kit/ui/BarButtonItem.h"
#include "kit/ui/NavigationItem.h"
#include "share/ui/ShareActivityIndicator.h"
#include "share/ui/ShareFormController.h"
#include "share/ui/ShareFormFieldCell.h"

using namespace tolva;
using sharetest::Outcome;
using sharetest::ShareTest;
using sharetest::ShareTestSharer;

namespace {

class SharerTest : public ShareTest {
 protected:
  static kit::Ref<ShareItem> page() {
    return ShareItem::URL(kit::URL::URLWithString("http://example.com/page"), "A page");
  }
  static ShareSharer* shown() { return dynamic_cast<ShareSharer*>(Share::currentHelper()->currentView()); }
  static ShareFormController* form() {
    ShareSharer* s = shown();
    return s ? dynamic_cast<ShareFormController*>(s->topViewController()) : nullptr;
  }
  static ShareFormFieldCell* cell(ShareFormController* f, long section, long row) {
    return dynamic_cast<ShareFormFieldCell*>(f->tableView()->cellForRowAtIndexPath({section, row}));
  }
  static void tapRight(ShareFormController* f) {
    kit::BarButtonItem* item = f->navigationItem()->rightBarButtonItem();
    ASSERT_TRUE(item);
    item->tap();
  }
  static void login() {
    Share::setAuthValue("me", "username", ShareTestSharer::kName);
    Share::setAuthValue("secret", "password", ShareTestSharer::kName);
  }
  // Fills the login form on show and taps Login.
  void typeLogin(const std::string& user, const std::string& password) {
    ShareFormController* f = form();
    ASSERT_TRUE(f);
    ASSERT_EQ(f->title(), "Login");
    f->view();
    f->tableView()->layoutIfNeeded();
    ASSERT_TRUE(cell(f, 0, 0) && cell(f, 0, 1));
    cell(f, 0, 0)->getTextField()->setText(user);
    cell(f, 0, 1)->getTextField()->setText(password);
    tapRight(f);
    loop().advance(1);
  }
};

}  // namespace

TEST_F(SharerTest, WithoutALoginTheLoginFormComesFirstThenTheShareForm) {
  kit::Ref<ShareSharer> sharer = ShareSharer::shareItem(ShareTestSharer::kName, page().get());
  ASSERT_TRUE(sharer);
  EXPECT_EQ(sharer->pendingAction(), SharePendingActionShare);
  EXPECT_EQ(shown(), sharer.get());
  EXPECT_EQ(Share::favoriteSharersForType(ShareShareTypeURL).front(), ShareTestSharer::kName);
  loop().advance(1);

  typeLogin("me", "secret");
  EXPECT_EQ(Share::getAuthValueForKey("username", ShareTestSharer::kName), "me");
  EXPECT_EQ(Share::getAuthValueForKey("password", ShareTestSharer::kName), "secret");
  EXPECT_EQ(sharer->pendingAction(), SharePendingActionNone);
  EXPECT_TRUE(sharer->isAuthorized());

  // The share form follows once the login form's screen is gone.
  ShareFormController* f = form();
  ASSERT_TRUE(f);
  EXPECT_EQ(f->sections().size(), 2u);
  EXPECT_EQ(f->sections()[0].footer, "http://example.com/page");
  EXPECT_EQ(f->navigationItem()->rightBarButtonItem()->title(), "Send to Test Service");
  f->view();
  f->tableView()->layoutIfNeeded();
  ASSERT_TRUE(cell(f, 0, 0));
  EXPECT_EQ(cell(f, 0, 0)->getValue(), "A page");
  cell(f, 0, 0)->getTextField()->setText("Edited");
  tapRight(f);
  ASSERT_EQ(script().sent.size(), 1u);
  EXPECT_EQ(script().sent[0]->title(), "Edited");
  ShareActivityIndicator* hud = ShareActivityIndicator::currentIndicator();
  EXPECT_EQ(hud->subMessageLabel()->text(), "Saving to Test Service");
  loop().advance(0.5);
  EXPECT_EQ(hud->subMessageLabel()->text(), "Saved!");
  EXPECT_FALSE(sharer->shouldAutoShare());
}

TEST_F(SharerTest, AutoShareSendsWithoutAFormUnlessSendingFails) {
  login();
  auto sharer = ShareSharer::sharerWithClassName(ShareTestSharer::kName);
  sharer->setShouldAutoShare(true);
  sharer->setItem(page().get());
  sharer->share();
  EXPECT_EQ(script().sent.size(), 1u);
  EXPECT_EQ(shown(), nullptr);

  script().outcomes = {Outcome::Refuse};
  auto again = ShareSharer::shareURL(ShareTestSharer::kName, kit::URL::URLWithString("http://x.org"));
  EXPECT_EQ(script().sent.size(), 1u);
  EXPECT_EQ(shown(), again.get());
  ASSERT_TRUE(form());
  // The switch row shows the stored choice; turning it off is remembered.
  form()->view();
  form()->tableView()->layoutIfNeeded();
  ShareFormFieldCell* sw = cell(form(), 1, 0);
  ASSERT_TRUE(sw && sw->toggle());
  EXPECT_TRUE(sw->toggle()->isOn());
  sw->toggle()->setOn(false);
  tapRight(form());
  EXPECT_FALSE(again->shouldAutoShare());
  EXPECT_EQ(script().sent.size(), 2u);
}

TEST_F(SharerTest, OfflineSharesAreQueuedOrRefusedWithAnAlert) {
  login();
  setOnline(false);
  auto sharer = ShareSharer::sharerWithClassName(ShareTestSharer::kName);
  sharer->setItem(page().get());
  EXPECT_TRUE(sharer->tryToSend());
  EXPECT_TRUE(script().sent.empty());
  kit::Ref<kit::MutableArray> list = Share::getOfflineQueueList();
  ASSERT_TRUE(list);
  EXPECT_EQ(list->count(), 1u);

  // A sharer that can't queue warns, unless quiet.
  script().canShareOffline = false;
  EXPECT_TRUE(sharer->tryToSend());
  ASSERT_TRUE(topAlert());
  EXPECT_EQ(topAlert()->title(), "Offline");
  EXPECT_EQ(topAlert()->message(), "You must be online in order to share with Test Service");
  topAlert()->dismissWithClickedButtonIndex(0, false);
  sharer->setQuiet(true);
  EXPECT_FALSE(sharer->tryToSend());
  EXPECT_FALSE(topAlert());

  // Logging in needs the network too.
  Share::removeAuthValueForKey("username", ShareTestSharer::kName);
  Share::removeAuthValueForKey("password", ShareTestSharer::kName);
  sharer->setQuiet(false);
  sharer->share();
  ASSERT_TRUE(topAlert());
  EXPECT_EQ(topAlert()->message(), "You must be online to login to Test Service");
  EXPECT_EQ(shown(), nullptr);
}

class NoOfflineTest : public SharerTest {
  class NoOffline : public DefaultShareConfigurator {
    bool allowOffline() const override { return false; }
  };
  kit::Ref<DefaultShareConfigurator> configurator() override { return kit::make<NoOffline>(); }
};

TEST_F(NoOfflineTest, WithOfflineSharingOffTheUserIsToldAndNothingIsQueued) {
  login();
  setOnline(false);
  auto sharer = ShareSharer::sharerWithClassName(ShareTestSharer::kName);
  sharer->setItem(page().get());
  EXPECT_TRUE(sharer->tryToSend());
  ASSERT_TRUE(topAlert());
  EXPECT_EQ(topAlert()->title(), "Offline");
  EXPECT_FALSE(Share::getOfflineQueueList());
  EXPECT_FALSE(Share::addToOfflineQueue(page().get(), ShareTestSharer::kName));
}

TEST_F(SharerTest, ARefusedLoginAsksForTheLoginAgainWithoutAnErrorAlertAndThenSends) {
  login();
  script().outcomes = {Outcome::Relogin};
  auto sharer = ShareSharer::sharerWithClassName(ShareTestSharer::kName);
  sharer->setItem(page().get());
  EXPECT_TRUE(sharer->tryToSend());
  EXPECT_EQ(sharer->pendingAction(), SharePendingActionSend);
  EXPECT_FALSE(topAlert());
  ASSERT_TRUE(sharer->lastError());
  EXPECT_EQ(sharer->lastError()->localizedDescription(), "Could not authenticate you. Please relogin.");
  EXPECT_EQ(sharer->lastError()->domain(), "sharing");
  EXPECT_EQ(shown(), sharer.get());
  loop().advance(1);

  typeLogin("me2", "pw2");
  EXPECT_EQ(Share::getAuthValueForKey("username", ShareTestSharer::kName), "me2");
  EXPECT_EQ(sharer->pendingAction(), SharePendingActionNone);
  EXPECT_EQ(script().sent.size(), 2u);
}

TEST_F(SharerTest, AFailureShowsTheServicesTextAsItStands) {
  login();
  script().outcomes = {Outcome::Failure};
  auto sharer = ShareSharer::sharerWithClassName(ShareTestSharer::kName);
  sharer->setItem(page().get());
  std::vector<std::string> posted;
  auto token = kit::NotificationCenter::defaultCenter().addObserver(
      ShareSharer::kSendDidFailWithErrorNotification, sharer.get(),
      [&](const kit::Notification& n) { posted.push_back(n.name()); });
  EXPECT_TRUE(sharer->tryToSend());
  EXPECT_EQ(posted.size(), 1u);
  ASSERT_TRUE(topAlert());
  EXPECT_EQ(topAlert()->title(), "Error");
  EXPECT_EQ(topAlert()->message(), "The service said no");
  EXPECT_EQ(ShareActivityIndicator::currentIndicator()->alpha(), 0);
}

TEST_F(SharerTest, CapabilitiesPendingActionsAndItemChecks) {
  auto sharer = ShareSharer::sharerWithClassName(ShareTestSharer::kName);
  for (int type : {0, 6, -1}) EXPECT_FALSE(sharer->canShareType(type)) << type;
  for (int type : {1, 2, 3, 4}) EXPECT_TRUE(sharer->canShareType(type)) << type;
  EXPECT_FALSE(sharer->canShareType(5));
  auto call = [](const char* fn, kit::Object* arg = nullptr) {
    auto r = kit::ClassRegistry::shared().callClassFunction(ShareTestSharer::kName, fn, arg);
    return r && *r ? (*r)->description() : std::string("none");
  };
  EXPECT_EQ(call("sharerTitle"), "Test Service");
  EXPECT_EQ(call("sharerId"), "ShareTestSharer");
  EXPECT_EQ(call("canShareType", kit::num(3).get()), "1");
  EXPECT_EQ(call("canShareType", kit::num(0).get()), "0");
  EXPECT_EQ(call("isServiceAuthorized"), "0");
  EXPECT_EQ(ShareSharer::sharerWithClassName("ShareNoSuchSharer"), nullptr);
  EXPECT_EQ(ShareSharer::sharerWithClassName("ShareSharer"), nullptr);

  sharer->tryPendingAction();
  EXPECT_EQ(sharer->pendingAction(), SharePendingActionNone);
  EXPECT_EQ(shown(), nullptr);
  EXPECT_TRUE(script().sent.empty());

  auto item = kit::make<ShareItem>();
  sharer->setItem(item.get());
  EXPECT_FALSE(sharer->validateItem());
  item->setShareType(ShareShareTypeText);
  EXPECT_FALSE(sharer->validateItem());
  item->setText("t");
  EXPECT_TRUE(sharer->validateItem());
  item->setShareType(ShareShareTypeImage);
  EXPECT_FALSE(sharer->validateItem());
  item->setShareType(ShareShareTypeFile);
  EXPECT_FALSE(sharer->validateItem());
  item->setData(kit::Data::dataWithString("x"));
  EXPECT_TRUE(sharer->validateItem());
  item->setShareType(ShareShareTypeUserInfo);
  EXPECT_FALSE(sharer->validateItem());
}

TEST_F(SharerTest, LoggingOutOfAllForgetsEveryListedServicesLogin) {
  login();
  EXPECT_TRUE(ShareSharer::isServiceAuthorized(ShareTestSharer::kName));
  // Listed services that aren't built here are skipped.
  Share::logoutOfAll();
  EXPECT_FALSE(ShareSharer::isServiceAuthorized(ShareTestSharer::kName));
  EXPECT_FALSE(Share::getAuthValueForKey("username", ShareTestSharer::kName));
  Share::logoutOfService("ShareNoSuchSharer");
}
