// The main of every test suite: kit reads the source tree's resources, and
// no test ever touches the user's real data, even one that forgets its own
// temporary home.

#include <gtest/gtest.h>

#include "kit/foundation/Bundle.h"
#include "support/TempHome.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  kit::Bundle::setMainBundlePath(TOLVA_RESOURCES_DIR);
  tolvatest::TempHome processHome;
  return RUN_ALL_TESTS();
}
