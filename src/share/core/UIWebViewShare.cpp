#include "share/core/UIWebViewShare.h"

namespace tolva::UIWebViewShare {

std::string pageTitle(kit::WebView* webView) {
  return webView ? webView->stringByEvaluatingJavaScriptFromString("document.title") : std::string();
}

}  // namespace tolva::UIWebViewShare
