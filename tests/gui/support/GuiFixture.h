#pragma once
// The base of every GUI test: GTK and kit's GTK backend installed once per
// process, a watchdog per test, waiting on the real main loop, and, when
// $TOLVA_ARTIFACTS names a folder, a PNG of the test's window written there
// as the test ends (<suite>.<test>.png).

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "kit/ui/Window.h"
#include "support/Watchdog.h"

namespace tolvatest {

class GuiFixture : public ::testing::Test {
 public:
  static void SetUpTestSuite();

 protected:
  void SetUp() override;
  void TearDown() override;

  // Runs the main loop (GTK and kit) until `predicate` holds or `seconds` pass.
  static bool waitUntil(const std::function<bool()>& predicate, double seconds = 15);
  // Lets GTK lay out and draw what is pending.
  static void settle();
  // The window whose picture is saved at the end (none: the key window).
  void screenshotWindow(kit::Window* window) { shot_ = window; }
  // Writes the picture now under `name` (when artifacts are wanted).
  void saveScreenshot(const std::string& name);

  // A click (press and release of the first button) at a point of `view`,
  // sent through the X server.
  static void click(kit::View* view, kit::Point inView);
  // The same with the secondary (right) button.
  static void rightClick(kit::View* view, kit::Point inView);
  // Keys typed into whatever has the keyboard focus, through the X server.
  static void typeKeys(kit::View* anyViewInWindow, const std::string& text);
  static void pressKey(kit::View* anyViewInWindow, unsigned keyval);
  // The pointer to a point of the window (window coordinates), and a button (1: the first).
  static void pointerTo(kit::View* anyViewInWindow, kit::Point inWindow);
  static void pressButton(bool down, unsigned button = 1);

  // How long a test may run before the watchdog ends it: a test that walks
  // many screens sets more in its constructor.
  int watchdogSeconds_ = 60;

 private:
  std::unique_ptr<Watchdog> watchdog_;
  kit::Ref<kit::Window> shot_;
};

}  // namespace tolvatest
