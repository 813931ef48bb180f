#pragma once
// kit's web view on WebKitGTK.
//
// - Every navigation WebKit decides on asks the delegate's should-start with
//   WebKit's navigation type (the same numbering, 0-5); a request for a new
//   window is asked about the same way and, when allowed, loaded here. A
//   response WebKit cannot show is refused, which fails the load with
//   WebKitErrorDomain 102 (the program then offers it as a download).
// - load-changed / load-failed become did-start, did-finish and did-fail
//   (WebErrors gives the codes). WebKit's own error page is not shown.
// - Script evaluation is synchronous: it spins a nested main-context loop
//   until WebKit answers or kScriptTimeout passes, with kit's run loop held
//   back meanwhile (MainContextHost::Suspension); an evaluation started while
//   another one waits answers "" at once.
// - The user agent is the standard user defaults' "UserAgent" (read for
//   every load, and taken at once when it changes, so open pages' later
//   requests carry it too), else a request's own User-Agent header, else
//   WebKit's.
// - Certificates are always checked: a TLS error fails the load (-1202).
// - The scroll view, made when first asked for, mirrors the page's scroll
//   position and size (PageScrollView).
// - The menu of a right click: on a link or an image (and no selection) it is
//   the view's long press at that point, as a held finger would give; on
//   selected text WebKit's menu gets the view's selection entries after its
//   own; elsewhere WebKit's menu is left as it is.
// - The text size is WebKit's zoom of text only (scripts cannot size text
//   on a desktop the way a phone's text-size adjustment does).
// - print() runs WebKit's print operation with the GTK print dialog.
// - The requests a page makes itself go through the content-filter
//   extension ("webextensions" beside the program), which refuses those
//   WebContentFilter's list matches and reports each refusal back.
// Cookies, caches and local storage live under kit's data and cache roots.

#include <gtk/gtk.h>

#include <memory>

#include "kit/foundation/NotificationCenter.h"
#include "kit/ui/WebView.h"

typedef struct _WebKitWebView WebKitWebView;
typedef struct _WebKitWebContext WebKitWebContext;
typedef struct _WebKitUserStyleSheet WebKitUserStyleSheet;

namespace kit::gtk {

class PageScrollView;

class WebKitView : public WebView {
 public:
  static constexpr double kScriptTimeout = 5;

  explicit WebKitView(Rect frame = {});
  ~WebKitView() override;

  // Makes WebView::create() answer WebKit views.
  static void installFactory();
  // The context every web view shares (made on first use).
  static WebKitWebContext* sharedContext();
  // Where the content-filter extension is (default: "webextensions" beside
  // the program); takes effect when the shared context is made.
  static void setWebExtensionsDirectory(std::string folder);

  // The WebKit widget (owned by this view).
  GtkWidget* webWidget() const;

  // ---- WebView
  void loadRequest(URLRequest* request) override;
  void loadHTMLString(const std::string& html, URL* baseURL) override;
  void stopLoading() override;
  void reload() override;
  void goBack() override;
  void goForward() override;
  bool canGoBack() const override;
  bool canGoForward() const override;
  bool isLoading() const override { return loading_; }
  URLRequest* request() const override { return current_.get(); }
  std::string stringByEvaluatingJavaScriptFromString(const std::string& script) override;
  void evaluateJavaScriptWithoutWaiting(const std::string& script) override { evaluateAsync(script, nullptr); }
  ScrollView* scrollView() const override;
  Ref<Image> snapshot() override;
  void print(PrintCompletion completion) override;
  // WebKit's text-only zoom: the desktop's text size.
  void setTextZoom(double factor) override;

  // Runs `script` without waiting; `done` (optional) gets its string answer.
  void evaluateAsync(const std::string& script, std::function<void(const std::string&)> done);

  std::string className() const override { return "WebKitView"; }

 private:
  struct Signals;
  friend struct Signals;
  friend class PageScrollView;

  void applyUserAgent(URLRequest* request);
  void refreshPageMetrics();
  // A transparent band of `height` points over the start of every document.
  void setTopBand(double height);

  WebKitWebView* web_ = nullptr;
  NotificationCenter::Token defaultsObserver_;
  Ref<URLRequest> current_;
  std::string preapprovedURL_;
  mutable Ref<PageScrollView> scroll_;
  bool loading_ = false;
  bool failed_ = false;
  guint metricsTimer_ = 0;
  double topBand_ = 0;
  WebKitUserStyleSheet* bandSheet_ = nullptr;
  // Outstanding callbacks check this before touching the view.
  std::shared_ptr<bool> alive_;
};

}  // namespace kit::gtk
