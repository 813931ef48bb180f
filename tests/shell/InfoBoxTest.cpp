// The info box: how long a message stays, how it fades, what a second
// message does to the first, and that touches pass through it.

#include "ShellTest.h"
#include <set>
#include <utility>
#include <vector>

#include "kit/ui/Image.h"
#include "kit/ui/Layer.h"

using namespace tolva;

namespace {

class InfoBoxTest : public shelltest::ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    box = kit::make<VeskInfoBoxView>(kit::Rect(100, 100, 240, 120));
  }
  void TearDown() override {
    box = nullptr;
    ShellTest::TearDown();
  }
  bool showing() const { return !box->isHidden() && box->alpha() == 1; }

  kit::Ref<VeskInfoBoxView> box;
};

TEST_F(InfoBoxTest, AMessageStaysForPointEightSecondsThenFades) {
  EXPECT_TRUE(box->isHidden());
  box->twinkle("Next Tab", VeskInfoBoxView::sharedTabRight());
  EXPECT_TRUE(showing());
  EXPECT_EQ(box->label()->text(), "Next Tab");
  EXPECT_EQ(box->imgView()->image(), VeskInfoBoxView::sharedTabRight());

  loop().advance(0.79);
  EXPECT_TRUE(showing());
  EXPECT_TRUE(box->layer()->animationKeys().empty());

  loop().advance(0.02);  // the fade has begun
  kit::Layer* layer = box->layer();
  kit::Animation* opacity = layer->animationForKey("opa");
  kit::Animation* hidden = layer->animationForKey("hid");
  ASSERT_TRUE(opacity && hidden);
  EXPECT_EQ(opacity->keyPath(), "opacity");
  EXPECT_EQ(opacity->duration(), 0.4);
  EXPECT_EQ(opacity->timingFunction(), kit::TimingFunction::EaseInEaseOut);
  EXPECT_EQ(std::get<double>(opacity->fromValue()), 1.0);
  EXPECT_EQ(std::get<double>(opacity->toValue()), 0.0);
  EXPECT_EQ(hidden->keyPath(), "hidden");
  EXPECT_EQ(hidden->duration(), 1.0);
  EXPECT_EQ(layer->opacity(), 0);
  EXPECT_TRUE(box->isHidden());
  EXPECT_TRUE(box->image());  // the icon goes only when the fade is over

  loop().advance(0.4);
  EXPECT_FALSE(layer->animationForKey("opa"));
  EXPECT_FALSE(box->image());
  EXPECT_EQ(box->text(), "Next Tab");
  loop().advance(1);
  EXPECT_TRUE(layer->animationKeys().empty());
}

TEST_F(InfoBoxTest, ASecondMessageReplacesTheFirstAndKeepsItsOwnTime) {
  box->twinkle("Previous Tab", VeskInfoBoxView::sharedTabLeft());
  loop().advance(0.5);
  box->twinkle("Next Tab", VeskInfoBoxView::sharedTabRight());
  EXPECT_EQ(box->text(), "Next Tab");
  EXPECT_EQ(box->image(), VeskInfoBoxView::sharedTabRight());
  loop().advance(0.5);  // past the first message's 0.8 s
  EXPECT_TRUE(showing());
  loop().advance(0.29);
  EXPECT_TRUE(showing());
  loop().advance(0.02);
  EXPECT_TRUE(box->isHidden());
}

TEST_F(InfoBoxTest, AMessageDuringTheFadeShowsAtOnceWithItsIcon) {
  box->twinkle("Reload", VeskInfoBoxView::sharedGestureIcon());
  loop().advance(1.0);  // half-way through the fade
  ASSERT_TRUE(box->layer()->animationForKey("opa"));
  box->twinkle("Private Browsing", VeskInfoBoxView::sharedPrivateIconSelected());
  EXPECT_TRUE(box->layer()->animationKeys().empty());
  EXPECT_TRUE(showing());
  EXPECT_EQ(box->image(), VeskInfoBoxView::sharedPrivateIconSelected());
  loop().advance(0.5);
  EXPECT_EQ(box->image(), VeskInfoBoxView::sharedPrivateIconSelected());
  EXPECT_TRUE(showing());
}

TEST_F(InfoBoxTest, NoImageMeansTheFailIcon) {
  box->twinkle("Failed to save image.", nullptr);
  EXPECT_EQ(box->image(), VeskInfoBoxView::sharedFailIcon());
}

TEST_F(InfoBoxTest, TouchesPassThroughToThePageBeneath) {
  kit::Ref<kit::View> root = kit::make<kit::View>(kit::Rect(0, 0, 1024, 768));
  kit::Ref<kit::View> pageBeneath = kit::make<kit::View>(kit::Rect(0, 0, 1024, 768));
  root->addSubview(pageBeneath.get());
  root->addSubview(box.get());
  box->twinkle("Next Page", nullptr);
  EXPECT_FALSE(box->isUserInteractionEnabled());
  EXPECT_EQ(root->hitTest({150, 150}, nullptr), pageBeneath.get());
}

TEST_F(InfoBoxTest, ABoxThatGoesTakesItsPendingFadeWithIt) {
  box->twinkle("Next Tab", nullptr);
  loop().advance(0.3);
  box = nullptr;
  loop().advance(2);  // nothing runs on the freed box
  kit::Ref<VeskInfoBoxView> other = kit::make<VeskInfoBoxView>();
  other->twinkle("Close Tab", nullptr);
  other = nullptr;
  loop().advance(2);
}

}  // namespace

namespace {

// Whether a picture has something drawn: a pixel that is not fully transparent.
bool drawn(const kit::Image* image) {
  const std::vector<uint8_t>& px = image->pixels();
  for (size_t i = 3; i < px.size(); i += 4)
    if (px[i]) return true;
  return false;
}

TEST(InfoBoxIcons, EveryStatusIconIsItsOwnDecodedPicture) {
  using Get = kit::Image* (*)();
  const std::pair<Get, const char*> icons[] = {
      {&VeskInfoBoxView::sharedDoneIcon, "info_done"},
      {&VeskInfoBoxView::sharedGestureIcon, "info_gesture"},
      {&VeskInfoBoxView::sharedSearchIcon, "info_search"},
      {&VeskInfoBoxView::sharedFullscreenIcon, "info_fullscreen"},
      {&VeskInfoBoxView::sharedPrivateIconOnTabItem, "secret_on_tab"},
      {&VeskInfoBoxView::sharedPrivateIconSelected, "secret_selected@2x"},
      {&VeskInfoBoxView::sharedPrivateIcon, "info_secret"},
      {&VeskInfoBoxView::sharedDualScreenIcon, "info_dualscreen"},
      {&VeskInfoBoxView::sharedSingleScreenIcon, "info_singlescreen"},
      {&VeskInfoBoxView::sharedRotationLockIcon, "info_lock_rotation"},
      {&VeskInfoBoxView::sharedRotationUnlockIcon, "info_unlock_rotation"},
      {&VeskInfoBoxView::sharedTrackpadIcon, "info_trackpad"},
      {&VeskInfoBoxView::sharedTrackpadOffIcon, "info_trackpadoff"},
      {&VeskInfoBoxView::sharedShowScreenshotIcon, "info_showscreenshot"},
      {&VeskInfoBoxView::sharedHideScreenshotIcon, "info_hidescreenshot"},
      {&VeskInfoBoxView::sharedFailIcon, "info_fail"},
      {&VeskInfoBoxView::sharedScrollTopIcon, "info_scroll_top"},
      {&VeskInfoBoxView::sharedScrollBottomIcon, "info_scroll_bottom"},
      {&VeskInfoBoxView::sharedTabLeft, "info_left_tab"},
      {&VeskInfoBoxView::sharedTabRight, "info_right_tab"},
  };
  std::set<std::vector<uint8_t>> pictures;
  for (const auto& [get, name] : icons) {
    kit::Image* icon = get();
    ASSERT_TRUE(icon) << name;
    EXPECT_EQ(icon, get()) << name << ": kept, not made again";
    EXPECT_EQ(icon->name(), name);
    EXPECT_TRUE(icon->hasPixels()) << name;
    EXPECT_TRUE(drawn(icon)) << name;
    pictures.insert(icon->pixels());
  }
  EXPECT_EQ(pictures.size(), std::size(icons)) << "each icon is a picture of its own";
  // The double-density picture has twice the pixels per point.
  EXPECT_EQ(VeskInfoBoxView::sharedPrivateIconSelected()->scale(), 2);
  EXPECT_EQ(VeskInfoBoxView::sharedPrivateIconSelected()->size(), (kit::Size{16, 16}));
  EXPECT_EQ(VeskInfoBoxView::sharedDoneIcon()->size(), (kit::Size{32, 32}));
}

}  // namespace
