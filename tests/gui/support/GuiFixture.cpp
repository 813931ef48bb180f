#include "support/GuiFixture.h"

#include "kit/ui/TextField.h"

#include <gdk/gdk.h>
#include <gdk/gdkkeysyms.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#include <X11/extensions/XTest.h>

#include <cmath>
#include <cstdlib>

#include "kit/foundation/RunLoop.h"
#include "kit/gtk/Backend.h"
#include "kit/gtk/WidgetTree.h"
#include "kit/ui/Application.h"

namespace tolvatest {
namespace {

GdkWindow* gdkWindowOf(kit::View* view) {
  kit::gtk::WidgetTree* tree = kit::gtk::WidgetTree::installed();
  kit::Window* w = view ? view->window() : nullptr;
  GtkWindow* top = tree && w ? tree->toplevelFor(w) : nullptr;
  return top ? gtk_widget_get_window(GTK_WIDGET(top)) : nullptr;
}

}  // namespace

void GuiFixture::SetUpTestSuite() {
  ASSERT_TRUE(kit::gtk::Backend::install(nullptr, nullptr, "Tolva")) << "no display (run under xvfb-run -a)";
}

void GuiFixture::SetUp() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  watchdog_ = std::make_unique<Watchdog>(std::string(info->test_suite_name()) + "." + info->name(),
                                         std::chrono::seconds(watchdogSeconds_));
}

void GuiFixture::TearDown() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  saveScreenshot(std::string(info->test_suite_name()) + "." + info->name());
  shot_ = nullptr;
  watchdog_.reset();
}

bool GuiFixture::waitUntil(const std::function<bool()>& predicate, double seconds) {
  return kit::RunLoop::main().runUntil(predicate, seconds);
}

void GuiFixture::settle() {
  kit::gtk::Backend::flush();
  kit::RunLoop::main().runUntil(nullptr, 0.05);
  kit::gtk::Backend::flush();
}

void GuiFixture::saveScreenshot(const std::string& name) {
  const char* dir = std::getenv("TOLVA_ARTIFACTS");
  if (!dir || !*dir) return;
  kit::Window* w = shot_ ? shot_.get() : kit::Application::sharedApplication()->keyWindow();
  if (!w) return;
  settle();
  kit::gtk::Backend::writeScreenshot(w, std::string(dir) + "/" + name + ".png");
}

// Input goes through the X server's test extension, so it arrives as a
// user's would: to whatever window is under the pointer, with GTK's grabs.
void GuiFixture::click(kit::View* view, kit::Point inView) {
  const kit::Point p = view->convertPointToView(inView, nullptr);
  pointerTo(view, p);
  pressButton(true);
  pressButton(false);
  settle();
}

void GuiFixture::rightClick(kit::View* view, kit::Point inView) {
  pointerTo(view, view->convertPointToView(inView, nullptr));
  pressButton(true, 3);
  pressButton(false, 3);
  settle();
}

void GuiFixture::pointerTo(kit::View* anyViewInWindow, kit::Point inWindow) {
  GdkWindow* gw = gdkWindowOf(anyViewInWindow);
  ASSERT_NE(gw, nullptr);
  int ox = 0, oy = 0;
  gdk_window_get_origin(gw, &ox, &oy);
  Display* d = GDK_DISPLAY_XDISPLAY(gdk_display_get_default());
  XTestFakeMotionEvent(d, -1, ox + static_cast<int>(std::lround(inWindow.x)), oy + static_cast<int>(std::lround(inWindow.y)),
                       CurrentTime);
  XFlush(d);
  settle();
}

void GuiFixture::pressButton(bool down, unsigned button) {
  Display* d = GDK_DISPLAY_XDISPLAY(gdk_display_get_default());
  XTestFakeButtonEvent(d, button, down ? True : False, CurrentTime);
  XFlush(d);
  settle();
}

void GuiFixture::pressKey(kit::View* anyViewInWindow, unsigned keyval) {
  (void)anyViewInWindow;
  Display* d = GDK_DISPLAY_XDISPLAY(gdk_display_get_default());
  GdkKeymapKey* keys = nullptr;
  gint n = 0;
  if (!gdk_keymap_get_entries_for_keyval(gdk_keymap_get_for_display(gdk_display_get_default()), keyval, &keys, &n) ||
      n == 0) {
    ADD_FAILURE() << "no key for keyval " << keyval;
    return;
  }
  const unsigned keycode = keys[0].keycode;
  const bool shift = keys[0].level == 1;
  g_free(keys);
  const KeyCode shiftCode = XKeysymToKeycode(d, XK_Shift_L);
  if (shift) XTestFakeKeyEvent(d, shiftCode, True, CurrentTime);
  XTestFakeKeyEvent(d, keycode, True, CurrentTime);
  XTestFakeKeyEvent(d, keycode, False, CurrentTime);
  if (shift) XTestFakeKeyEvent(d, shiftCode, False, CurrentTime);
  XSync(d, False);
  settle();
}

void GuiFixture::typeKeys(kit::View* anyViewInWindow, const std::string& text) {
  // Into a text field, each key waits until the field has taken it, so a
  // shifted key that the input method handles late cannot land out of order.
  auto* field = dynamic_cast<kit::TextField*>(anyViewInWindow);
  // The X server takes a fresh modifier late on its first use: press Shift
  // once on its own before any shifted key.
  Display* d = GDK_DISPLAY_XDISPLAY(gdk_display_get_default());
  const KeyCode shiftCode = XKeysymToKeycode(d, XK_Shift_L);
  XTestFakeKeyEvent(d, shiftCode, True, CurrentTime);
  XTestFakeKeyEvent(d, shiftCode, False, CurrentTime);
  XSync(d, False);
  settle();
  for (const char* c = text.c_str(); *c; c = g_utf8_next_char(c)) {
    const std::string before = field ? field->text() : std::string();
    pressKey(anyViewInWindow, gdk_unicode_to_keyval(g_utf8_get_char(c)));
    if (field) waitUntil([&] { return field->text() != before; }, 2);
  }
  settle();
}

}  // namespace tolvatest
