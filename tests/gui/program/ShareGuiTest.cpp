// Sharing over the real browser window: a sharer's share form presented
// over the main screen, filled in with real clicks and keys and sent, the
// activity indicator showing the work and going again, and the social
// network's login dialog closed with its close button.

#include <functional>
#include <string>

#include "ProgramFixture.h"
#include "kit/foundation/ClassRegistry.h"
#include "kit/foundation/RunLoop.h"
#include "kit/ui/BarButtonItem.h"
#include "kit/ui/Label.h"
#include "kit/ui/NavigationItem.h"
#include "share/core/ShareSharer.h"
#include "share/social/SocialClient.h"
#include "share/ui/ShareActivityIndicator.h"
#include "share/ui/ShareFormController.h"
#include "share/ui/ShareFormFieldCell.h"

namespace {

using tolvatest::ProgramFixture;
using tolvatest::TestResponse;

// A sharer with no service behind it: sending takes a second.
class GuiTestSharer : public tolva::ShareSharer {
 public:
  static std::string& sentTitle() {
    static std::string title;
    return title;
  }
  std::string sharerTitle() const override { return "Loopback Notes"; }
  bool canShareURL() const override { return true; }
  bool requiresAuthentication() const override { return false; }
  bool shareRequiresInternetConnection() const override { return false; }
  bool send() override {
    if (!validateItem()) return false;
    sentTitle() = item()->title();
    sendDidStart();
    kit::Ref<GuiTestSharer> self(this);
    kit::RunLoop::main().performAfterDelay(this, "finish", nullptr, 1.0, [self] { self->sendDidFinish(); });
    return true;
  }
  std::string className() const override { return "GuiTestSharer"; }
};

struct LoginWatch : tolva::SNSessionDelegate {
  std::vector<std::string> events;
  void fbDidLogin() override { events.push_back("login"); }
  void fbDidNotLogin(bool cancelled) override { events.push_back(cancelled ? "cancelled" : "failed"); }
};

class ShareGuiTest : public ProgramFixture {
 protected:
  static void clickMiddle(kit::View* v) { click(v, {v->bounds().size.width / 2, v->bounds().size.height / 2}); }
};

TEST_F(ShareGuiTest, AShareFormIsFilledInSentAndTheIndicatorShowsAndHides) {
  server_.route("GET", "/home", TestResponse::html("<html><head><title>Share Home</title></head><body>home</body></html>"));
  ASSERT_TRUE(startProgram(server_.url("/home")));
  ASSERT_TRUE(waitForTitle("Share Home"));
  tolva::ShareSharer::registerSharerClass<GuiTestSharer>(kit::ClassRegistry::shared(), "GuiTestSharer");
  GuiTestSharer::sentTitle().clear();

  kit::Ref<tolva::ShareSharer> sharer =
      tolva::ShareSharer::shareURL("GuiTestSharer", kit::URL::URLWithString(server_.url("/home")), "Shared page");
  ASSERT_TRUE(sharer);
  ASSERT_TRUE(waitUntil([&] { return controller()->presentedViewController() == sharer.get(); }));
  auto* form = dynamic_cast<tolva::ShareFormController*>(sharer->topViewController());
  ASSERT_NE(form, nullptr);
  settle();

  auto* cell = dynamic_cast<tolva::ShareFormFieldCell*>(form->tableView()->cellForRowAtIndexPath({0, 0}));
  ASSERT_TRUE(cell && cell->textField());
  EXPECT_EQ(cell->textField()->text(), "Shared page");
  clickMiddle(cell->textField());
  typeKeys(cell->textField(), " edited");
  ASSERT_TRUE(waitUntil([&] { return cell->textField()->text() == "Shared page edited"; }))
      << cell->textField()->text();
  saveScreenshot("ShareGuiTest.ShareForm");

  kit::BarButtonItem* send = form->navigationItem()->rightBarButtonItem();
  ASSERT_TRUE(send && send->bar());
  EXPECT_EQ(send->title(), "Send to Loopback Notes");
  kit::Rect f = send->frameInBar();
  click(send->bar(), {f.origin.x + f.size.width / 2, f.origin.y + f.size.height / 2});

  tolva::ShareActivityIndicator* hud = tolva::ShareActivityIndicator::currentIndicator();
  ASSERT_TRUE(waitUntil([&] { return GuiTestSharer::sentTitle() == "Shared page edited"; }));
  ASSERT_TRUE(waitUntil([&] { return hud->superview() && hud->alpha() == 1 && hud->spinner(); }));
  EXPECT_EQ(hud->subMessageLabel()->text(), "Saving to Loopback Notes");
  saveScreenshot("ShareGuiTest.Saving");
  ASSERT_TRUE(waitUntil([&] { return hud->centerMessageLabel() && hud->centerMessageLabel()->text() == "\u2713"; }));
  EXPECT_EQ(hud->subMessageLabel()->text(), "Saved!");
  saveScreenshot("ShareGuiTest.Saved");
  EXPECT_TRUE(waitUntil([&] { return hud->superview() == nullptr; }, 5));
  EXPECT_TRUE(waitUntil([&] { return controller()->presentedViewController() == nullptr; }));
}

TEST_F(ShareGuiTest, TheSocialLoginDialogShowsItsCloseButtonWhichCancelsTheLogin) {
  server_.route("GET", "/home", TestResponse::html("<html><head><title>Share Home</title></head><body>home</body></html>"));
  server_.routePrefix("GET", "/dialog/oauth",
                      TestResponse::html("<html><body style=\"background:#fff\"><h1>Log in to share</h1></body></html>"));
  ASSERT_TRUE(startProgram(server_.url("/home")));
  ASSERT_TRUE(waitForTitle("Share Home"));
  tolva::SocialClient::Endpoints endpoints;
  endpoints.dialogBase = server_.url("/dialog/");
  tolva::SocialClient::setEndpoints(endpoints);

  LoginWatch watch;
  kit::Ref<tolva::SocialClient> client(new tolva::SocialClient("123", &watch));
  client->authorize({});
  kit::Ref<tolva::SNDialog> dialog(client->loginDialog());
  ASSERT_TRUE(dialog);
  ASSERT_TRUE(waitUntil([&] { return dialog->spinner()->isHidden(); })) << "the login page loads";
  // The bounce in ends on the plain transform; its last step takes 0.15 s.
  ASSERT_TRUE(waitUntil([&] { return dialog->transform().isIdentity(); }));
  waitUntil([] { return false; }, 0.5);
  settle();
  kit::Button* close = dialog->closeButton();
  ASSERT_TRUE(close->currentImage()) << "the bundle has the close picture";
  EXPECT_EQ(close->currentImage()->size().width, 29);
  EXPECT_EQ(close->superview(), dialog.get());
  EXPECT_FALSE(close->isHidden());
  saveScreenshot("ShareGuiTest.SocialLoginDialog");

  clickMiddle(close);
  ASSERT_TRUE(waitUntil([&] { return !watch.events.empty(); }));
  EXPECT_EQ(watch.events, std::vector<std::string>{"cancelled"});
  EXPECT_TRUE(waitUntil([&] { return dialog->superview() == nullptr; }));
  tolva::SocialClient::setEndpoints({});
}

}  // namespace
