#pragma once
// The real program in the test's own process, on the GTK backend: a fresh
// $TOLVA_HOME, the shell's interface files and classes registered, the main
// interface file loaded and the application launched the way the program's
// main() does, pages served on 127.0.0.1.

#include <memory>
#include <string>
#include <vector>

#include "kit/foundation/Dictionary.h"
#include "kit/ui/Window.h"
#include "shell/VeskWebAppDelegate.h"
#include "shell/VeskWebView.h"
#include "shell/VeskWebViewController.h"
#include "support/GuiFixture.h"
#include "support/TempHome.h"
#include "support/TestHTTPServer.h"

namespace tolvatest {

class ProgramFixture : public GuiFixture {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Starts the program: the "homepage" setting (empty: none), the phone
  // idiom or not, and a URL handed over at launch (empty: none). Answers
  // whether the launch went through and the main window is on screen.
  bool startProgram(const std::string& homepage, bool phone = false, const std::string& launchURL = {});

  tolva::VeskWebAppDelegate* delegate() const;
  tolva::VeskWebViewController* controller() const;
  // The page view of the tab on show.
  tolva::VeskWebView* page() const;
  kit::Window* mainWindow() const;
  // Waits until the page's title label reads `text`.
  bool waitForTitle(const std::string& text, double seconds = 20);
  // Prints the window's view tree when $TOLVA_DUMP_TREE is set.
  void dump() const;

  TestHTTPServer server_;

 private:
  std::unique_ptr<TempHome> home_;
  std::vector<kit::Ref<kit::Object>> mainObjects_;
};

}  // namespace tolvatest
