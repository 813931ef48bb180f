#pragma once
// A view that shows web pages. This is an interface: the program makes its
// web views through WebView::create(), which the chosen backend's factory
// answers (the headless one by default, see HeadlessWebView).
//
// Script evaluation is synchronous and answers a string: "" when the script
// fails or yields nothing (undefined, null). The delegate (not owned) hears
// should-start for every load including programmatic ones (navigation types
// 0–5), then did-start, and did-finish or did-fail, once per frame.

#include <functional>
#include <string>
#include <vector>

#include "kit/foundation/Error.h"
#include "kit/net/URLRequest.h"
#include "kit/ui/Image.h"
#include "kit/ui/View.h"

namespace kit {

class ScrollView;
class WebView;

enum class WebViewNavigationType {
  LinkClicked = 0,
  FormSubmitted = 1,
  BackForward = 2,
  Reload = 3,
  FormResubmitted = 4,
  Other = 5,
};

class WebViewDelegate {
 public:
  virtual ~WebViewDelegate() = default;
  virtual bool webViewShouldStartLoadWithRequest(WebView& webView, URLRequest& request,
                                                 WebViewNavigationType navigationType) {
    (void)webView;
    (void)request;
    (void)navigationType;
    return true;
  }
  virtual void webViewDidStartLoad(WebView& webView) { (void)webView; }
  virtual void webViewDidFinishLoad(WebView& webView) { (void)webView; }
  virtual void webViewDidFailLoadWithError(WebView& webView, Error* error) {
    (void)webView;
    (void)error;
  }
};

class WebView : public View {
 public:
  // Error domains and codes a web view reports.
  static constexpr const char* kURLErrorDomain = "NSURLErrorDomain";
  static constexpr const char* kWebKitErrorDomain = "WebKitErrorDomain";
  static constexpr long kURLErrorCancelled = -999;
  static constexpr long kURLErrorUnsupportedURL = -1002;
  static constexpr long kURLErrorFileDoesNotExist = -1100;
  static constexpr long kWebKitErrorCannotShowURL = 101;
  static constexpr long kWebKitErrorFrameLoadInterrupted = 102;
  static constexpr long kWebKitErrorPlugInWillHandleLoad = 204;

  // Data detector bits.
  enum DataDetectorTypes : unsigned {
    DataDetectorNone = 0,
    DataDetectorPhoneNumber = 1,
    DataDetectorLink = 2,
    DataDetectorAddress = 4,
    DataDetectorCalendarEvent = 8,
    DataDetectorAll = 0xFFFFFFFFu,
  };

  using Factory = std::function<Ref<WebView>(Rect frame)>;
  // A web view of the installed backend.
  static Ref<WebView> create(Rect frame);
  // Installs the backend's factory (null: the headless web view).
  static void setFactory(Factory factory);

  explicit WebView(Rect frame);
  ~WebView() override;

  WebViewDelegate* delegate() const noexcept { return delegate_; }
  void setDelegate(WebViewDelegate* d) { delegate_ = d; }

  virtual void loadRequest(URLRequest* request) = 0;
  virtual void loadHTMLString(const std::string& html, URL* baseURL) = 0;
  virtual void stopLoading() = 0;
  virtual void reload() = 0;
  virtual void goBack() = 0;
  virtual void goForward() = 0;
  virtual bool canGoBack() const = 0;
  virtual bool canGoForward() const = 0;
  virtual bool isLoading() const = 0;
  // The request of the page shown or being loaded; null before any.
  virtual URLRequest* request() const = 0;
  virtual std::string stringByEvaluatingJavaScriptFromString(const std::string& script) = 0;
  // Runs a script whose answer nobody needs, without waiting for the page
  // where the backend can (by default it evaluates and drops the answer).
  virtual void evaluateJavaScriptWithoutWaiting(const std::string& script) {
    stringByEvaluatingJavaScriptFromString(script);
  }
  // The page's scroll view, when the backend offers one.
  virtual ScrollView* scrollView() const = 0;
  // A picture of what the view shows, at its bounds' size.
  virtual Ref<Image> snapshot();

  // The text size over the page's own (1 = as the page sets it); images and
  // layout keep their size where the backend can do that.
  virtual void setTextZoom(double factor) { textZoom_ = factor; }
  double textZoom() const noexcept { return textZoom_; }

  // ---- Printing
  // completed: the job went to the printer; error: why it did not (null when
  // the user just cancelled).
  using PrintCompletion = std::function<void(bool completed, Error* error)>;
  // Whether this view can print at all.
  virtual bool canPrint() const { return true; }
  // Prints the page through the system's print dialog (page ranges offered).
  // The base records the request (printRequests()) and completes nothing.
  virtual void print(PrintCompletion completion);
  int printRequests() const noexcept { return printRequests_; }

  // ---- Entries added to the menu of selected text
  struct SelectionMenuItem {
    std::string title;
    // Whether the entry is offered now (always when unset). Asked while the
    // menu opens: it must not evaluate scripts.
    std::function<bool()> isAvailable;
    std::function<void()> action;
  };
  // Replaces the added entries; they show after the system's own.
  void setSelectionMenuItems(std::vector<SelectionMenuItem> items) { selectionItems_ = std::move(items); }
  const std::vector<SelectionMenuItem>& selectionMenuItems() const noexcept { return selectionItems_; }

  bool scalesPageToFit() const noexcept { return scalesPageToFit_; }
  void setScalesPageToFit(bool s);
  unsigned dataDetectorTypes() const noexcept { return dataDetectors_; }
  void setDataDetectorTypes(unsigned d);

  std::string className() const override { return "WebView"; }

 private:
  WebViewDelegate* delegate_ = nullptr;
  std::vector<SelectionMenuItem> selectionItems_;
  int printRequests_ = 0;
  double textZoom_ = 1;
  bool scalesPageToFit_ = false;
  unsigned dataDetectors_ = DataDetectorPhoneNumber;
};

}  // namespace kit
