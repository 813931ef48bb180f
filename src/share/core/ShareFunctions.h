#pragma once
// Plain functions of the sharing kit: the localised messages every kit text
// goes through, form-body and URL percent-encoding, markup escaping and an HTML
// flattener.

#include <initializer_list>
#include <string>
#include <string_view>

#include "kit/foundation/URL.h"

namespace tolva {

// The main bundle's text for `key` (the key itself when the table lacks it)
// with each "%@" replaced by the next argument ("%%" is a percent sign). The
// text is never used as a format: a placeholder without an argument and
// other '%' sequences stay as they are.
std::string ShareLocalizedFormat(std::string_view key, std::initializer_list<std::string_view> args = {});

// Text for a form body: "&amp;" read as "&", then escaped with '&', '+',
// '#', '!' and '@' escaped as well. Null-safe callers pass "" for none.
std::string SharePercentEncodeText(std::string_view text);
// A URL's absolute string with every reserved character escaped as well;
// "" for none.
std::string SharePercentEncodeURL(const kit::URL* url);
// Text safe inside markup: '&', '<', '>' and '"' as their entities, the
// apostrophe as `apostrophe` (mail's HTML takes "&#39;", a note's XML "&apos;").
std::string ShareEscapeMarkup(std::string_view text, std::string_view apostrophe);
// Every tag becomes one blank; newlines go unless kept; the ends are trimmed.
std::string ShareStripHTML(std::string_view html, bool keepLineBreaks);

}  // namespace tolva
