// The tab item (styles, double tap, close button, its interface files) and
// two small widgets beside it: the touch-passing button and the action sheet
// that carries data.

#include <utility>

#include "ShellTest.h"
#include "kit/ui/Image.h"
#include "kit/foundation/Dictionary.h"
#include "kit/foundation/String.h"
#include "shell/VeskTabItemView.h"
#include "shell/VeskTouchPropagatingUIButton.h"
#include "shell/VeskUIActionSheetWithData.h"

using namespace tolva;

namespace {

struct RecordingDelegate : VeskTabItemViewDelegate {
  int closes = 0;
  int doubleTaps = 0;
  void onCloseClicked(VeskTabItemView&) override { ++closes; }
  void onDoubleTapped(VeskTabItemView&) override { ++doubleTaps; }
};

// A view that counts the touches it is handed.
class TouchCounter : public kit::View {
 public:
  int began = 0, moved = 0, ended = 0, cancelled = 0;
  void touchesBegan(const kit::Touches&, kit::Event*) override { ++began; }
  void touchesMoved(const kit::Touches&, kit::Event*) override { ++moved; }
  void touchesEnded(const kit::Touches&, kit::Event*) override { ++ended; }
  void touchesCancelled(const kit::Touches&, kit::Event*) override { ++cancelled; }
};

using TabItemTest = shelltest::ShellTest;

TEST_F(TabItemTest, AnItemComesFromItsInterfaceFileUnselected) {
  kit::Ref<VeskTabItemView> item = VeskTabItemView::allocInstance({160, 0, 150, 120}, "Page");
  ASSERT_TRUE(item);
  EXPECT_EQ(item->frame(), (kit::Rect{160, 0, 150, 120}));
  EXPECT_EQ(item->title()->text(), "Page");
  EXPECT_FALSE(item->selected());
  EXPECT_EQ(item->tabBounds(), item->tabView()->bounds());
  // The close button ends where the tab's bar ends, inside it.
  EXPECT_EQ(item->closeBtn()->frame().maxX(), item->tabView()->bounds().size.width);
  EXPECT_EQ(VeskTabItemView::xibFrameSize(), (kit::Size{160, 150}));
  usePhone();
  EXPECT_EQ(VeskTabItemView::xibFrameSize(), (kit::Size{100, 100}));
}

TEST_F(TabItemTest, SelectionRestylesTheItemAndAPrivateTitleStaysRed) {
  kit::Ref<VeskTabItemView> item = VeskTabItemView::allocInstance({0, 0, 160, 150}, "Page");
  ASSERT_TRUE(item);
  EXPECT_EQ(item->tab_bg()->image(), VeskTabItemView::normalImage());
  EXPECT_EQ(item->title()->textColor(), kit::Color::whiteColor());
  EXPECT_FALSE(item->glossy()->isHidden());

  item->setSelected(true);
  EXPECT_EQ(item->tab_bg()->image()->name(), "tab_selected.png");
  EXPECT_EQ(item->closeBtn()->imageForState(kit::Control::Normal), VeskTabItemView::selectedClose());
  EXPECT_EQ(item->title()->textColor(), kit::Color::blackColor());
  EXPECT_EQ(item->tabViewBg()->backgroundColor(), kit::Color::blackColor());
  EXPECT_TRUE(item->glossy()->isHidden());
  EXPECT_TRUE(item->tab_shadow()->isHidden());

  item->setPrivateMode(true);
  EXPECT_EQ(item->title()->textColor(), kit::Color::redColor());
  item->setSelected(false);
  EXPECT_EQ(item->title()->textColor(), kit::Color::redColor());
  item->setPrivateMode(false);
  EXPECT_EQ(item->title()->textColor(), kit::Color::whiteColor());
}

TEST_F(TabItemTest, TheTabAndCloseImagesAreDecodedPicturesOfTheirOwn) {
  const std::pair<kit::Image*, kit::Size> images[] = {{VeskTabItemView::selectedImage(), {160, 150}},
                                                       {VeskTabItemView::normalImage(), {160, 150}},
                                                       {VeskTabItemView::selectedClose(), {30, 30}},
                                                       {VeskTabItemView::normalClose(), {30, 30}}};
  for (const auto& [image, size] : images) {
    ASSERT_TRUE(image);
    EXPECT_TRUE(image->hasPixels()) << image->name();
    EXPECT_EQ(image->size(), size) << image->name();
  }
  EXPECT_NE(VeskTabItemView::selectedImage()->pixels(), VeskTabItemView::normalImage()->pixels());
  EXPECT_NE(VeskTabItemView::selectedClose()->pixels(), VeskTabItemView::normalClose()->pixels());
  // The selected tab is the lighter one.
  EXPECT_GT(VeskTabItemView::selectedImage()->pixelAt(80, 75) & 0xFF000000u,
            VeskTabItemView::normalImage()->pixelAt(80, 75) & 0xFF000000u);
}

TEST_F(TabItemTest, OnlyADoubleTapAndTheCloseButtonReachTheDelegate) {
  kit::Ref<VeskTabItemView> item = VeskTabItemView::allocInstance({0, 0, 160, 150}, "Page");
  ASSERT_TRUE(item);
  kit::TapGestureRecognizer* tap = item->doubleTapRecognizer();
  ASSERT_TRUE(tap);
  EXPECT_EQ(tap->view(), item.get());
  // Without a delegate nothing happens.
  EXPECT_TRUE(tap->tap({10, 10}, 1, 2));
  item->closeBtn()->tap();

  RecordingDelegate d;
  item->setDelegate(&d);
  EXPECT_FALSE(tap->tap({10, 10}, 1, 1));
  EXPECT_EQ(d.doubleTaps, 0);
  EXPECT_TRUE(tap->tap({10, 10}, 1, 2));
  EXPECT_EQ(d.doubleTaps, 1);
  EXPECT_EQ(d.closes, 0);
  item->closeBtn()->tap();
  EXPECT_EQ(d.closes, 1);
  item->setDelegate(nullptr);
}

TEST_F(TabItemTest, AMissingInterfaceFileYieldsNoItem) {
  kit::InterfaceFile::unregisterBuilder(VeskTabItemView::kInterfaceFile);
  EXPECT_FALSE(VeskTabItemView::allocInstance({0, 0, 10, 10}, "x"));
  EXPECT_EQ(VeskTabItemView::xibFrameSize(), (kit::Size{0, 0}));
  // A file whose first object is something else yields none either.
  kit::InterfaceFile::registerBuilder(VeskTabItemView::kInterfaceFile,
                                      [](kit::InterfaceFile::Context& ctx) { ctx.makeTopLevel<kit::Label>(); });
  EXPECT_FALSE(VeskTabItemView::allocInstance({0, 0, 10, 10}, "x"));
  registerShellInterfaceFiles();
  EXPECT_TRUE(VeskTabItemView::allocInstance({0, 0, 10, 10}, "x"));
}

TEST_F(TabItemTest, AStripWithoutItemFileStillKeepsItsTabs) {
  kit::InterfaceFile::unregisterBuilder(VeskTabItemView::kInterfaceFile);
  kit::Ref<VeskWebViewController> c(new VeskWebViewController("VeskWebViewController"));
  c->view();
  VeskMultiTabView* strip = c->multiTab();
  ASSERT_EQ(strip->tabCount(), 2);
  EXPECT_EQ(strip->tabItems().size(), 2u);
  // No room to tap in, and nothing breaks.
  EXPECT_EQ(strip->calcIndexFromPoint({5, 5}), -1);
  strip->deleteTab(0);
  EXPECT_EQ(strip->tabCount(), 1);
  EXPECT_EQ(strip->tabItems().size(), 1u);
}

TEST_F(TabItemTest, ThePullTabPassesItsTouchesOnOnlyWhileTheDialTakesThem) {
  kit::Ref<TouchCounter> dial(new TouchCounter());
  kit::Ref<VeskTouchPropagatingUIButton> tip(new VeskTouchPropagatingUIButton({0, 0, 30, 60}));
  tip->setTitle("tab");  // a finger finds only what is drawn
  tip->setPropagatingView(dial.get());
  std::vector<std::string> order;
  tip->addTarget("down", kit::Control::TouchDown, [&](kit::Control&) {
    order.push_back("button");
    dial->setUserInteractionEnabled(true);  // as the main screen does on touch down
  });
  tip->addTarget("up", kit::Control::TouchUpInside, [&](kit::Control&) {
    order.push_back("up");
    dial->setUserInteractionEnabled(false);
  });

  dial->setUserInteractionEnabled(false);
  tip->touchDown();
  EXPECT_EQ(order, (std::vector<std::string>{"button"}));
  EXPECT_EQ(dial->began, 1);  // the button's own handling let the dial take it
  tip->touchUpInside();
  EXPECT_EQ(dial->ended, 0);  // the button's action turned the dial off first
  EXPECT_EQ(order.back(), "up");

  dial->setUserInteractionEnabled(true);
  tip->removeTarget("up");
  tip->touchDown();
  tip->touchCancel();
  EXPECT_EQ(dial->began, 2);
  EXPECT_EQ(dial->cancelled, 1);

  // No view to pass to: just a button.
  tip->setPropagatingView(nullptr);
  EXPECT_NO_THROW(tip->tap());
}

TEST_F(TabItemTest, TheDataSheetCopiesOrKeepsWhatItCarries) {
  kit::Ref<kit::MutableDictionary> form = kit::MutableDictionary::dictionary();
  form->setObject(kit::str("alice"), "login");
  kit::Ref<kit::MutableDictionary> site = kit::MutableDictionary::dictionary();
  kit::Ref<VeskUIActionSheetWithData> sheet(
      new VeskUIActionSheetWithData("Save?", nullptr, "Cancel", "", {"Yes", "Never"}));
  sheet->setCopiedData(form.get());
  sheet->setRetainedData(site.get());
  sheet->setCopiedData2(nullptr);
  form->setObject(kit::str("mallory"), "login");
  auto* copied = kit::cast<kit::Dictionary>(sheet->copiedData());
  ASSERT_TRUE(copied);
  EXPECT_EQ(copied->get<kit::String>("login")->str(), "alice");
  EXPECT_FALSE(copied->isMutable());
  EXPECT_EQ(sheet->retainedData(), site.get());
  EXPECT_EQ(sheet->copiedData2(), nullptr);
  EXPECT_EQ(sheet->retainedData2(), nullptr);
  EXPECT_EQ(sheet->numberOfButtons(), 3);
}

}  // namespace
