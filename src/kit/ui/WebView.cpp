#include "kit/ui/WebView.h"

#include "kit/ui/HeadlessWebView.h"
#include "kit/ui/ViewRenderer.h"

namespace kit {
namespace {

WebView::Factory& factory() {
  static auto* f = new WebView::Factory();
  return *f;
}

}  // namespace

Ref<WebView> WebView::create(Rect frame) {
  if (factory()) {
    if (Ref<WebView> w = factory()(frame)) return w;
  }
  return Ref<WebView>(new HeadlessWebView(frame));
}

void WebView::setFactory(Factory f) { factory() = std::move(f); }

WebView::WebView(Rect frame) : View(frame) {}

WebView::~WebView() = default;

Ref<Image> WebView::snapshot() { return ViewRenderer::renderView(*this); }

void WebView::print(PrintCompletion) { ++printRequests_; }

void WebView::setScalesPageToFit(bool s) {
  if (s == scalesPageToFit_) return;
  scalesPageToFit_ = s;
  notify(ViewChange::Content);
}

void WebView::setDataDetectorTypes(unsigned d) {
  if (d == dataDetectors_) return;
  dataDetectors_ = d;
  notify(ViewChange::Content);
}

}  // namespace kit
