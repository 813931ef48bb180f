// The activity indicator on the virtual clock, the share forms and their
// option picker, and the kit's modal presentation of one screen at a time.

#include <numbers>

#include "ShareTest.h"
#include "kit/foundation/Array.h"
#include "kit/foundation/Number.h"
#include "kit/foundation/NotificationCenter.h"
#include "kit/ui/BarButtonItem.h"
#include "kit/ui/Layer.h"
#include "kit/ui/NavigationItem.h"
#include "kit/ui/NavigationController.h"
#include "share/ui/ShareActivityIndicator.h"
#include "share/ui/ShareCustomFormController.h"
#include "share/ui/ShareFormFieldCell.h"
#include "share/ui/ShareFormOptionController.h"

using namespace tolva;
using sharetest::ShareTest;

namespace {

using IndicatorTest = ShareTest;

ShareActivityIndicator* hud() { return ShareActivityIndicator::currentIndicator(); }

}  // namespace

TEST_F(IndicatorTest, ActivityThenCompletionShowsTheCheckMarkAndHidesAfterTheDelayAndFade) {
  hud()->displayActivity("Saving to X");
  EXPECT_EQ(hud()->superview(), kit::Application::sharedApplication()->keyWindow());
  EXPECT_EQ(hud()->alpha(), 1);
  ASSERT_TRUE(hud()->spinner());
  EXPECT_TRUE(hud()->spinner()->isAnimating());
  EXPECT_EQ(hud()->spinner()->superview(), hud());
  EXPECT_EQ(hud()->centerMessageLabel(), nullptr);
  EXPECT_EQ(hud()->subMessageLabel()->text(), "Saving to X");
  EXPECT_EQ(hud()->frame().width(), 160);
  EXPECT_EQ(hud()->layer()->cornerRadius(), 10);

  // A second activity changes only the text, and it stays up.
  kit::Ref<kit::ActivityIndicatorView> spinner(hud()->spinner());
  hud()->displayActivity("Saving to Y");
  EXPECT_EQ(hud()->spinner(), spinner.get());
  EXPECT_EQ(hud()->subMessageLabel()->text(), "Saving to Y");
  loop().advance(10);
  EXPECT_EQ(hud()->alpha(), 1);

  hud()->displayCompleted("Saved!");
  EXPECT_EQ(hud()->spinner(), nullptr);
  EXPECT_EQ(spinner->superview(), nullptr);
  ASSERT_TRUE(hud()->centerMessageLabel());
  EXPECT_EQ(hud()->centerMessageLabel()->text(), "\u2713");
  EXPECT_EQ(hud()->subMessageLabel()->text(), "Saved!");
  loop().advance(0.59);
  EXPECT_EQ(hud()->alpha(), 1);
  loop().advance(0.02);
  EXPECT_EQ(hud()->alpha(), 0);
  EXPECT_NE(hud()->superview(), nullptr);  // fading
  loop().advance(0.4);
  EXPECT_EQ(hud()->superview(), nullptr);
}

TEST_F(IndicatorTest, ANewActivityDuringTheFadeKeepsItUp) {
  hud()->displayCompleted("Saved!");
  loop().advance(0.7);  // the fade-out has begun
  EXPECT_EQ(hud()->alpha(), 0);
  hud()->displayActivity("Saving to Z");
  EXPECT_EQ(hud()->alpha(), 1);
  loop().advance(1);
  EXPECT_NE(hud()->superview(), nullptr);
  EXPECT_EQ(hud()->alpha(), 1);
  EXPECT_EQ(hud()->centerMessageLabel(), nullptr);
  hud()->hide();
  loop().advance(0.4);
  EXPECT_EQ(hud()->superview(), nullptr);
}

TEST_F(IndicatorTest, ItTurnsWithTheStatusBar) {
  kit::Application* app = kit::Application::sharedApplication();
  const std::pair<kit::InterfaceOrientation, double> turns[] = {
      {kit::InterfaceOrientation::LandscapeRight, std::numbers::pi / 2},
      {kit::InterfaceOrientation::LandscapeLeft, -std::numbers::pi / 2},
      {kit::InterfaceOrientation::PortraitUpsideDown, std::numbers::pi},
      {kit::InterfaceOrientation::Portrait, 0}};
  for (const auto& [orientation, angle] : turns) {
    app->setStatusBarOrientation(orientation);
    kit::NotificationCenter::defaultCenter().postNotification(
        kit::Application::kDidChangeStatusBarOrientationNotification);
    EXPECT_EQ(hud()->transform(), kit::AffineTransform::rotation(angle)) << int(orientation);
  }
}

namespace {

class FormTest : public ShareTest {
 protected:
  // A form of `count` text rows k0.. in a short table, shown in a window.
  kit::Ref<ShareFormController> makeForm(size_t count) {
    auto form = kit::make<ShareCustomFormController>(kit::TableView::Style::Plain, "T", "Send");
    std::vector<kit::Ref<ShareFormFieldSettings>> rows;
    for (size_t i = 0; i < count; ++i)
      rows.push_back(ShareFormFieldSettings::label("Label " + std::to_string(i), "k" + std::to_string(i),
                                                   ShareFormFieldTypeText, "start" + std::to_string(i)));
    form->addSection(rows);
    nav_ = kit::NavigationController::withRootViewController(form.get());
    root()->presentModalViewController(nav_.get(), false);
    form->tableView()->setFrame({0, 0, 320, 200});
    form->tableView()->layoutIfNeeded();
    return form;
  }
  static ShareFormFieldCell* cell(ShareFormController* f, long section, long row) {
    return dynamic_cast<ShareFormFieldCell*>(f->tableView()->cellForRowAtIndexPath({section, row}));
  }
  static kit::Ref<kit::MutableDictionary> options(std::vector<std::string> items, std::string cur, bool multiple) {
    auto list = kit::MutableArray::array();
    for (auto& i : items) list->addObject(kit::str(i));
    auto info = kit::MutableDictionary::dictionary();
    info->setObject(kit::str("Pick"), "title");
    info->setObject(kit::str(cur), "curIndexes");
    info->setObject(list, "itemsList");
    info->setObject(kit::boolean(true), "static");
    info->setObject(kit::boolean(multiple), "allowMultiple");
    return info;
  }
  kit::Ref<kit::NavigationController> nav_;
};

}  // namespace

TEST_F(FormTest, ValuesOfRowsScrolledOutOfViewAreStillCollected) {
  kit::Ref<ShareFormController> form = makeForm(30);
  ASSERT_TRUE(cell(form.get(), 0, 0));
  cell(form.get(), 0, 0)->getTextField()->setText("typed zero");
  cell(form.get(), 0, 1)->getTextField()->setText("typed one");
  form->tableView()->scrollToRowAtIndexPath({0, 29}, kit::TableView::ScrollPosition::Bottom, false);
  form->tableView()->layoutIfNeeded();
  ASSERT_EQ(cell(form.get(), 0, 0), nullptr);
  ASSERT_TRUE(cell(form.get(), 0, 29));
  cell(form.get(), 0, 29)->getTextField()->setText("typed last");
  ShareFormController::Values values = form->formValues();
  EXPECT_EQ(values["k0"], "typed zero");
  EXPECT_EQ(values["k1"], "typed one");
  EXPECT_EQ(values["k29"], "typed last");
  // Rows never shown have no value; scrolling back shows what was typed.
  EXPECT_EQ(values.count("k15"), 0u);
  form->tableView()->scrollToRowAtIndexPath({0, 0}, kit::TableView::ScrollPosition::Top, false);
  form->tableView()->layoutIfNeeded();
  EXPECT_EQ(cell(form.get(), 0, 0)->getValue(), "typed zero");
}

TEST_F(FormTest, SwitchesOptionListsAndPlaceholdersGiveTheirValues) {
  auto form = kit::make<ShareCustomFormController>(kit::TableView::Style::Grouped, "T", "Send");
  form->addSection({ShareFormFieldSettings::label("Name", "name", ShareFormFieldTypeText, "n"),
                    ShareFormFieldSettings::label("Secret", "pw", ShareFormFieldTypePassword, ""),
                    ShareFormFieldSettings::label("Follow", "follow", ShareFormFieldTypeSwitch, "1"),
                    ShareFormFieldSettings::label("Lists", "lists", ShareFormFieldTypeOptionPicker, "Choose",
                                                  options({"a", "b", "c"}, "-1", false))});
  EXPECT_GT(form->labelWidth(), 0);
  auto nav = kit::NavigationController::withRootViewController(form.get());
  root()->presentModalViewController(nav.get(), false);
  form->tableView()->layoutIfNeeded();
  EXPECT_TRUE(cell(form.get(), 0, 1)->getTextField()->isSecureTextEntry());
  // Text fields start after the widest label.
  EXPECT_EQ(cell(form.get(), 0, 0)->labelWidth(), form->labelWidth());
  EXPECT_EQ(cell(form.get(), 0, 0)->getTextField()->frame().origin.x, form->labelWidth() + 24);
  ShareFormController::Values values = form->formValues();
  EXPECT_EQ(values["name"], "n");
  EXPECT_EQ(values["follow"], "1");
  EXPECT_EQ(values.count("lists"), 0u);  // still at its placeholder
  cell(form.get(), 0, 2)->toggle()->setOn(false);
  EXPECT_EQ(form->formValues()["follow"], "0");

  // A switch made after its value was set shows that value.
  ShareFormFieldCell lone("Cell");
  lone.setSettings(ShareFormFieldSettings::label("S", "s", ShareFormFieldTypeSwitch, "").get());
  lone.setTmpValue("1");
  lone.layoutSubviews();
  ASSERT_TRUE(lone.toggle());
  EXPECT_TRUE(lone.toggle()->isOn());

  // Picking an option shows it on the field's own row and in the values.
  form->tableView()->tapRow({0, 3});
  loop().advance(1);
  auto* picker = dynamic_cast<ShareFormOptionController*>(nav->topViewController());
  ASSERT_TRUE(picker);
  picker->tableView()->tapRow({0, 1});
  loop().advance(1);
  EXPECT_EQ(nav->topViewController(), form.get());
  EXPECT_EQ(form->formValues()["lists"], "b");
  EXPECT_EQ(cell(form.get(), 0, 3)->getValue(), "b");
}

TEST_F(FormTest, OptionValuesCompareIndexesAsNumbersAndSkipRowsThatAreNone) {
  auto s = ShareFormFieldSettings::label("L", "l", ShareFormFieldTypeOptionPicker, "p",
                                         options({"a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l"},
                                                 "11", true));
  EXPECT_EQ(s->optionPickerValueForIndexes("-1"), "-1");
  EXPECT_EQ(s->optionPickerValueForIndexes("0,2"), "a,c");
  EXPECT_EQ(s->optionPickerValueForIndexes("2,40,x,-3"), "c");
  EXPECT_EQ(s->optionPickerValueForIndexes("40"), "-1");

  // Multiple choice: "1" is not chosen because "11" is; choosing twice removes it again.
  ShareFormOptionController picker(s.get(), nullptr);
  picker.view();
  picker.tableView()->layoutIfNeeded();
  EXPECT_EQ(picker.tableView()->cellForRowAtIndexPath({0, 1})->accessoryType(),
            kit::TableViewCell::AccessoryType::None);
  EXPECT_EQ(picker.tableView()->cellForRowAtIndexPath({0, 11})->accessoryType(),
            kit::TableViewCell::AccessoryType::Checkmark);
  picker.tableView()->tapRow({0, 1});
  EXPECT_EQ(kit::cast<kit::String>(s->optionPickerInfo()->objectForKey("curIndexes"))->str(), "11,1");
  picker.tableView()->tapRow({0, 11});
  picker.tableView()->tapRow({0, 1});
  EXPECT_EQ(kit::cast<kit::String>(s->optionPickerInfo()->objectForKey("curIndexes"))->str(), "-1");
}

namespace {

class Provider : public ShareFormOptionControllerOptionProvider {
 public:
  void ShareFormOptionControllerEnumerateOptions(ShareFormOptionController* p) override { asked = p; }
  void ShareFormOptionControllerCancelEnumerateOptions(ShareFormOptionController*) override { cancelled = true; }
  ShareFormOptionController* asked = nullptr;
  bool cancelled = false;
};

class Client : public ShareFormOptionControllerClient {
 public:
  void ShareFormOptionController(tolva::ShareFormOptionController*, const std::optional<std::string>& v) override {
    picked.push_back(v ? *v : "<cancelled>");
  }
  std::vector<std::string> picked;
};

}  // namespace

TEST_F(FormTest, AProvidersListReplacesAStaleSelectionAndABrokenDescriptionShowsNoOptions) {
  auto provider = kit::make<Provider>();
  auto info = options({}, "5", false);
  info->setObject(kit::boolean(false), "static");
  info->setObject(provider, "ShareFormOptionControllerOptionProvider");
  auto s = ShareFormFieldSettings::label("L", "l", ShareFormFieldTypeOptionPicker, "p", info);
  Client client;
  auto picker = kit::make<ShareFormOptionController>(s.get(), &client);
  picker->view();
  EXPECT_EQ(provider->asked, picker.get());
  EXPECT_EQ(hud()->subMessageLabel()->text(), "Loading...");
  picker->optionsEnumerated({"x", "y"});
  EXPECT_TRUE(picker->didLoad());
  EXPECT_EQ(kit::cast<kit::String>(info->objectForKey("curIndexes"))->str(), "-1");
  EXPECT_EQ(picker->tableView()->numberOfRowsInSection(0), 2);
  picker->tableView()->tapRow({0, 1});
  EXPECT_EQ(client.picked, (std::vector<std::string>{"y"}));

  // A provider that fails, and a description without items, end in "No Options".
  auto failing = kit::make<ShareFormOptionController>(
      ShareFormFieldSettings::label("L", "l", ShareFormFieldTypeOptionPicker, "p", options({}, "-1", false)).get(),
      &client);
  failing->view();
  ASSERT_TRUE(topAlert());
  EXPECT_EQ(topAlert()->title(), "No Options");
  topAlert()->tapButton(0);
  EXPECT_EQ(client.picked.back(), "<cancelled>");
}

TEST_F(FormTest, ASecondScreenWaitsUntilTheFirstIsGone) {
  auto first = kit::make<kit::ViewController>();
  auto second = kit::make<kit::ViewController>();
  Share* share = Share::currentHelper();
  share->showViewController(first.get());
  auto* shownFirst = share->currentView();
  ASSERT_TRUE(shownFirst);
  EXPECT_EQ(root()->modalViewController(), shownFirst);
  EXPECT_EQ(dynamic_cast<kit::NavigationController*>(shownFirst)->topViewController(), first.get());
  loop().advance(1);
  share->showViewController(second.get());
  EXPECT_EQ(share->pendingView(), second.get());
  loop().advance(kit::ViewController::kTransitionDuration);
  loop().drain();
  EXPECT_EQ(share->currentView(), nullptr);
  loop().advance(0.019);
  EXPECT_EQ(share->currentView(), nullptr);
  loop().advance(0.002);
  ASSERT_TRUE(share->currentView());
  EXPECT_EQ(dynamic_cast<kit::NavigationController*>(share->currentView())->topViewController(), second.get());
  EXPECT_EQ(share->pendingView(), nullptr);

  int finished = 0;
  auto token = kit::NotificationCenter::defaultCenter().addObserver(
      Share::kHideCurrentViewFinishedNotification, nullptr, [&](const kit::Notification&) { ++finished; });
  share->hideCurrentViewController();
  EXPECT_TRUE(share->isDismissingView());
  loop().advance(1);
  EXPECT_EQ(finished, 1);
  EXPECT_EQ(share->currentView(), nullptr);
  EXPECT_FALSE(share->isDismissingView());
  EXPECT_EQ(root()->modalViewController(), nullptr);
}

// A screen shown while the last one is still going is up at once; the old
// one's disappearance and dismissal leave it alone, and it goes in its turn.
TEST_F(FormTest, AScreenShownWhileTheLastOneGoesCanGoInItsTurn) {
  auto first = kit::make<kit::ViewController>();
  auto second = kit::make<kit::ViewController>();
  Share* share = Share::currentHelper();
  share->showViewController(first.get());
  loop().advance(1);
  share->hideCurrentViewController();
  share->showViewController(second.get());
  kit::ViewController* shown = share->currentView();
  ASSERT_TRUE(shown);
  EXPECT_EQ(dynamic_cast<kit::NavigationController*>(shown)->topViewController(), second.get());
  share->screenDisappeared(*first);
  loop().advance(1);
  EXPECT_EQ(share->currentView(), shown);
  EXPECT_FALSE(share->isDismissingView());

  share->hideCurrentViewController();
  loop().advance(1);
  EXPECT_EQ(share->currentView(), nullptr);
  EXPECT_EQ(root()->modalViewController(), nullptr);
}

namespace {

class PlaceholderTest : public FormTest {
  class Placeholders : public DefaultShareConfigurator {
    bool usePlaceholders() const override { return true; }
    std::string barStyle() const override { return "UIBarStyleBlackTranslucent"; }
    std::string modalPresentationStyle() const override { return "UIModalPresentationPageSheet"; }
    std::string modalTransitionStyle() const override { return "UIModalTransitionStylePartialCurl"; }
  };
  kit::Ref<DefaultShareConfigurator> configurator() override { return kit::make<Placeholders>(); }
};

}  // namespace

TEST_F(PlaceholderTest, LabelsBecomePlaceholdersExceptOnSwitchesAndStylesFollowTheConfiguration) {
  auto form = kit::make<ShareCustomFormController>(kit::TableView::Style::Grouped, "T", "Send");
  form->addSection({ShareFormFieldSettings::label("Name", "name", ShareFormFieldTypeText, ""),
                    ShareFormFieldSettings::label("Follow", "follow", ShareFormFieldTypeSwitch, "0")});
  EXPECT_EQ(form->labelWidth(), 0);
  Share::currentHelper()->showViewController(form.get());
  auto* nav = dynamic_cast<kit::NavigationController*>(Share::currentHelper()->currentView());
  ASSERT_TRUE(nav);
  EXPECT_FALSE(nav->isToolbarHidden());
  EXPECT_EQ(nav->modalPresentationStyle(), kit::ViewController::ModalPresentationStyle::PageSheet);
  EXPECT_EQ(nav->modalTransitionStyle(), kit::ViewController::ModalTransitionStyle::PartialCurl);
  EXPECT_EQ(nav->navigationBar()->barStyle(), kit::BarStyle::BlackTranslucent);
  form->tableView()->layoutIfNeeded();
  ShareFormFieldCell* text = cell(form.get(), 0, 0);
  ShareFormFieldCell* sw = cell(form.get(), 0, 1);
  ASSERT_TRUE(text && sw);
  EXPECT_EQ(text->getTextField()->placeholder(), "Name");
  EXPECT_EQ(text->textLabel()->text(), "");
  EXPECT_EQ(sw->textLabel()->text(), "Follow");
  EXPECT_EQ(sw->getValue(), "0");
}

TEST_F(FormTest, TheFormsButtonsReachItsOwner) {
  auto form = kit::make<ShareCustomFormController>(kit::TableView::Style::Grouped, "T", "Send");
  form->addSection({ShareFormFieldSettings::label("Name", "name", ShareFormFieldTypeText, "x")});
  std::vector<std::string> calls;
  form->setValidateSelector([&](ShareFormController* f) {
    calls.push_back("validate");
    f->saveForm();
  });
  form->setSaveSelector([&](ShareFormController*) { calls.push_back("save"); });
  form->setCancelSelector([&](ShareFormController*) { calls.push_back("cancel"); });
  form->setAutoSelect(true);
  Share::currentHelper()->showViewController(form.get());
  loop().advance(1);
  // Shown, the first row has the keyboard; return sends the form.
  ShareFormFieldCell* first = cell(form.get(), 0, 0);
  ASSERT_TRUE(first);
  EXPECT_TRUE(first->isSelected());
  EXPECT_EQ(form->activeField(), first->textField());
  EXPECT_TRUE(form->textFieldShouldReturn(*first->textField()));
  EXPECT_EQ(calls, (std::vector<std::string>{"validate", "save"}));
  loop().advance(1);
  EXPECT_EQ(Share::currentHelper()->currentView(), nullptr);
  // The form has left the screen: its Cancel action as its bar would run it.
  form->navigationItem()->leftBarButtonItem()->perform();
  EXPECT_EQ(calls.back(), "cancel");
}

TEST_F(ShareTest, WithoutAScreenToPresentFromNothingIsShown) {
  for (auto& w : kit::Window::allWindows()) w->setWindowLevel(kit::Window::kLevelAlert);
  auto screen = kit::make<kit::ViewController>();
  Share::currentHelper()->showViewController(screen.get());
  EXPECT_EQ(Share::currentHelper()->currentView(), nullptr);
  for (auto& w : kit::Window::allWindows()) w->setWindowLevel(kit::Window::kLevelNormal);
  // A window without subviews still has its root screen.
  auto bare = kit::make<kit::Window>();
  auto bareRoot = kit::make<kit::ViewController>();
  bare->setRootViewController(bareRoot.get());
  bare->makeKeyAndVisible();
  for (auto& sub : std::vector<kit::Ref<kit::View>>(bare->subviews())) sub->removeFromSuperview();
  EXPECT_EQ(Share::currentHelper()->getCurrentRootViewController(), bareRoot.get());
  Share::setRootViewController(root());
  EXPECT_EQ(Share::currentHelper()->getCurrentRootViewController(), root());
  bare->setHidden(true);
}

TEST_F(ShareTest, ASharerLetGoOfWhileSendingStillReportsItsOutcome) {
  Share::setAuthValue("me", "username", sharetest::ShareTestSharer::kName);
  std::vector<std::string> reports;
  auto& center = kit::NotificationCenter::defaultCenter();
  auto started = center.addObserver(ShareSharer::kSendDidStartNotification, nullptr,
                                    [&](const kit::Notification& n) { reports.push_back(n.name()); });
  auto finished = center.addObserver(ShareSharer::kSendDidFinishNotification, nullptr,
                                     [&](const kit::Notification& n) { reports.push_back(n.name()); });
  {
    auto sharer = ShareSharer::sharerWithClassName(sharetest::ShareTestSharer::kName);
    sharer->setItem(ShareItem::text("t").get());
    EXPECT_TRUE(sharer->tryToSend());
  }
  loop().advance(0.5);
  EXPECT_EQ(reports, (std::vector<std::string>{"ShareSendDidStartNotification", "ShareSendDidFinish"}));
  EXPECT_EQ(ShareActivityIndicator::currentIndicator()->subMessageLabel()->text(), "Saved!");
}
