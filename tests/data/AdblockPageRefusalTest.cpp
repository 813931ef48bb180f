// The page view refuses a navigation the filter list blocks, with an alert
// when the user clicked the link.

#include "data/VeskAdblockManager.h"
#include "shell/ShellTest.h"

using namespace tolva;

namespace {

class AdblockPageRefusalTest : public shelltest::ShellTest {};

TEST_F(AdblockPageRefusalTest, ABlockedNavigationIsRefusedAndAClickedOneSaysSo) {
  ASSERT_TRUE(launch());
  VeskWebView* p = page(1);
  kit::HeadlessWebView* w = web(p);
  ASSERT_TRUE(w);
  misc()->setOpt_adblock(true);
  const std::string blocked = "http://ads.example.com/banner.html";

  EXPECT_FALSE(w->fireShouldStart(blocked, kit::WebViewNavigationType::LinkClicked));
  ASSERT_TRUE(topAlert());
  EXPECT_EQ(topAlert()->message(), "URL blocked by Ad Blocker");
  clearOverlays();

  EXPECT_FALSE(w->fireShouldStart(blocked, kit::WebViewNavigationType::Other));
  EXPECT_FALSE(topAlert());
  EXPECT_TRUE(w->fireShouldStart("http://news.example.com/", kit::WebViewNavigationType::LinkClicked));
  EXPECT_FALSE(topAlert());

  // Each refusal counted twice: once as its request was made (the hook),
  // once by the page view.
  long hits = 0;
  for (kit::Object* item : *VeskAdblockManager::sharedInstance()->filters())
    if (auto* n = kit::cast<kit::Dictionary>(item)->get<kit::Number>("hitcount")) hits += n->integerValue();
  EXPECT_EQ(hits, 4);

  misc()->setOpt_adblock(false);
  EXPECT_TRUE(w->fireShouldStart(blocked, kit::WebViewNavigationType::LinkClicked));
  EXPECT_FALSE(topAlert());
}

}  // namespace
