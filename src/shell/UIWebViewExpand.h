#pragma once
// The page calls made through script evaluation in a web view. Only the
// calls the page view needs so far; find in page and the page metrics
// follow with the features that use them.

#include <string>

#include "kit/ui/WebView.h"

namespace tolva::UIWebViewExpand {

// The document title, or the localised "Untitled" when it is empty.
std::string getTitle(kit::WebView& webView);
// The absolute URL of the web view's current request ("" without one).
std::string getLocation(kit::WebView& webView);
// Whether the context script is in the page already.
bool isInjected(kit::WebView& webView);
// Sets the text size of the page's body, in percent.
void applyFontSize(kit::WebView& webView, unsigned percent);
// The element with that id gets the value, else every element with that name.
void setValue(kit::WebView& webView, const std::string& value, const std::string& idOrName);

}  // namespace tolva::UIWebViewExpand
