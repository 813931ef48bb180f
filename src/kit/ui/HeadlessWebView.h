#pragma once
// The web view tests drive. It loads nothing: it records what it is asked to
// do and answers scripts from a table, and the test plays the page's part by
// firing the delegate calls.
//
// loadRequest() records the request and asks the delegate should-start
// (navigation type Other) unless that is turned off; an allowed request
// becomes the current request(). reload() asks again with type Reload.
// fireDidStart() marks it loading, fireDidFinish()/fireDidFail() not.
//
// Script answers, first match wins: the handler (when it answers), the
// answer for the exact text, the answer of the longest matching prefix, the
// default answer ("" unless set). Every evaluated script is recorded.

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "kit/ui/WebView.h"

namespace kit {

class HeadlessWebView : public WebView {
 public:
  using ScriptHandler = std::function<std::optional<std::string>(const std::string& script)>;

  explicit HeadlessWebView(Rect frame = {}, bool withScrollView = true);
  ~HeadlessWebView() override;

  // ---- WebView
  void loadRequest(URLRequest* request) override;
  void loadHTMLString(const std::string& html, URL* baseURL) override;
  void stopLoading() override;
  void reload() override;
  void goBack() override;
  void goForward() override;
  bool canGoBack() const override { return canGoBack_; }
  bool canGoForward() const override { return canGoForward_; }
  bool isLoading() const override { return loading_; }
  URLRequest* request() const override { return current_.get(); }
  std::string stringByEvaluatingJavaScriptFromString(const std::string& script) override;
  ScrollView* scrollView() const override { return scrollView_.get(); }
  bool canPrint() const override { return canPrint_; }
  // Recorded; the test ends the job with finishPrint().
  void print(PrintCompletion completion) override;

  // ---- Printing
  void setCanPrint(bool can) { canPrint_ = can; }
  // Answers the last print request (once).
  void finishPrint(bool completed, Error* error);

  // ---- Scripts
  void setScriptAnswer(const std::string& script, std::string answer);
  void setScriptAnswerForPrefix(const std::string& prefix, std::string answer);
  void setDefaultScriptAnswer(std::string answer) { defaultAnswer_ = std::move(answer); }
  void setScriptHandler(ScriptHandler h) { handler_ = std::move(h); }
  const std::vector<std::string>& evaluatedScripts() const noexcept { return scripts_; }
  // How many evaluated scripts start with `prefix`.
  size_t evaluatedCount(const std::string& prefix) const;
  void clearEvaluatedScripts() { scripts_.clear(); }

  // ---- Loads
  const std::vector<Ref<URLRequest>>& loadedRequests() const noexcept { return loads_; }
  URLRequest* lastLoadedRequest() const { return loads_.empty() ? nullptr : loads_.back().get(); }
  const std::vector<std::string>& loadedHTML() const noexcept { return html_; }
  void clearLoads() { loads_.clear(); }
  void setAsksShouldStartOnLoad(bool ask) { askOnLoad_ = ask; }
  void setCurrentRequest(Ref<URLRequest> r) { current_ = std::move(r); }

  // ---- The page's side
  // Asks the delegate; an allowed request becomes the current one. No delegate: allowed.
  bool fireShouldStart(URLRequest* request, WebViewNavigationType type);
  bool fireShouldStart(const std::string& url, WebViewNavigationType type);
  void fireDidStart();
  void fireDidFinish();
  void fireDidFail(Error* error);
  void fireDidFail(const std::string& domain, long code);
  // fireDidStart + fireDidFinish.
  void completeLoad();

  // ---- History and counters
  void setCanGoBack(bool b) { canGoBack_ = b; }
  void setCanGoForward(bool b) { canGoForward_ = b; }
  void setLoading(bool l) { loading_ = l; }
  int goBackCount() const noexcept { return backs_; }
  int goForwardCount() const noexcept { return forwards_; }
  int reloadCount() const noexcept { return reloads_; }
  int stopCount() const noexcept { return stops_; }

  std::string className() const override { return "HeadlessWebView"; }

 private:
  Ref<ScrollView> scrollView_;
  Ref<URLRequest> current_;
  std::vector<Ref<URLRequest>> loads_;
  std::vector<std::string> html_;
  std::vector<std::string> scripts_;
  std::map<std::string, std::string> exact_;
  std::map<std::string, std::string> prefixes_;
  std::string defaultAnswer_;
  ScriptHandler handler_;
  PrintCompletion printCompletion_;
  bool canPrint_ = true;
  bool askOnLoad_ = true;
  bool canGoBack_ = false;
  bool canGoForward_ = false;
  bool loading_ = false;
  int backs_ = 0;
  int forwards_ = 0;
  int reloads_ = 0;
  int stops_ = 0;
};

}  // namespace kit
