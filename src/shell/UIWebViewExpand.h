#pragma once
// The page view's calls into the page, all made by evaluating script text
// in the web view and reading back the string answer ("" when the script
// fails or yields nothing): page metrics, title and location, find in page
// with highlighting, text size, form filling and the selected text.
//
// Find in page relies on the bundle script "search.js", put into the page
// the first time it is needed. Every text that goes into a script (an id,
// a name, a value, a search text) goes in as a script string literal, so
// no page text can end the string and run as code. Main thread only.

#include <string>
#include <string_view>

#include "kit/ui/Geometry.h"
#include "kit/ui/WebView.h"

namespace tolva::UIWebViewExpand {

// The element with that id gets the value, else every element with that
// name. The value reaches the page exactly, non-ASCII letters included.
void setValue(kit::WebView& webView, const std::string& value, const std::string& idOrName);

// ---- Page metrics (integers in the page's CSS pixels)
kit::Size windowSize(kit::WebView& webView);
kit::Point scrollOffset(kit::WebView& webView);
// Whether the document is wider or taller than the window.
bool isScrollable(kit::WebView& webView);

// ---- Title and location
// Line breaks and tabs become spaces, other controls are dropped, ill-formed
// UTF-8 and non-characters become U+FFFD; the text ends at a whole character
// within kMaxTitleBytes, since a page's title goes into the tab state and the
// history, and a page could otherwise fill the settings file.
inline constexpr size_t kMaxTitleBytes = 2048;
std::string cleanTitle(std::string_view raw);
// Whether the context script is in the page already.
bool isInjected(kit::WebView& webView);
// The document title cleaned (see cleanTitle), or the localised "Untitled"
// when that is empty.
std::string getTitle(kit::WebView& webView);
// The absolute URL of the web view's current request ("" without one).
std::string getLocation(kit::WebView& webView);

// ---- Find in page
// Whether the search script is in the page already.
bool isSearchInjected(kit::WebView& webView);
// The number of matches of `text` in the page; 0 for an empty text, without touching the page.
int numberOfOccurencesOfString(kit::WebView& webView, const std::string& text);
// The number of matches highlighted now.
int numberOfHighlightedOfString(kit::WebView& webView);
// Highlights every match of `text` and answers how many there are.
int highlightAllOccurencesOfString(kit::WebView& webView, const std::string& text);
void removeAllHighlights(kit::WebView& webView);

// ---- Text size, scrolling and selection
// Sets the text size of the page's body, in percent.
void applyFontSize(kit::WebView& webView, unsigned percent);
// Hands a scroll by (x, y) to the page's own scrolling element, without waiting for the page.
void findScrollElementAndScroll(kit::WebView& webView, kit::Point point);
std::string getSelectedText(kit::WebView& webView);

// ---- Helpers
// `text` as a single-quoted script string literal that evaluates back to
// exactly that text: quotes, backslashes, controls and line terminators
// (U+2028/U+2029 too) escaped, "<" escaped so the literal never closes a
// script element, every non-ASCII character as \uXXXX (surrogate pairs
// above U+FFFF). The literal itself is pure ASCII. Bytes that are not
// UTF-8 become U+FFFD.
std::string scriptStringLiteral(std::string_view text);
// `text` in the escape form the page's unescape() turns back into exactly
// that text: %XX below U+0100, %uXXXX above (UTF-16 units); letters,
// digits and @*_+-./ stay as they are.
std::string escapeForUnescape(std::string_view text);

}  // namespace tolva::UIWebViewExpand
