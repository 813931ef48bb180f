#pragma once
// The fixture every UI test starts from: virtual time, a fresh application
// (tablet idiom, portrait, status bar shown), no alert, sheet or popover left
// over from another test, and no observer installed.

#include <gtest/gtest.h>

#include "kit/foundation/Clock.h"
#include "kit/foundation/RunLoop.h"
#include "kit/ui/ActionSheet.h"
#include "kit/ui/AlertView.h"
#include "kit/ui/Application.h"
#include "kit/ui/Device.h"
#include "kit/ui/PopoverController.h"
#include "kit/ui/Responder.h"
#include "kit/ui/View.h"
#include "kit/ui/ViewAnimation.h"
#include "kit/ui/Window.h"

namespace uitest {

class UiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    kit::Clock::setVirtual(700000000.0);
    kit::Device::currentDevice().setUserInterfaceIdiom(kit::UserInterfaceIdiom::Pad);
    kit::Application::sharedApplication()->reset();
    kit::View::setObserver(nullptr);
    kit::ViewAnimation::clearHistory();
    clearOverlays();
    loop().drain();
  }

  void TearDown() override {
    clearOverlays();
    if (auto* fr = dynamic_cast<kit::View*>(kit::Responder::firstResponder())) fr->endEditing(true);
    loop().advance(10);
    kit::View::setObserver(nullptr);
    kit::Device::currentDevice().setUserInterfaceIdiom(kit::UserInterfaceIdiom::Pad);
    kit::Clock::setReal();
  }

  static void clearOverlays() {
    for (auto& a : kit::AlertView::visibleAlerts()) a->dismissWithClickedButtonIndex(-1, false);
    for (auto& s : kit::ActionSheet::visibleSheets()) s->dismissWithClickedButtonIndex(-1, false);
    for (auto& p : kit::PopoverController::visiblePopovers()) p->dismissPopoverAnimated(false);
  }

  static kit::RunLoop& loop() { return kit::RunLoop::main(); }

  // A visible key window of the screen's size.
  kit::Ref<kit::Window> makeKeyWindow() {
    kit::Ref<kit::Window> w(new kit::Window());
    w->makeKeyAndVisible();
    return w;
  }
};

}  // namespace uitest
