#include "settings/PrefAppSettingsViewController.h"

#include <thread>

#include "SettingsTest.h"
#include "kit/foundation/ClassRegistry.h"
#include "kit/foundation/RunLoop.h"
#include "kit/ui/AlertView.h"
#include "kit/ui/BarButtonItem.h"
#include "kit/ui/HeadlessURLOpener.h"
#include "kit/ui/Keyboard.h"
#include "kit/ui/Label.h"
#include "kit/ui/NavigationItem.h"
#include "kit/ui/TableView.h"
#include "kit/ui/TextField.h"
#include "kit/ui/Window.h"
#include "settings/PrefAppSettingsWebViewController.h"
#include "settings/PrefAutorotation.h"
#include "settings/PrefPSSliderSpecifierViewCell.h"
#include "settings/PrefPSTextFieldSpecifierViewCell.h"
#include "settings/PrefPSTitleValueSpecifierViewCell.h"
#include "settings/PrefPSToggleSwitchSpecifierViewCell.h"
#include "settings/PrefSpecifierValuesViewController.h"

using namespace settingstest;
using namespace tolva;
using kit::IndexPath;

namespace {

struct Delegate : PrefSettingsDelegate {
  int ended = 0;
  std::optional<double> customHeight;
  kit::Ref<kit::TableViewCell> customCell;
  kit::Ref<kit::View> headerView;
  std::optional<double> headerHeight;
  std::vector<std::string> headerKeysAsked;

  void settingsViewControllerDidEnd(PrefAppSettingsViewController&) override { ++ended; }
  std::optional<double> tableViewHeightForSpecifier(kit::TableView&, PrefSpecifier&) override { return customHeight; }
  kit::Ref<kit::TableViewCell> tableViewCellForSpecifier(kit::TableView&, PrefSpecifier&) override { return customCell; }
  kit::Ref<kit::View> tableViewViewForHeaderForKey(kit::TableView&, const std::string& key) override {
    headerKeysAsked.push_back(key);
    return key == "custom_header" ? headerView : nullptr;
  }
  std::optional<double> tableViewHeightForHeaderForKey(kit::TableView&, const std::string&) override {
    return headerHeight;
  }
};

// A screen reached by class name that wants the page's delegate and store.
class TestCustomScreen : public kit::ViewController, public PrefAcceptsSettingsDelegate, public PrefAcceptsSettingsStore {
 public:
  void setDelegate(PrefSettingsDelegate* d) override { delegate = d; }
  void setSettingsStore(kit::Ref<PrefSettingsStore> s) override { store = std::move(s); }
  PrefSettingsDelegate* delegate = nullptr;
  kit::Ref<PrefSettingsStore> store;
};

kit::Ref<kit::Object> toggle(const char* title, const char* key, Entries extra = {}) {
  auto d = kit::MutableDictionary::dictionary();
  d->setObject(kit::str("PSToggleSwitchSpecifier"), "Type");
  d->setObject(kit::str(title), "Title");
  d->setObject(kit::str(key), "Key");
  for (const auto& [k, v] : extra) d->setObject(v, k);
  return d;
}

kit::Ref<kit::Object> spec(const char* type, const char* title, Entries extra = {}) {
  auto d = kit::MutableDictionary::dictionary();
  d->setObject(kit::str(type), "Type");
  d->setObject(kit::str(title), "Title");
  for (const auto& [k, v] : extra) d->setObject(v, k);
  return d;
}

class PrefScreenTest : public SettingsTest {
 protected:
  void open(std::vector<kit::Ref<kit::Object>> specifiers) {
    writeDescription("Settings.bundle/Root.plist", std::move(specifiers));
    nav = PrefAppSettingsViewController::settingsNavigationController(&delegate);
    root = kit::cast<PrefAppSettingsViewController>(nav->viewControllers().front());
    window = makeKeyWindow();
    window->setRootViewController(nav.get());
    loop().advance(1);
    table = root->tableView();
    ASSERT_NE(table, nullptr);
  }
  void TearDown() override {
    if (window) window->setRootViewController(nullptr);
    window = nullptr;
    table = nullptr;
    root = nullptr;
    nav = nullptr;
    loop().advance(1);
    SettingsTest::TearDown();
  }
  template <class Cell>
  Cell* cellAt(IndexPath p) {
    return dynamic_cast<Cell*>(table->cellForRowAtIndexPath(p));
  }
  kit::ViewController* top() { return nav->topViewController(); }
  void back() {
    nav->popViewControllerAnimated(false);
    loop().advance(1);
  }

  Delegate delegate;
  kit::Ref<kit::Window> window;
  kit::Ref<kit::NavigationController> nav;
  kit::Ref<PrefAppSettingsViewController> root;
  kit::Ref<kit::TableView> table;
};

TEST_F(PrefScreenTest, ThePageShowsItsSectionsAndEndsThroughTheDelegate) {
  open({toggle("Loose", "loose"), group("First", "First footer"), toggle("A", "a"), group("Last", "Last footer")});
  EXPECT_EQ(nav->modalPresentationStyle(), kit::ViewController::ModalPresentationStyle::FormSheet);
  EXPECT_EQ(root->title(), "Settings");
  EXPECT_EQ(table->style(), kit::TableView::Style::Grouped);
  ASSERT_EQ(table->numberOfSections(), 3);
  EXPECT_EQ(table->numberOfRowsInSection(2), 0);
  EXPECT_EQ(table->titleForHeaderInSection(0), "");
  EXPECT_EQ(table->rectForHeaderInSection(0).height(), 0) << "no title, no header";
  EXPECT_EQ(table->titleForHeaderInSection(1), "First");
  EXPECT_EQ(table->titleForFooterInSection(1), "First footer");
  EXPECT_EQ(table->titleForFooterInSection(2), "Last footer\n\nPowered by PrefKit");
  EXPECT_EQ(nav->delegate(), root.get());

  kit::BarButtonItem* done = root->navigationItem()->rightBarButtonItem();
  ASSERT_NE(done, nullptr);
  EXPECT_TRUE(done->isSystemItem());
  EXPECT_EQ(done->systemItem(), kit::BarButtonItem::SystemItem::Done);
  done->tap();
  EXPECT_EQ(delegate.ended, 1);
  EXPECT_EQ(nav->delegate(), nullptr);
}

TEST_F(PrefScreenTest, SwitchesStoreTheirTrueAndFalseValuesOrBooleans) {
  open({toggle("Plain", "plain", {{"DefaultValue", yes()}}),
        toggle("Words", "words", {{"TrueValue", s("on")}, {"FalseValue", s("off")}, {"DefaultValue", s("off")}})});
  auto* plain = cellAt<PrefPSToggleSwitchSpecifierViewCell>({0, 0});
  auto* words = cellAt<PrefPSToggleSwitchSpecifierViewCell>({0, 1});
  ASSERT_TRUE(plain && words);
  EXPECT_EQ(plain->label()->text(), "Plain");
  EXPECT_TRUE(plain->toggle()->isOn()) << "the default";
  EXPECT_FALSE(words->toggle()->isOn()) << "the default equals FalseValue";
  EXPECT_FALSE(table->tapRow({0, 0})) << "switch rows are not selected";

  ChangeRecorder changes;
  words->toggle()->tap();
  EXPECT_EQ(defaults().stringForKey("words"), "on");
  ASSERT_EQ(changes.posts.size(), 1u);
  EXPECT_EQ(changes.posts[0].key, "words");
  EXPECT_TRUE(kit::isEqual(changes.valueOf(0), kit::str("on").get()));
  words->toggle()->tap();
  EXPECT_EQ(defaults().stringForKey("words"), "off");

  plain->toggle()->tap();
  auto* stored = dynamic_cast<kit::Number*>(defaults().objectForKey("plain").get());
  ASSERT_NE(stored, nullptr);
  EXPECT_TRUE(stored->isBool());
  EXPECT_FALSE(stored->boolValue());
  ASSERT_EQ(changes.posts.size(), 3u);
  EXPECT_EQ(changes.posts[2].key, "plain");
  EXPECT_TRUE(kit::isEqual(changes.valueOf(2), kit::Number::no()));
}

TEST_F(PrefScreenTest, SwitchesShowStoredValuesOfAnyType) {
  defaults().setObject(kit::str("on").get(), "words");
  defaults().setObject(kit::Array::arrayWithObjects({kit::Number::yes()}).get(), "odd");
  defaults().setObject(kit::str("YES").get(), "text");
  open({toggle("Words", "words", {{"TrueValue", s("on")}, {"FalseValue", s("off")}}),
        toggle("Odd", "odd", {{"DefaultValue", yes()}}), toggle("Text", "text")});
  EXPECT_TRUE(cellAt<PrefPSToggleSwitchSpecifierViewCell>({0, 0})->toggle()->isOn());
  EXPECT_FALSE(cellAt<PrefPSToggleSwitchSpecifierViewCell>({0, 1})->toggle()->isOn()) << "an array reads as off";
  EXPECT_TRUE(cellAt<PrefPSToggleSwitchSpecifierViewCell>({0, 2})->toggle()->isOn());
}

TEST_F(PrefScreenTest, SlidersStoreFloats) {
  defaults().setObject(kit::Dictionary::dictionary().get(), "odd");
  open({spec("PSSliderSpecifier", "Volume", {{"Key", s("volume")}, {"MinimumValue", n(0)}, {"MaximumValue", n(10)},
                                             {"DefaultValue", s("2.5")}}),
        spec("PSSliderSpecifier", "Odd", {{"Key", s("odd")}, {"MinimumValue", n(0)}, {"MaximumValue", n(10)}})});
  auto* cell = cellAt<PrefPSSliderSpecifierViewCell>({0, 0});
  ASSERT_NE(cell, nullptr);
  EXPECT_EQ(cell->slider()->value(), 2.5);
  EXPECT_EQ(cell->slider()->maximumValue(), 10);
  EXPECT_TRUE(cell->minImage()->isHidden());
  EXPECT_EQ(cellAt<PrefPSSliderSpecifierViewCell>({0, 1})->slider()->value(), 0) << "a dictionary reads as 0";
  {
    // Images beside the description are decoded; a file that is no picture shows none.
    std::filesystem::path dir = std::filesystem::path(bundle_) / "Settings.bundle";
    std::filesystem::copy_file(std::string(TOLVA_RESOURCES_DIR) + "/info_done.png", dir / "quiet.png");
    writeText("Settings.bundle/loud.png", "not a picture");
    open({spec("PSSliderSpecifier", "Volume", {{"Key", s("volume")}, {"MinimumValue", n(0)}, {"MaximumValue", n(10)},
                                               {"MinimumValueImage", s("quiet.png")},
                                               {"MaximumValueImage", s("loud.png")}})});
    auto* pictured = cellAt<PrefPSSliderSpecifierViewCell>({0, 0});
    ASSERT_NE(pictured, nullptr);
    kit::Image* quiet = pictured->minImage()->image();
    ASSERT_NE(quiet, nullptr);
    EXPECT_TRUE(quiet->hasPixels());
    EXPECT_EQ(quiet->size(), (kit::Size{32, 32}));
    EXPECT_EQ(pictured->maxImage()->image(), nullptr);
    EXPECT_TRUE(pictured->maxImage()->isHidden());
    cell = cellAt<PrefPSSliderSpecifierViewCell>({0, 0});
  }

  ChangeRecorder changes;
  cell->slider()->slideTo(7.25);
  EXPECT_EQ(defaults().floatForKey("volume"), 7.25f);
  ASSERT_EQ(changes.posts.size(), 1u);
  auto* value = dynamic_cast<kit::Number*>(changes.valueOf(0));
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(value->typeLetter(), 'f');
  EXPECT_EQ(value->floatValue(), 7.25f);
}

TEST_F(PrefScreenTest, TextFieldsStoreWhenEditingEnds) {
  defaults().setInteger(42, "number");
  open({spec("PSTextFieldSpecifier", "Name", {{"Key", s("name")}, {"DefaultValue", s("anon")},
                                              {"KeyboardType", s("EmailAddress")}, {"IsSecure", yes()}}),
        spec("PSTextFieldSpecifier", "Number", {{"Key", s("number")}})});
  auto* cell = cellAt<PrefPSTextFieldSpecifierViewCell>({0, 0});
  ASSERT_NE(cell, nullptr);
  PrefTextField* field = cell->textField();
  EXPECT_EQ(field->text(), "anon");
  EXPECT_EQ(field->key(), "name");
  EXPECT_EQ(field->keyboardType(), kit::KeyboardType::EmailAddress);
  EXPECT_TRUE(field->isSecureTextEntry());
  EXPECT_EQ(field->returnKeyType(), kit::ReturnKeyType::Done);
  EXPECT_EQ(cellAt<PrefPSTextFieldSpecifierViewCell>({0, 1})->textField()->text(), "42");

  ChangeRecorder changes;
  EXPECT_TRUE(table->tapRow({0, 0}));
  EXPECT_TRUE(field->isFirstResponder());
  EXPECT_EQ(root->currentFirstResponder(), field);
  field->typeText(" me");
  EXPECT_TRUE(changes.posts.empty()) << "typing alone stores nothing";
  EXPECT_FALSE(defaults().exists("name"));
  field->pressReturn();
  EXPECT_FALSE(field->isFirstResponder());
  EXPECT_EQ(root->currentFirstResponder(), nullptr);
  EXPECT_EQ(defaults().stringForKey("name"), "anon me");
  ASSERT_EQ(changes.posts.size(), 1u);
  EXPECT_TRUE(kit::isEqual(changes.valueOf(0), kit::str("anon me").get()));
}

TEST_F(PrefScreenTest, ATextWithALineBreakOrNulIsRefused) {
  defaults().setString("Agent/1", "agent");
  open({spec("PSTextFieldSpecifier", "Agent", {{"Key", s("agent")}})});
  PrefTextField* field = cellAt<PrefPSTextFieldSpecifierViewCell>({0, 0})->textField();
  ChangeRecorder changes;
  for (const std::string& bad : {std::string("Evil\r\nX-A: 1"), std::string("Evil\n"), std::string("Ev\0il", 5)}) {
    ASSERT_TRUE(table->tapRow({0, 0}));
    field->setText(bad);
    field->pressReturn();
    EXPECT_EQ(defaults().stringForKey("agent"), "Agent/1");
    EXPECT_EQ(field->text(), "Agent/1");
  }
  EXPECT_TRUE(changes.posts.empty());
  ASSERT_TRUE(table->tapRow({0, 0}));
  field->setText("Agent/2 (fine)");
  field->pressReturn();
  EXPECT_EQ(defaults().stringForKey("agent"), "Agent/2 (fine)");
  EXPECT_EQ(changes.posts.size(), 1u);
}

TEST_F(PrefScreenTest, TextFieldCellLayout) {
  open({spec("PSTextFieldSpecifier", "Name", {{"Key", s("name")}}), spec("PSTextFieldSpecifier", "", {{"Key", s("x")}}),
        spec("PSTextFieldSpecifier", "A Rather Long Address Title", {{"Key", s("long")}})});
  auto* cell = cellAt<PrefPSTextFieldSpecifierViewCell>({0, 0});
  cell->layoutIfNeeded();
  kit::Rect label = cell->label()->frame();
  kit::Rect field = cell->textField()->frame();
  double w = cell->contentView()->bounds().width();
  EXPECT_EQ(field.x(), label.x() + 97 + 5) << "a short title still leaves 97 points";
  EXPECT_EQ(field.maxX(), w - label.x());
  auto* untitled = cellAt<PrefPSTextFieldSpecifierViewCell>({0, 1});
  untitled->layoutIfNeeded();
  EXPECT_EQ(untitled->textField()->frame().x(), untitled->label()->frame().x());
  // A long title is not cut: it is as wide as its text, and the field starts after it.
  auto* titled = cellAt<PrefPSTextFieldSpecifierViewCell>({0, 2});
  titled->layoutIfNeeded();
  kit::Rect title = titled->label()->frame();
  EXPECT_GE(title.width(), titled->label()->sizeThatFits({}).width);
  EXPECT_GE(titled->textField()->frame().x(), title.maxX());
  EXPECT_GE(titled->textField()->frame().width(), PrefPSTextFieldSpecifierViewCell::kMinimumFieldWidth);
}

kit::Ref<kit::Object> engineList() {
  return spec("PSMultiValueSpecifier", "Engine",
              {{"Key", s("engine")}, {"DefaultValue", s("g")}, {"Values", list({s("g"), s("b")})},
               {"Titles", list({s("Good"), s("Better")})}, {"FooterText", s("Pick one")}});
}

TEST_F(PrefScreenTest, ValueListPickAndRepick) {
  open({engineList()});
  auto* row = cellAt<PrefPSTitleValueSpecifierViewCell>({0, 0});
  ASSERT_NE(row, nullptr);
  EXPECT_EQ(row->detailTextLabel()->text(), "Good");
  EXPECT_EQ(row->accessoryType(), kit::TableViewCell::AccessoryType::DisclosureIndicator);

  EXPECT_TRUE(table->tapRow({0, 0}));
  loop().advance(1);
  auto* list = dynamic_cast<PrefSpecifierValuesViewController*>(top());
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(root->currentIndexPath(), (IndexPath{0, 0}));
  EXPECT_EQ(list->title(), "Engine");
  EXPECT_EQ(list->checkedItem(), (IndexPath{0, 0}));
  kit::TableView* lt = list->tableView();
  EXPECT_EQ(lt->numberOfRowsInSection(0), 2);
  EXPECT_EQ(lt->titleForFooterInSection(0), "Pick one");
  EXPECT_EQ(lt->cellForRowAtIndexPath({0, 0})->accessoryType(), kit::TableViewCell::AccessoryType::Checkmark);
  EXPECT_EQ(lt->cellForRowAtIndexPath({0, 1})->textLabel()->text(), "Better");
  EXPECT_EQ(nav->delegate(), root.get()) << "the list does not end the settings";

  ChangeRecorder changes;
  lt->tapRow({0, 1});
  EXPECT_EQ(defaults().stringForKey("engine"), "b");
  ASSERT_EQ(changes.posts.size(), 1u);
  EXPECT_EQ(changes.posts[0].key, "engine");
  EXPECT_TRUE(kit::isEqual(changes.valueOf(0), kit::str("b").get()));
  EXPECT_EQ(lt->cellForRowAtIndexPath({0, 1})->accessoryType(), kit::TableViewCell::AccessoryType::Checkmark);
  EXPECT_EQ(lt->cellForRowAtIndexPath({0, 1})->textLabel()->textColor(),
            PrefSpecifierValuesViewController::checkedTextColor());
  EXPECT_EQ(lt->cellForRowAtIndexPath({0, 0})->accessoryType(), kit::TableViewCell::AccessoryType::None);
  lt->tapRow({0, 1});
  EXPECT_EQ(changes.posts.size(), 1u) << "picking the marked value again posts nothing";

  // A change made elsewhere moves the mark while the list shows.
  defaults().setObject(kit::str("g").get(), "engine");
  EXPECT_EQ(list->checkedItem(), (IndexPath{0, 0}));
  // One made on a loading thread moves it on the main thread only.
  std::thread([&] { defaults().setObject(kit::str("b").get(), "engine"); }).join();
  EXPECT_EQ(list->checkedItem(), (IndexPath{0, 0}));
  loop().drain();
  EXPECT_EQ(list->checkedItem(), (IndexPath{0, 1}));
  defaults().setObject(kit::str("g").get(), "engine");

  back();
  EXPECT_EQ(cellAt<PrefPSTitleValueSpecifierViewCell>({0, 0})->detailTextLabel()->text(), "Good");
  EXPECT_EQ(root->currentIndexPath(), std::nullopt);
  // The same list screen serves the row again.
  table->tapRow({0, 0});
  loop().advance(1);
  EXPECT_EQ(top(), list);
}

TEST_F(PrefScreenTest, ValueListsThatDoNotLineUp) {
  defaults().setObject(kit::str("zzz").get(), "engine");
  open({engineList(), spec("PSMultiValueSpecifier", "Short",
                           {{"Key", s("short")}, {"DefaultValue", n(3)}, {"Values", list({n(1), n(2), n(3)})},
                            {"Titles", list({s("One")})}})});
  EXPECT_EQ(cellAt<PrefPSTitleValueSpecifierViewCell>({0, 0})->detailTextLabel()->text(), "")
      << "a stored value outside the list has no title";
  table->tapRow({0, 0});
  loop().advance(1);
  auto* list = dynamic_cast<PrefSpecifierValuesViewController*>(top());
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->checkedItem(), std::nullopt);
  EXPECT_EQ(list->tableView()->contentOffset().y, 0);
  for (long r = 0; r < 2; ++r) {
    EXPECT_EQ(list->tableView()->cellForRowAtIndexPath({0, r})->accessoryType(),
              kit::TableViewCell::AccessoryType::None);
  }
  back();

  table->tapRow({0, 1});
  loop().advance(1);
  kit::TableView* lt = list->tableView();
  ASSERT_EQ(lt->numberOfRowsInSection(0), 3);
  EXPECT_EQ(lt->cellForRowAtIndexPath({0, 0})->textLabel()->text(), "One");
  EXPECT_EQ(lt->cellForRowAtIndexPath({0, 2})->textLabel()->text(), "3") << "a value without a title shows itself";
  EXPECT_EQ(list->checkedItem(), (IndexPath{0, 2}));
  ChangeRecorder changes;
  lt->tapRow({0, 1});
  EXPECT_EQ(defaults().integerForKey("short"), 2);
  EXPECT_EQ(changes.posts.size(), 1u);
}

TEST_F(PrefScreenTest, TitleValueRows) {
  defaults().setObject(kit::str("2.0").get(), "version");
  open({spec("PSTitleValueSpecifier", "Version", {{"Key", s("version")}, {"DefaultValue", s("1.0")}}),
        spec("PSTitleValueSpecifier", "", {{"Key", s("mode")}, {"DefaultValue", n(1)},
                                          {"Values", list({n(1)})}, {"Titles", list({s("Fast")})}})});
  auto* version = cellAt<PrefPSTitleValueSpecifierViewCell>({0, 0});
  EXPECT_EQ(version->detailTextLabel()->text(), "2.0");
  EXPECT_FALSE(version->isUserInteractionEnabled());
  EXPECT_EQ(version->accessoryType(), kit::TableViewCell::AccessoryType::None);
  auto* untitled = cellAt<PrefPSTitleValueSpecifierViewCell>({0, 1});
  untitled->layoutIfNeeded();
  EXPECT_EQ(untitled->textLabel()->text(), "Fast") << "without a title the value takes its place";
  EXPECT_EQ(untitled->textLabel()->frame().x(), 9);
}

TEST_F(PrefScreenTest, ChildPagesAreOneReusedScreen) {
  writeDescription("Settings.bundle/ChildA.plist", {group("In A"), toggle("A1", "a1")});
  writeDescription("Settings.bundle/ChildB.plist", {group("In B"), toggle("B1", "b1"), toggle("B2", "b2")});
  open({spec("PSChildPaneSpecifier", "Child A", {{"File", s("ChildA")}}),
        spec("PSChildPaneSpecifier", "Child B", {{"File", s("ChildB")}}), group("End")});
  EXPECT_EQ(table->titleForFooterInSection(1), "Powered by PrefKit");
  table->tapRow({0, 0});
  loop().advance(1);
  auto* child = dynamic_cast<PrefAppSettingsViewController*>(top());
  ASSERT_NE(child, nullptr);
  ASSERT_NE(child, root.get());
  EXPECT_EQ(child->file(), "ChildA");
  EXPECT_EQ(child->title(), "Child A");
  EXPECT_FALSE(child->showDoneButton());
  EXPECT_EQ(child->navigationItem()->rightBarButtonItem(), nullptr);
  EXPECT_EQ(child->delegate(), &delegate);
  EXPECT_EQ(child->settingsStore(), root->settingsStore());
  EXPECT_EQ(child->tableView()->titleForHeaderInSection(0), "In A");
  EXPECT_EQ(child->tableView()->titleForFooterInSection(0), "") << "child pages carry no credits";

  back();
  table->tapRow({0, 1});
  loop().advance(1);
  EXPECT_EQ(top(), child) << "the same child screen serves every child row";
  EXPECT_EQ(child->title(), "Child B");
  EXPECT_EQ(child->tableView()->numberOfRowsInSection(0), 2);
}

TEST_F(PrefScreenTest, CustomScreensByClassNameAndMissingNames) {
  auto& registry = kit::ClassRegistry::shared();
  registry.registerClass("TestCustomScreen", [] { return kit::Ref<kit::Object>(new TestCustomScreen()); });
  writeDescription("Settings.bundle/Fallback.plist", {toggle("F", "f")});
  writeText("help.html", "<title>Help</title>");
  open({spec("PSChildPaneSpecifier", "Custom", {{"PrefViewControllerClass", s("TestCustomScreen")}}),
        spec("PSChildPaneSpecifier", "Missing with file",
             {{"PrefViewControllerClass", s("NoSuchScreen")}, {"File", s("Fallback")}}),
        spec("PSChildPaneSpecifier", "Missing", {{"PrefViewControllerClass", s("NoSuchScreen")}}),
        spec("PSChildPaneSpecifier", "Help",
             {{"PrefViewControllerClass", s("PrefAppSettingsWebViewController")},
              {"PrefViewControllerSelector", s("initWithFile:key:")}, {"File", s("help.html")}, {"Key", s("help")}}),
        spec("PSChildPaneSpecifier", "Bad selector",
             {{"PrefViewControllerClass", s("TestCustomScreen")}, {"PrefViewControllerSelector", s("initWithNothing:")}})});

  table->tapRow({0, 0});
  loop().advance(1);
  auto* custom = dynamic_cast<TestCustomScreen*>(top());
  ASSERT_NE(custom, nullptr);
  EXPECT_EQ(custom->delegate, &delegate);
  EXPECT_EQ(custom->store.get(), root->settingsStore());
  EXPECT_EQ(nav->delegate(), nullptr) << "a screen of its own does not end the settings";
  EXPECT_EQ(delegate.ended, 0);
  back();
  EXPECT_EQ(nav->delegate(), root.get());

  table->tapRow({0, 1});
  loop().advance(1);
  auto* fallback = dynamic_cast<PrefAppSettingsViewController*>(top());
  ASSERT_NE(fallback, nullptr);
  EXPECT_EQ(fallback->file(), "Fallback");
  back();

  size_t depth = nav->viewControllers().size();
  EXPECT_TRUE(table->tapRow({0, 2}));
  loop().advance(1);
  EXPECT_EQ(nav->viewControllers().size(), depth);
  EXPECT_EQ(table->indexPathForSelectedRow(), std::nullopt);

  EXPECT_TRUE(table->tapRow({0, 4}));
  loop().advance(1);
  EXPECT_EQ(nav->viewControllers().size(), depth) << "an initializer the class lacks is a missing class";

  table->tapRow({0, 3});
  loop().advance(1);
  auto* help = dynamic_cast<PrefAppSettingsWebViewController*>(top());
  ASSERT_NE(help, nullptr);
  ASSERT_NE(help->url(), nullptr);
  EXPECT_TRUE(help->url()->isFileURL());
  EXPECT_EQ(help->url()->lastPathComponent(), "help.html");
  registry.unregisterClass("TestCustomScreen");
}

TEST_F(PrefScreenTest, ButtonsCallClassFunctionsByName) {
  auto& registry = kit::ClassRegistry::shared();
  std::vector<std::pair<kit::Object*, std::string>> calls;
  registry.registerClassFunction("TestButtons", "onDoIt", [&](const kit::ClassCall& call) -> kit::Ref<kit::Object> {
    auto* key = dynamic_cast<kit::String*>(call.arg(1));
    calls.emplace_back(call.arg(0), key ? key->str() : "?");
    return nullptr;
  });
  open({spec("PrefButtonSpecifier", "Do it",
             {{"PrefButtonClass", s("TestButtons")}, {"PrefButtonAction", s("onDoIt:key:")}, {"Key", s("do_key")}}),
        spec("PrefButtonSpecifier", "No class", {{"PrefButtonClass", s("NoSuchClass")}, {"PrefButtonAction", s("onDoIt:key:")}}),
        spec("PrefButtonSpecifier", "No action",
             {{"PrefButtonClass", s("TestButtons")}, {"PrefButtonAction", s("onNothing:key:")}})});
  EXPECT_EQ(table->cellForRowAtIndexPath({0, 0})->textLabel()->text(), "Do it");
  table->tapRow({0, 0});
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].first, root.get());
  EXPECT_EQ(calls[0].second, "do_key");
  EXPECT_EQ(table->indexPathForSelectedRow(), std::nullopt);
  EXPECT_TRUE(table->tapRow({0, 1}));
  EXPECT_TRUE(table->tapRow({0, 2}));
  EXPECT_EQ(calls.size(), 1u);
  registry.unregisterClass("TestButtons");
}

TEST_F(PrefScreenTest, LinkAndMailRows) {
  open({spec("PrefOpenURLSpecifier", "Site", {{"File", s("https://example.org/")}, {"DefaultValue", s("example.org")}}),
        spec("PrefMailComposeSpecifier", "Write to us",
             {{"PrefMailComposeSubject", s("Hello")},
              {"PrefMailComposeToRecipents", list({s("a@example.org")})},
              {"PrefMailComposeCcRecipents", list({s("c@example.org"), n(5)})},
              {"PrefMailComposeBody", s("Dear team,")}})});
  EXPECT_EQ(cellAt<PrefPSTitleValueSpecifierViewCell>({0, 0})->detailTextLabel()->text(), "example.org");
  table->tapRow({0, 0});
  auto& opened = kit::Application::sharedApplication()->headlessURLOpener().openedURLs();
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0], "https://example.org/");

  table->tapRow({0, 1});
  auto* composer = dynamic_cast<kit::MailComposeViewController*>(root->presentedViewController());
  ASSERT_NE(composer, nullptr);
  EXPECT_EQ(composer->subject(), "Hello");
  EXPECT_EQ(composer->toRecipients(), std::vector<std::string>{"a@example.org"});
  EXPECT_EQ(composer->ccRecipients(), std::vector<std::string>{"c@example.org"});
  EXPECT_EQ(composer->modalPresentationStyle(), kit::ViewController::ModalPresentationStyle::FormSheet);
  EXPECT_EQ(composer->messageBody().rfind("Dear team,\n\n\nTolva Version : ", 0), 0u) << composer->messageBody();
  EXPECT_FALSE(composer->isBodyHTML());
  loop().advance(1);
  composer->finish(kit::MailComposeResult::Sent);
  loop().advance(1);
  EXPECT_EQ(root->presentedViewController(), nullptr);

  kit::MailComposeViewController::setCanSendMail(false);
  table->tapRow({0, 1});
  kit::MailComposeViewController::setCanSendMail(true);
  EXPECT_EQ(root->presentedViewController(), nullptr);
  kit::AlertView* alert = kit::AlertView::topVisibleAlert();
  ASSERT_NE(alert, nullptr);
  EXPECT_EQ(alert->title(), "Mail not configured");
  EXPECT_EQ(alert->buttonTitleAtIndex(0), "OK");
  alert->dismissWithClickedButtonIndex(0, false);

  // An HTML body that is not there leaves a plain mail without markup.
  open({spec("PrefMailComposeSpecifier", "Write", {{"PrefMailComposeBodyIsHTML", yes()}})});
  table->tapRow({0, 0});
  auto* plain = dynamic_cast<kit::MailComposeViewController*>(root->presentedViewController());
  ASSERT_NE(plain, nullptr);
  EXPECT_FALSE(plain->isBodyHTML());
  EXPECT_EQ(plain->messageBody().rfind("\n\n\nTolva Version : ", 0), 0u) << plain->messageBody();
  EXPECT_EQ(plain->messageBody().find("<br>"), std::string::npos) << plain->messageBody();
}

TEST_F(PrefScreenTest, CustomViewRowsAndHeaderHeights) {
  open({group("custom group", nullptr, "custom_header"), spec("PrefCustomViewSpecifier", "Custom", {{"Key", s("cv")}}),
        group("A title"), toggle("T", "t"), group("")});
  EXPECT_EQ(table->rectForRowAtIndexPath({0, 0}).height(), 0) << "no height from the delegate: 0";
  EXPECT_EQ(table->rectForHeaderInSection(1).height(), 21 + 15) << "one line of bold 17-point text, plus 15";
  EXPECT_EQ(table->rectForHeaderInSection(2).height(), 0);

  delegate.customHeight = 80;
  delegate.customCell = kit::TableViewCell::cell(kit::TableViewCell::Style::Default, "mine");
  delegate.headerView = kit::View::view({0, 0, 100, 30});
  delegate.headerHeight = 55;
  table->reloadData();
  EXPECT_EQ(table->rectForRowAtIndexPath({0, 0}).height(), 80);
  EXPECT_EQ(table->cellForRowAtIndexPath({0, 0}), delegate.customCell.get());
  EXPECT_EQ(table->headerViewForSection(0), delegate.headerView.get());
  EXPECT_EQ(table->rectForHeaderInSection(0).height(), 55);
  delegate.headerHeight = 0;
  table->reloadData();
  EXPECT_EQ(table->rectForHeaderInSection(0).height(), 21 + 15) << "a zero height falls back to the title";
}

TEST_F(PrefScreenTest, KeyboardShrinksTheTableAndScrollsTheFieldIntoView) {
  std::vector<kit::Ref<kit::Object>> rows;
  for (int i = 0; i < 12; ++i) rows.push_back(toggle("T", "t"));
  rows.push_back(spec("PSTextFieldSpecifier", "Name", {{"Key", s("name")}}));
  for (int i = 0; i < 12; ++i) rows.push_back(toggle("T", "t"));
  open(std::move(rows));
  double before = table->frame().height();
  EXPECT_TRUE(table->tapRow({0, 12}));
  ASSERT_TRUE(kit::Keyboard::isVisible());
  EXPECT_EQ(root->topmostRowBeforeKeyboardWasShown(), (IndexPath{0, 0}));
  EXPECT_EQ(table->frame().height(), before - kit::Keyboard::frame().height());
  kit::Rect row = table->rectForRowAtIndexPath({0, 12});
  EXPECT_NEAR(table->contentOffset().y, row.midY() - table->bounds().height() / 2, 0.5)
      << "the edited row is scrolled to the middle";

  root->currentFirstResponder()->resignFirstResponder();
  EXPECT_FALSE(kit::Keyboard::isVisible());
  EXPECT_EQ(table->frame().height(), before);

  // A desktop keyboard takes no room: the table keeps its height.
  kit::Keyboard::setTakesNoRoom(true);
  EXPECT_TRUE(table->tapRow({0, 12}));
  ASSERT_TRUE(kit::Keyboard::isVisible());
  EXPECT_EQ(table->frame().height(), before);
  root->currentFirstResponder()->resignFirstResponder();
  kit::Keyboard::setTakesNoRoom(false);
}

TEST_F(PrefScreenTest, DelayedReloadAndObserversEndWithTheScreen) {
  size_t baseline = kit::NotificationCenter::defaultCenter().observerCount();
  open({toggle("T", "t")});
  EXPECT_GT(kit::NotificationCenter::defaultCenter().observerCount(), baseline);
  int reloads = table->reloadCount();
  root->reload();
  loop().advance(0.4);
  EXPECT_EQ(table->reloadCount(), reloads);
  loop().advance(0.2);
  EXPECT_EQ(table->reloadCount(), reloads + 1);

  // Going to the background saves the settings; coming back reloads, 0.5 s later.
  defaults().setBool(true, "t");
  kit::Application::sharedApplication()->enterBackground();
  EXPECT_TRUE(std::filesystem::exists(defaults().path()));
  kit::Application::sharedApplication()->enterForeground();
  loop().advance(0.6);
  EXPECT_EQ(table->reloadCount(), reloads + 2);

  root->reload();
  const void* screen = root.get();
  EXPECT_EQ(kit::RunLoop::main().pendingPerformRequestCount(screen), 1u);
  window->setRootViewController(nullptr);
  window = nullptr;
  root = nullptr;
  nav = nullptr;
  EXPECT_EQ(kit::RunLoop::main().pendingPerformRequestCount(screen), 0u);
  loop().advance(1);
  EXPECT_EQ(kit::NotificationCenter::defaultCenter().observerCount(), baseline);
}

TEST_F(PrefScreenTest, ShowingAForeignScreenEndsTheSettings) {
  open({toggle("T", "t")});
  kit::Ref<kit::ViewController> other(new kit::ViewController());
  nav->pushViewController(other.get(), false);
  EXPECT_EQ(delegate.ended, 1);
}

TEST_F(PrefScreenTest, RotationFollowsTheInstalledRule) {
  open({toggle("T", "t")});
  EXPECT_TRUE(root->shouldAutorotateToInterfaceOrientation(kit::InterfaceOrientation::LandscapeLeft));
  const kit::Object* asked = nullptr;
  PrefAutorotation::setRule([&](const kit::Object* c, kit::InterfaceOrientation o) {
    asked = c;
    return o == kit::InterfaceOrientation::Portrait;
  });
  EXPECT_FALSE(root->shouldAutorotateToInterfaceOrientation(kit::InterfaceOrientation::LandscapeLeft));
  EXPECT_EQ(asked, root.get());
  PrefAutorotation::setRule(nullptr);
}

}  // namespace
