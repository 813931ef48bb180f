#pragma once
// The title of the page a web view shows.

#include <string>

#include "kit/ui/WebView.h"

namespace tolva::UIWebViewShare {

std::string pageTitle(kit::WebView* webView);

}  // namespace tolva::UIWebViewShare
