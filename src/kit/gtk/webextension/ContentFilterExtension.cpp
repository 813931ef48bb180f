// The web-process extension that refuses the requests a page makes itself
// (images, scripts, frames, fetches) whose URL the browser's blocked-pattern
// list matches. The list comes with the process's start (the initialization
// data) and again after every change (a "tolva-blocked-patterns" message);
// each refusal goes back to the page's view as a "tolva-blocked" message
// carrying the URL.
//
// Built as a shared library of its own, without the sanitizers: it runs
// inside WebKit's web process, which is not instrumented.

#include <webkit2/webkit-web-extension.h>

#include <memory>
#include <string>
#include <vector>

#include "kit/foundation/WildcardPatternSet.h"

namespace {

constexpr const char* kPatternsMessage = "tolva-blocked-patterns";
constexpr const char* kBlockedMessage = "tolva-blocked";

// The web process runs its pages and this extension on one thread.
std::unique_ptr<kit::WildcardPatternSet> gPatterns;

void takePatterns(GVariant* list) {
  std::vector<std::string> patterns;
  if (list && g_variant_is_of_type(list, G_VARIANT_TYPE_STRING_ARRAY)) {
    GVariantIter iter;
    const char* pattern;
    g_variant_iter_init(&iter, list);
    while (g_variant_iter_next(&iter, "&s", &pattern)) patterns.emplace_back(pattern);
  }
  gPatterns = patterns.empty() ? nullptr : std::make_unique<kit::WildcardPatternSet>(std::move(patterns));
}

gboolean sendRequest(WebKitWebPage* page, WebKitURIRequest* request, WebKitURIResponse*, gpointer) {
  const char* uri = webkit_uri_request_get_uri(request);
  if (!uri || !gPatterns || !gPatterns->anyMatch(uri)) return FALSE;
  webkit_web_page_send_message_to_view(page, webkit_user_message_new(kBlockedMessage, g_variant_new_string(uri)),
                                       nullptr, nullptr, nullptr);
  return TRUE;  // refused: the request is never sent
}

void pageCreated(WebKitWebExtension*, WebKitWebPage* page, gpointer) {
  g_signal_connect(page, "send-request", G_CALLBACK(sendRequest), nullptr);
}

gboolean messageReceived(WebKitWebExtension*, WebKitUserMessage* message, gpointer) {
  if (g_strcmp0(webkit_user_message_get_name(message), kPatternsMessage) != 0) return FALSE;
  takePatterns(webkit_user_message_get_parameters(message));
  return TRUE;
}

}  // namespace

extern "C" G_MODULE_EXPORT void webkit_web_extension_initialize_with_user_data(WebKitWebExtension* extension,
                                                                                const GVariant* data) {
  takePatterns(const_cast<GVariant*>(data));
  g_signal_connect(extension, "page-created", G_CALLBACK(pageCreated), nullptr);
  g_signal_connect(extension, "user-message-received", G_CALLBACK(messageReceived), nullptr);
}
