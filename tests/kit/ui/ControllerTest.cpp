#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "UiTest.h"
#include "kit/ui/BarButtonItem.h"
#include "kit/ui/InterfaceFile.h"
#include "kit/ui/NavigationController.h"
#include "kit/ui/NavigationItem.h"
#include "kit/ui/Screen.h"
#include "kit/ui/ViewController.h"

using kit::InterfaceFile;
using kit::NavigationController;
using kit::Rect;
using kit::Ref;
using kit::View;
using kit::ViewController;

namespace {

// Records its life-cycle calls in a shared log, prefixed with its name.
class LoggingController : public ViewController {
 public:
  LoggingController(std::string name, std::vector<std::string>* log, std::string nib = {})
      : ViewController(std::move(nib)), name_(std::move(name)), log_(log) {}
  void viewDidLoad() override { log("load"); }
  void viewWillAppear(bool a) override { log(a ? "willAppear*" : "willAppear"); }
  void viewDidAppear(bool a) override { log(a ? "didAppear*" : "didAppear"); }
  void viewWillDisappear(bool a) override { log(a ? "willDisappear*" : "willDisappear"); }
  void viewDidDisappear(bool a) override { log(a ? "didDisappear*" : "didDisappear"); }
  void didReceiveMemoryWarning() override { log("memory"); }
  bool shouldAutorotateToInterfaceOrientation(kit::InterfaceOrientation o) override {
    return o != kit::InterfaceOrientation::PortraitUpsideDown;
  }
  void didRotateFromInterfaceOrientation(kit::InterfaceOrientation) override { log("didRotate"); }

 private:
  void log(const std::string& what) {
    if (log_) log_->push_back(name_ + ":" + what);
  }
  std::string name_;
  std::vector<std::string>* log_;
};

class ControllerTest : public uitest::UiTest {
 protected:
  std::vector<std::string> log;
  Ref<LoggingController> make(const std::string& name) {
    return Ref<LoggingController>(new LoggingController(name, &log));
  }
};

TEST_F(ControllerTest, TheViewLoadsOnFirstUseOnce) {
  auto c = make("a");
  EXPECT_FALSE(c->isViewLoaded());
  View* v = c->view();
  EXPECT_EQ(c->view(), v);
  EXPECT_EQ(log, (std::vector<std::string>{"a:load"}));
  EXPECT_EQ(v->frame(), kit::Screen::mainScreen().applicationFrame());
  EXPECT_EQ(v->nextResponder(), c.get());
  EXPECT_EQ(v->viewController(), c.get());
}

// A view from the interface file whose awakeFromNib walks the responder chain.
class ChainProbe : public View {
 public:
  using View::View;
  void awakeFromNib() override {
    for (kit::Responder* r = nextResponder(); r; r = r->nextResponder()) {
      if ((found = dynamic_cast<ViewController*>(r))) break;
    }
    order.push_back(tag());
  }
  ViewController* found = nullptr;
  static std::vector<long> order;
};
std::vector<long> ChainProbe::order;

TEST_F(ControllerTest, InterfaceFilesConnectOutletsBeforeAnyAwakeFromNib) {
  ChainProbe::order.clear();
  Ref<ChainProbe> inner;
  InterfaceFile::registerBuilder("ProbeScreen", [&inner](InterfaceFile::Context& ctx) {
    auto root = ctx.makeTopLevel<View>(Rect{0, 0, 100, 100});
    root->setTag(1);
    inner = ctx.make<ChainProbe>(Rect{0, 0, 10, 10});
    inner->setTag(2);
    root->addSubview(inner.get());
    if (auto* owner = ctx.ownerAs<ViewController>()) owner->setView(root.get());
  });
  auto c = make("owner");
  Ref<LoggingController> owner(new LoggingController("owner", &log, "ProbeScreen"));
  View* v = owner->view();
  EXPECT_EQ(v->tag(), 1);
  ASSERT_TRUE(inner);
  // The controller was reachable from inside awakeFromNib.
  EXPECT_EQ(inner->found, owner.get());
  EXPECT_EQ(ChainProbe::order, (std::vector<long>{2}));
  EXPECT_EQ(log, (std::vector<std::string>{"owner:load"}));

  // Loading again builds new objects; an unknown file builds nothing.
  auto objects = InterfaceFile::load("ProbeScreen", nullptr);
  ASSERT_EQ(objects.size(), 1u);
  EXPECT_NE(objects[0].get(), v);
  EXPECT_TRUE(InterfaceFile::load("NoSuchScreen", nullptr).empty());
  InterfaceFile::unregisterBuilder("ProbeScreen");
  EXPECT_FALSE(InterfaceFile::exists("ProbeScreen"));
}

TEST_F(ControllerTest, AControllerWhoseFileIsMissingStillGetsAView) {
  Ref<ViewController> c(new ViewController("NotRegistered"));
  ASSERT_NE(c->view(), nullptr);
  EXPECT_EQ(c->view()->viewController(), c.get());
}

TEST_F(ControllerTest, AppearanceFollowsTheWindow) {
  auto c = make("root");
  Ref<kit::Window> w(new kit::Window());
  w->setRootViewController(c.get());
  EXPECT_EQ(log, (std::vector<std::string>{"root:load"}));  // hidden window: no appearance
  w->makeKeyAndVisible();
  EXPECT_EQ(c->view()->frame(), kit::Screen::mainScreen().applicationFrame());
  w->setHidden(true);
  w->setHidden(false);
  EXPECT_EQ(log, (std::vector<std::string>{"root:load", "root:willAppear", "root:didAppear", "root:willDisappear",
                                           "root:didDisappear", "root:willAppear", "root:didAppear"}));

  // A controller's view added by hand appears too (and only once).
  log.clear();
  auto child = make("child");
  w->addSubview(child->view());
  w->addSubview(child->view());
  child->view()->removeFromSuperview();
  EXPECT_EQ(log, (std::vector<std::string>{"child:load", "child:willAppear", "child:didAppear",
                                           "child:willDisappear", "child:didDisappear"}));
}

TEST_F(ControllerTest, FormSheetPresentationKeepsThePresenterAndCompletesAfterTheTransition) {
  auto w = makeKeyWindow();
  auto root = make("root");
  w->setRootViewController(root.get());
  log.clear();
  auto sheet = make("sheet");
  sheet->setModalPresentationStyle(ViewController::ModalPresentationStyle::FormSheet);
  int completions = 0;
  root->presentViewController(sheet.get(), true, [&] { ++completions; });
  EXPECT_EQ(root->presentedViewController(), sheet.get());
  EXPECT_EQ(sheet->presentingViewController(), root.get());
  EXPECT_EQ(sheet->view()->superview(), w.get());
  Rect f = sheet->view()->frame();
  EXPECT_EQ(f.size, kit::Size(ViewController::kFormSheetWidth, ViewController::kFormSheetHeight));
  EXPECT_EQ(log, (std::vector<std::string>{"sheet:load", "sheet:willAppear*"}));
  EXPECT_EQ(completions, 0);
  loop().advance(ViewController::kTransitionDuration);
  EXPECT_EQ(completions, 1);
  EXPECT_EQ(log.back(), "sheet:didAppear*");

  // A second presentation while one is up is refused.
  auto other = make("other");
  root->presentViewController(other.get(), false, [&] { ++completions; });
  EXPECT_EQ(root->presentedViewController(), sheet.get());
  EXPECT_EQ(completions, 1);

  // The presented controller dismisses itself through its presenter.
  log.clear();
  sheet->dismissViewControllerAnimated(false, [&] { ++completions; });
  EXPECT_EQ(completions, 2);
  EXPECT_EQ(root->presentedViewController(), nullptr);
  EXPECT_EQ(sheet->view()->superview(), nullptr);
  EXPECT_EQ(log, (std::vector<std::string>{"sheet:willDisappear", "sheet:didDisappear"}));
}

TEST_F(ControllerTest, FullScreenPresentationCoversThePresenterAndDismissesNestedOnes) {
  kit::Device::currentDevice().setUserInterfaceIdiom(kit::UserInterfaceIdiom::Phone);
  auto w = makeKeyWindow();
  auto root = make("root");
  w->setRootViewController(root.get());
  auto a = make("a");
  auto b = make("b");
  a->setModalPresentationStyle(ViewController::ModalPresentationStyle::FormSheet);  // full screen on a phone
  root->presentViewController(a.get(), false);
  a->presentViewController(b.get(), false);
  log.clear();
  root->dismissViewControllerAnimated(false);
  EXPECT_EQ(root->presentedViewController(), nullptr);
  EXPECT_EQ(a->presentedViewController(), nullptr);
  EXPECT_EQ(b->presentingViewController(), nullptr);
  EXPECT_EQ(log, (std::vector<std::string>{"b:willDisappear", "a:willAppear", "b:didDisappear", "a:didAppear",
                                           "a:willDisappear", "root:willAppear", "a:didDisappear",
                                           "root:didAppear"}));
}

struct NavLog : kit::NavigationControllerDelegate {
  std::vector<std::string> events;
  void willShowViewController(NavigationController&, ViewController& c, bool) override {
    events.push_back("will:" + c.title());
  }
  void didShowViewController(NavigationController&, ViewController& c, bool) override {
    events.push_back("did:" + c.title());
  }
};

TEST_F(ControllerTest, NavigationPushPopWithBarsAndDelegate) {
  auto w = makeKeyWindow();
  auto first = make("first");
  first->setTitle("First");
  Ref<NavigationController> nav = NavigationController::withRootViewController(first.get());
  NavLog delegate;
  nav->setDelegate(&delegate);
  w->setRootViewController(nav.get());
  EXPECT_EQ(first->navigationController(), nav.get());
  EXPECT_EQ(first->view()->frame().y(), kit::NavigationBar::kHeight);

  auto second = make("second");
  second->setTitle("Second");
  auto done = kit::BarButtonItem::withSystemItem(kit::BarButtonItem::SystemItem::Done);
  second->navigationItem()->setRightBarButtonItem(done);
  second->setToolbarItems({kit::BarButtonItem::withTitle("Tool")});
  log.clear();
  nav->pushViewController(second.get(), true);
  EXPECT_EQ(nav->topViewController(), second.get());
  EXPECT_EQ(delegate.events, (std::vector<std::string>{"will:Second"}));
  EXPECT_EQ(log, (std::vector<std::string>{"second:load", "second:willAppear*", "first:willDisappear*"}));
  loop().advance(ViewController::kTransitionDuration);
  EXPECT_EQ(delegate.events, (std::vector<std::string>{"will:Second", "did:Second"}));
  EXPECT_EQ(nav->navigationBar()->topItem()->title(), "Second");
  ASSERT_NE(nav->navigationBar()->backButton(), nullptr);
  EXPECT_EQ(nav->navigationBar()->backButton()->title(), "First");
  EXPECT_EQ(done->bar(), nav->navigationBar());
  EXPECT_GT(done->frameInWindow().x(), 900);
  EXPECT_EQ(nav->toolbar()->items().size(), 1u);

  // Pushing a controller that already has a container is refused.
  nav->pushViewController(first.get(), false);
  EXPECT_EQ(nav->viewControllers().size(), 2u);

  // The toolbar shows and shrinks the content.
  nav->setToolbarHidden(false);
  EXPECT_EQ(second->view()->frame().maxY(), nav->view()->bounds().height() - kit::Toolbar::kHeight);

  // The back button pops; the root is never popped.
  EXPECT_TRUE(nav->navigationBar()->tapBackButton());
  loop().advance(ViewController::kTransitionDuration);
  EXPECT_EQ(nav->topViewController(), first.get());
  EXPECT_EQ(second->parentViewController(), nullptr);
  EXPECT_EQ(nav->popViewControllerAnimated(false), nullptr);
  EXPECT_EQ(nav->navigationBar()->backButton(), nullptr);
  EXPECT_EQ(second->appearanceState(), ViewController::AppearanceState::Disappeared);
  EXPECT_EQ(first->appearanceState(), ViewController::AppearanceState::Appeared);
}

TEST_F(ControllerTest, NavigationInAFormSheetDismissesFromItsChild) {
  auto w = makeKeyWindow();
  auto root = make("root");
  w->setRootViewController(root.get());
  auto settings = make("settings");
  Ref<NavigationController> nav = NavigationController::withRootViewController(settings.get());
  nav->setModalPresentationStyle(ViewController::ModalPresentationStyle::FormSheet);
  root->presentViewController(nav.get(), true);
  loop().advance(1);
  EXPECT_EQ(settings->appearanceState(), ViewController::AppearanceState::Appeared);
  settings->dismissViewControllerAnimated(true);
  EXPECT_EQ(root->presentedViewController(), nullptr);
  loop().advance(1);
  EXPECT_EQ(settings->appearanceState(), ViewController::AppearanceState::Disappeared);
}

TEST_F(ControllerTest, MemoryWarningsReachEveryLiveController) {
  auto a = make("a");
  auto b = make("b");
  kit::Application::sharedApplication()->receiveMemoryWarning();
  EXPECT_NE(std::find(log.begin(), log.end(), "a:memory"), log.end());
  EXPECT_NE(std::find(log.begin(), log.end(), "b:memory"), log.end());
  EXPECT_FALSE(a->isViewLoaded());  // the view is not made for it
}

TEST_F(ControllerTest, RotationAsksTheWindowsController) {
  auto w = makeKeyWindow();
  auto main = make("main");
  // Added by hand, not as the root: the first subview's controller is asked.
  w->addSubview(main->view());
  log.clear();
  auto* app = kit::Application::sharedApplication();
  EXPECT_FALSE(app->rotateInterfaceTo(kit::InterfaceOrientation::PortraitUpsideDown));
  EXPECT_TRUE(app->rotateInterfaceTo(kit::InterfaceOrientation::LandscapeLeft));
  EXPECT_EQ(app->statusBarOrientation(), kit::InterfaceOrientation::LandscapeLeft);
  EXPECT_EQ(main->interfaceOrientation(), kit::InterfaceOrientation::LandscapeLeft);
  EXPECT_EQ(log, (std::vector<std::string>{"main:didRotate"}));
}

TEST_F(ControllerTest, EditButtonTogglesEditing) {
  auto c = make("c");
  kit::BarButtonItem* edit = c->editButtonItem();
  EXPECT_EQ(edit->title(), "Edit");
  EXPECT_TRUE(edit->perform());  // the item is in no bar: its action as the window runs it
  EXPECT_TRUE(c->isEditing());
  EXPECT_EQ(edit->title(), "Done");
  edit->perform();
  EXPECT_FALSE(c->isEditing());
}

}  // namespace
