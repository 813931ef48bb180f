// Start-up cost of restoring saved tabs: the main screen is built 20 times
// from its interface file over 100 saved tabs, headless, and the time each
// build takes (the tab strip's restore is nearly all of it) is measured.
// Restoring builds no web view at all: the shown tab makes its own once the
// start has settled, the others when first shown.
//
// Prints one line per run, then as its last line:
//   restore_100_ms=<median of 20 runs>
// Target: at most 10.

#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "kit/foundation/Bundle.h"
#include "kit/foundation/ClassRegistry.h"
#include "kit/foundation/Dictionary.h"
#include "kit/foundation/Number.h"
#include "kit/foundation/Paths.h"
#include "kit/foundation/RunLoop.h"
#include "kit/foundation/String.h"
#include "kit/foundation/UserDefaults.h"
#include "kit/ui/Device.h"
#include "shell/ShellRegistration.h"
#include "shell/TabState.h"
#include "shell/VeskMultiTabView.h"
#include "shell/VeskWebView.h"
#include "shell/VeskWebViewController.h"

namespace {

constexpr int kTabs = 100;
constexpr int kRuns = 20;

void saveTabs() {
  kit::UserDefaults& defaults = kit::UserDefaults::standardUserDefaults();
  for (int i = 0; i < kTabs; ++i) {
    kit::Ref<kit::Dictionary> state(new kit::Dictionary(
        {{tolva::TabState::kLocation, kit::str("http://site" + std::to_string(i) + ".test/page")},
         {tolva::TabState::kPrivate, kit::boolean(i % 7 == 0)},
         {tolva::TabState::kTextFontSize, kit::num(100 + i % 3 * 10)},
         {tolva::TabState::kTitle, kit::str("Saved page " + std::to_string(i))}}));
    defaults.setDictionary(state.get(), tolva::TabState::key(i));
  }
  defaults.setInteger(kTabs, tolva::TabState::kTabs);
  defaults.setInteger(kTabs / 2, tolva::TabState::kCurSel);
  defaults.synchronize();
}

}  // namespace

int main() {
  char home[] = "/tmp/tolva-tab-bench-XXXXXX";
  if (!::mkdtemp(home)) {
    std::perror("mkdtemp");
    return 1;
  }
  ::setenv("TOLVA_HOME", home, 1);
  kit::Paths::reset();
  kit::Bundle::setMainBundlePath(TOLVA_RESOURCES_DIR);
  kit::Device::currentDevice().setUserInterfaceIdiom(kit::UserInterfaceIdiom::Pad);
  tolva::registerShellInterfaceFiles();
  tolva::registerShellClasses(kit::ClassRegistry::shared());
  saveTabs();

  std::vector<double> times;
  int failures = 0;
  for (int run = 0; run < kRuns; ++run) {
    auto t0 = std::chrono::steady_clock::now();
    kit::Ref<tolva::VeskWebViewController> screen(new tolva::VeskWebViewController("VeskWebViewController"));
    screen->view();
    auto t1 = std::chrono::steady_clock::now();
    double ms = std::chrono::duration<double, std::milli>(t1 - t0).count();
    times.push_back(ms);

    tolva::VeskMultiTabView* strip = screen->multiTab();
    int webViews = 0;
    for (auto& page : strip->tabs()) webViews += page->existingWebView() ? 1 : 0;
    bool ok = strip->tabCount() == kTabs && strip->curSel() == kTabs / 2 && webViews == 0;
    failures += ok ? 0 : 1;
    std::printf("run=%d ms=%.3f tabs=%d selected=%d web_views=%d%s\n", run, ms, strip->tabCount(), strip->curSel(),
                webViews, ok ? "" : " UNEXPECTED");
    screen = nullptr;
    kit::RunLoop::main().drain();
  }

  std::filesystem::remove_all(home);
  std::sort(times.begin(), times.end());
  double median = (times[kRuns / 2 - 1] + times[kRuns / 2]) / 2;
  if (failures) std::printf("unexpected_runs=%d\n", failures);
  std::printf("restore_100_ms=%.3f\n", median);
  return failures ? 1 : 0;
}
