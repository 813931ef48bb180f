#include <gtest/gtest.h>

#include "common/MyUIViewController.h"
#include "kit/foundation/String.h"
#include "kit/foundation/UserDefaults.h"
#include "kit/ui/Application.h"
#include "shell/VeskAnalytics.h"
#include "support/TempHome.h"

using namespace tolva;
using kit::InterfaceOrientation;

namespace {

class ShellCountersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    kit::UserDefaults::resetStandardUserDefaults();
    kit::Application::sharedApplication()->setStatusBarOrientation(InterfaceOrientation::Portrait);
  }
  kit::UserDefaults& defaults() { return kit::UserDefaults::standardUserDefaults(); }
  bool allows(InterfaceOrientation o) {
    return MyUIViewController::myShouldAutorotateToInterfaceOrientation(nullptr, o);
  }
  tolvatest::TempHome home_;
};

constexpr InterfaceOrientation kAll[] = {InterfaceOrientation::Portrait, InterfaceOrientation::PortraitUpsideDown,
                                         InterfaceOrientation::LandscapeRight, InterfaceOrientation::LandscapeLeft};

TEST_F(ShellCountersTest, RotationLockOffAllowsEveryOrientation) {
  for (auto o : kAll) EXPECT_TRUE(allows(o));
  defaults().setBool(false, "opt_lock_rotation");
  defaults().setInteger(3, "opt_lock_rotation_info");
  for (auto o : kAll) EXPECT_TRUE(allows(o));
}

TEST_F(ShellCountersTest, RotationLockWithoutStoredOrientationAllowsPortraitOnly) {
  defaults().setBool(true, "opt_lock_rotation");
  EXPECT_TRUE(allows(InterfaceOrientation::Portrait));
  EXPECT_FALSE(allows(InterfaceOrientation::LandscapeLeft));
  EXPECT_FALSE(allows(InterfaceOrientation::PortraitUpsideDown));
}

TEST_F(ShellCountersTest, RotationLockTurnsTheStatusBarToTheHeldOrientation) {
  defaults().setBool(true, "opt_lock_rotation");
  defaults().setInteger(3, "opt_lock_rotation_info");
  EXPECT_FALSE(allows(InterfaceOrientation::Portrait));
  EXPECT_EQ(kit::Application::sharedApplication()->statusBarOrientation(), InterfaceOrientation::LandscapeRight);
  EXPECT_TRUE(allows(InterfaceOrientation::LandscapeRight));
  EXPECT_FALSE(allows(InterfaceOrientation::LandscapeLeft));
  // The rule caches nothing: unlocking takes effect at the next question.
  defaults().setBool(false, "opt_lock_rotation");
  EXPECT_TRUE(allows(InterfaceOrientation::Portrait));
}

TEST_F(ShellCountersTest, RotationLockWithImpossibleOrientationKeepsPortraitUsable) {
  defaults().setBool(true, "opt_lock_rotation");
  for (long bad : {0L, 5L, -1L, 1000L}) {
    defaults().setInteger(bad, "opt_lock_rotation_info");
    EXPECT_TRUE(allows(InterfaceOrientation::Portrait)) << bad;
    EXPECT_FALSE(allows(InterfaceOrientation::LandscapeRight)) << bad;
    EXPECT_EQ(kit::Application::sharedApplication()->statusBarOrientation(), InterfaceOrientation::Portrait);
  }
}

TEST_F(ShellCountersTest, ReviewIsDueAfterTheTenthUse) {
  VeskAnalytics* a = VeskAnalytics::sharedInstance();
  EXPECT_EQ(a->usageCounter(), 0);
  EXPECT_EQ(a->remindCounter(), 10);
  EXPECT_FALSE(a->reviewed());
  for (int use = 1; use <= 10; ++use) {
    EXPECT_GT(a->remindCounter(), 0) << "asked too early, before use " << use;
    a->endUsing();
  }
  EXPECT_EQ(a->remindCounter(), 0);
  EXPECT_EQ(a->usageCounter(), 10);
  a->endUsing();
  a->endUsing();
  EXPECT_EQ(a->remindCounter(), 0);  // never below zero
  EXPECT_EQ(a->usageCounter(), 12);
  a->setReviewed(true);
  EXPECT_TRUE(a->reviewed());
  // Everything went to user defaults, so it survives a re-read.
  kit::UserDefaults::resetStandardUserDefaults();
  EXPECT_EQ(a->usageCounter(), 12);
  EXPECT_TRUE(a->reviewed());
}

}  // namespace
