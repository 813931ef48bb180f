#pragma once
// The program with its tab strip: pages built for the tab tests, real
// clicks on page elements and strip items, a start with tab restoring on,
// and a restart in the same $TOLVA_HOME (the program's objects ended the
// way a quit ends them, the settings read back from the file).

#include <gtk/gtk.h>

#include <cstdio>
#include <functional>
#include <string>

#include "ProgramFixture.h"
#include "kit/foundation/String.h"
#include "kit/foundation/UserDefaults.h"
#include "kit/gtk/WidgetTree.h"
#include "kit/ui/ActionSheet.h"
#include "kit/ui/AlertView.h"
#include "kit/ui/Label.h"
#include "kit/ui/Application.h"
#include "kit/ui/PopoverController.h"
#include "kit/ui/Responder.h"
#include "kit/ui/WebView.h"
#include "shell/VeskMultiTabView.h"
#include "shell/VeskTabItemView.h"
#include "share/core/ShareConfiguration.h"

namespace tolvatest {

class TabsFixture : public ProgramFixture {
 protected:
  static std::string html(const std::string& title, const std::string& body) {
    return "<html><head><meta charset='utf-8'><title>" + title +
           "</title></head><body style='font-family:sans-serif'>" + body + "</body></html>";
  }

  tolva::VeskMultiTabView* strip() const { return controller() ? controller()->multiTab() : nullptr; }

  // Where the element with that id is drawn, in the web view's coordinates.
  static bool elementCenter(kit::WebView* web, const std::string& id, kit::Point* at) {
    const std::string rect = web->stringByEvaluatingJavaScriptFromString(
        "(function(){var e=document.getElementById('" + id + "');if(!e)return '';"
        "e.scrollIntoView(false);var r=e.getBoundingClientRect();"
        "return Math.round(r.left+r.width/2)+','+Math.round(r.top+r.height/2);})()");
    int x = 0, y = 0;
    if (std::sscanf(rect.c_str(), "%d,%d", &x, &y) != 2) return false;
    *at = {double(x), double(y)};
    return true;
  }

  // A real click on an element of the page on show.
  void clickElement(const std::string& id) {
    kit::WebView* web = page() ? page()->existingWebView() : nullptr;
    ASSERT_NE(web, nullptr);
    kit::Point at;
    ASSERT_TRUE(elementCenter(web, id, &at)) << "no element " << id;
    settle();
    click(web, at);
  }

  // The dialog on screen for the sheet (a sheet's dialog bears its title).
  static GtkWidget* dialogFor(kit::ActionSheet* sheet) {
    for (GtkWidget* d : kit::gtk::WidgetTree::installed()->dialogs())
      if (const char* t = gtk_window_get_title(GTK_WINDOW(d)); t && sheet->title() == t) return d;
    return nullptr;
  }

  // The GTK button labelled `label` in the dialog showing `sheet`.
  static GtkWidget* dialogButton(kit::ActionSheet* sheet, const std::string& label) {
    GtkWidget* dialog = dialogFor(sheet);
    if (!dialog) return nullptr;
    GtkWidget* area = gtk_dialog_get_content_area(GTK_DIALOG(dialog));
    GList* children = gtk_container_get_children(GTK_CONTAINER(area));
    GtkWidget* found = nullptr;
    for (GList* c = children; c; c = c->next)
      if (GTK_IS_BUTTON(c->data) && gtk_button_get_label(GTK_BUTTON(c->data)) &&
          label == gtk_button_get_label(GTK_BUTTON(c->data)))
        found = GTK_WIDGET(c->data);
    g_list_free(children);
    return found;
  }

  // The GTK button labelled `label` in any dialog on screen (an alert's
  // buttons sit in a box of their own).
  static GtkWidget* buttonInDialogs(const std::string& label) {
    for (GtkWidget* d : kit::gtk::WidgetTree::installed()->dialogs())
      if (GtkWidget* found = buttonIn(gtk_dialog_get_content_area(GTK_DIALOG(d)), label)) return found;
    return nullptr;
  }
  static GtkWidget* buttonIn(GtkWidget* widget, const std::string& label) {
    if (GTK_IS_BUTTON(widget) && gtk_button_get_label(GTK_BUTTON(widget)) &&
        label == gtk_button_get_label(GTK_BUTTON(widget)))
      return widget;
    if (!GTK_IS_CONTAINER(widget)) return nullptr;
    GtkWidget* found = nullptr;
    GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
    for (GList* c = children; c && !found; c = c->next) found = buttonIn(GTK_WIDGET(c->data), label);
    g_list_free(children);
    return found;
  }

  // A real click on the middle of a view.
  static void clickMiddleOf(kit::View* view) {
    ASSERT_NE(view, nullptr);
    click(view, {view->bounds().width() / 2, view->bounds().height() / 2});
  }

  // A real click at a point of a view shown in a popover. GTK places the
  // popover itself, so the point on screen is found from its widget.
  static void clickInPopover(kit::View* view, kit::Point inView) {
    ASSERT_NE(view, nullptr);
    kit::PopoverView* panel = nullptr;
    for (kit::View* v = view; v && !panel; v = v->superview()) panel = dynamic_cast<kit::PopoverView*>(v);
    ASSERT_NE(panel, nullptr) << "not in a popover";
    settle();
    kit::gtk::WidgetTree* tree = kit::gtk::WidgetTree::installed();
    GtkWidget* box = tree->widgetFor(panel);
    ASSERT_TRUE(box && gtk_widget_get_realized(box));
    int px = 0, py = 0, wx = 0, wy = 0;
    gdk_window_get_origin(gtk_widget_get_window(box), &px, &py);
    GtkAllocation a;
    gtk_widget_get_allocation(box, &a);
    gdk_window_get_origin(gtk_widget_get_window(GTK_WIDGET(tree->toplevelFor(panel->window()))), &wx, &wy);
    const kit::Point local = view->convertPointToView(inView, panel);
    // pointerTo counts from the main window's origin.
    pointerTo(view, {px + a.x + local.x - wx, py + a.y + local.y - wy});
    pressButton(true);
    pressButton(false);
    settle();
  }

  // A real long press on the middle of a view, held until `done` holds.
  static bool longPressMiddleOf(kit::View* view, const std::function<bool()>& done) {
    const kit::Point p = view->convertPointToView({view->bounds().width() / 2, view->bounds().height() / 2}, nullptr);
    pointerTo(view, p);
    pressButton(true);
    const bool ok = waitUntil(done, 5);
    pressButton(false);
    settle();
    return ok;
  }

  bool waitForTabTitle(int index, const std::string& text, double seconds = 20) {
    return waitUntil(
        [&] {
          tolva::VeskWebView* p = strip() ? strip()->getViewAt(index) : nullptr;
          return p && p->title() && p->title()->text() == text;
        },
        seconds);
  }

  // Starts with tab restoring on and `homepage` as the home page: on a
  // fresh home the bundled welcome page and a home-page tab.
  bool startRestoring(const std::string& homepage) {
    kit::UserDefaults& d = kit::UserDefaults::standardUserDefaults();
    d.setObject(kit::String::string(homepage), "homepage");
    d.setBool(true, "opt_save_sessions");
    return startProgram({});
  }

  // Ends the running program as quitting does (open questions dismissed,
  // terminate, windows gone, settings written) and starts it again in the
  // same home, reading the settings back from the file.
  bool restartProgram() {
    for (auto& a : kit::AlertView::visibleAlerts()) a->dismissWithClickedButtonIndex(-1, false);
    for (auto& s : kit::ActionSheet::visibleSheets()) s->dismissWithClickedButtonIndex(-1, false);
    for (auto& p : kit::PopoverController::visiblePopovers()) p->dismissPopoverAnimated(false);
    if (auto* fr = dynamic_cast<kit::View*>(kit::Responder::firstResponder())) fr->endEditing(true);
    kit::Application* app = kit::Application::sharedApplication();
    app->terminate();
    for (auto& w : kit::Window::allWindows())
      if (w.get() != kit::Window::alertWindow()) w->setHidden(true);
    settle();
    kit::UserDefaults::standardUserDefaults().synchronize();
    kit::UserDefaults::discardStandardUserDefaultsForTesting();
    app->reset();
    // A new process would configure sharing afresh.
    tolva::ShareConfiguration::resetForTesting();
    // Loading the interface again lets go of the first run's objects.
    return startProgram({});
  }
};

}  // namespace tolvatest
