#include "kit/ui/HeadlessWebView.h"

#include "kit/ui/ScrollView.h"

namespace kit {

HeadlessWebView::HeadlessWebView(Rect frame, bool withScrollView) : WebView(frame) {
  if (withScrollView) {
    scrollView_ = Ref<ScrollView>(new ScrollView(bounds()));
    scrollView_->setAutoresizingMask(View::FlexibleWidth | View::FlexibleHeight);
    addSubview(scrollView_.get());
  }
}

HeadlessWebView::~HeadlessWebView() = default;

void HeadlessWebView::loadRequest(URLRequest* request) {
  if (!request) return;
  Ref<HeadlessWebView> keep(this);
  Ref<URLRequest> copy = cast<URLRequest>(request->copy());
  loads_.push_back(copy);
  if (askOnLoad_) {
    fireShouldStart(copy.get(), WebViewNavigationType::Other);
  } else {
    current_ = copy;
  }
}

void HeadlessWebView::loadHTMLString(const std::string& html, URL* baseURL) {
  html_.push_back(html);
  Ref<URL> base = baseURL ? Ref<URL>(baseURL) : URL::URLWithString("about:blank");
  Ref<URLRequest> r = URLRequest::requestWithURL(base);
  if (askOnLoad_) {
    fireShouldStart(r.get(), WebViewNavigationType::Other);
  } else {
    current_ = r;
  }
}

void HeadlessWebView::stopLoading() {
  ++stops_;
  loading_ = false;
}

void HeadlessWebView::reload() {
  ++reloads_;
  if (current_ && askOnLoad_) {
    Ref<URLRequest> r = current_;
    fireShouldStart(r.get(), WebViewNavigationType::Reload);
  }
}

void HeadlessWebView::goBack() { ++backs_; }

void HeadlessWebView::goForward() { ++forwards_; }

std::string HeadlessWebView::stringByEvaluatingJavaScriptFromString(const std::string& script) {
  scripts_.push_back(script);
  if (handler_) {
    if (auto answer = handler_(script)) return *answer;
  }
  if (auto it = exact_.find(script); it != exact_.end()) return it->second;
  const std::string* best = nullptr;
  size_t bestLength = 0;
  for (const auto& [prefix, answer] : prefixes_) {
    if (script.starts_with(prefix) && (!best || prefix.size() > bestLength)) {
      best = &answer;
      bestLength = prefix.size();
    }
  }
  return best ? *best : defaultAnswer_;
}

void HeadlessWebView::setScriptAnswer(const std::string& script, std::string answer) {
  exact_[script] = std::move(answer);
}

void HeadlessWebView::setScriptAnswerForPrefix(const std::string& prefix, std::string answer) {
  prefixes_[prefix] = std::move(answer);
}

size_t HeadlessWebView::evaluatedCount(const std::string& prefix) const {
  size_t n = 0;
  for (const auto& s : scripts_) n += s.starts_with(prefix) ? 1 : 0;
  return n;
}

bool HeadlessWebView::fireShouldStart(URLRequest* request, WebViewNavigationType type) {
  if (!request) return false;
  Ref<HeadlessWebView> keep(this);
  Ref<URLRequest> r(request);
  bool ok = delegate() ? delegate()->webViewShouldStartLoadWithRequest(*this, *r, type) : true;
  if (ok) current_ = r;
  return ok;
}

bool HeadlessWebView::fireShouldStart(const std::string& url, WebViewNavigationType type) {
  Ref<URL> u = URL::URLWithString(url);
  if (!u) u = URL::lenientURLWithString(url);
  if (!u) return false;
  Ref<URLRequest> r = URLRequest::requestWithURL(u);
  return fireShouldStart(r.get(), type);
}

void HeadlessWebView::fireDidStart() {
  Ref<HeadlessWebView> keep(this);
  loading_ = true;
  if (delegate()) delegate()->webViewDidStartLoad(*this);
}

void HeadlessWebView::fireDidFinish() {
  Ref<HeadlessWebView> keep(this);
  loading_ = false;
  if (delegate()) delegate()->webViewDidFinishLoad(*this);
}

void HeadlessWebView::fireDidFail(Error* error) {
  Ref<HeadlessWebView> keep(this);
  Ref<Error> held(error);
  loading_ = false;
  if (delegate()) delegate()->webViewDidFailLoadWithError(*this, held.get());
}

void HeadlessWebView::fireDidFail(const std::string& domain, long code) {
  Ref<Error> e = Error::errorWithDomain(domain, code);
  fireDidFail(e.get());
}

void HeadlessWebView::completeLoad() {
  fireDidStart();
  fireDidFinish();
}

void HeadlessWebView::print(PrintCompletion completion) {
  WebView::print(nullptr);
  printCompletion_ = std::move(completion);
}

void HeadlessWebView::finishPrint(bool completed, Error* error) {
  PrintCompletion done = std::move(printCompletion_);
  printCompletion_ = nullptr;
  if (done) done(completed, error);
}

}  // namespace kit
