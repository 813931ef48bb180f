#include "kit/gtk/WebErrors.h"

#include <gio/gio.h>
#include <webkit2/webkit2.h>

#include "kit/foundation/Dictionary.h"
#include "kit/foundation/String.h"
#include "kit/foundation/URL.h"
#include "kit/ui/WebView.h"

namespace kit::gtk {

Ref<Error> WebErrors::make(const std::string& domain, long code, const std::string& description,
                           const std::string& failingURL) {
  auto info = MutableDictionary::dictionary();
  info->setObject(String::string(description), Error::kLocalizedDescriptionKey);
  if (!failingURL.empty()) {
    info->setObject(String::string(failingURL), kFailingURLStringKey);
    if (Ref<URL> url = URL::URLWithString(failingURL)) info->setObject(url, Error::kURLErrorKey);
  }
  return Error::errorWithDomain(domain, code, info);
}

Ref<Error> WebErrors::untrustedCertificate(const std::string& failingURL) {
  return make(WebView::kURLErrorDomain, kServerCertificateUntrusted,
              "The certificate for this server is invalid.", failingURL);
}

Ref<Error> WebErrors::fromGError(const GError* error, const std::string& failingURL) {
  const std::string message = error && error->message ? error->message : "The load failed.";
  if (!error) return make(WebView::kURLErrorDomain, kUnknown, message, failingURL);
  const int code = error->code;
  if (error->domain == WEBKIT_NETWORK_ERROR) {
    switch (code) {
      case WEBKIT_NETWORK_ERROR_CANCELLED:
        return make(WebView::kURLErrorDomain, WebView::kURLErrorCancelled, message, failingURL);
      case WEBKIT_NETWORK_ERROR_UNKNOWN_PROTOCOL:
        return make(WebView::kURLErrorDomain, WebView::kURLErrorUnsupportedURL, message, failingURL);
      case WEBKIT_NETWORK_ERROR_FILE_DOES_NOT_EXIST:
        return make(WebView::kURLErrorDomain, WebView::kURLErrorFileDoesNotExist, message, failingURL);
      case WEBKIT_NETWORK_ERROR_TRANSPORT:
        return make(WebView::kURLErrorDomain, kCannotConnectToHost, message, failingURL);
      default:
        return make(WebView::kURLErrorDomain, kUnknown, message, failingURL);
    }
  }
  // WebKit cannot show a URL of a scheme it has no loader for: an unsupported URL.
  if (error->domain == WEBKIT_POLICY_ERROR && code == WEBKIT_POLICY_ERROR_CANNOT_SHOW_URI)
    return make(WebView::kURLErrorDomain, WebView::kURLErrorUnsupportedURL, message, failingURL);
  if (error->domain == WEBKIT_POLICY_ERROR || error->domain == WEBKIT_PLUGIN_ERROR)
    return make(WebView::kWebKitErrorDomain, code, message, failingURL);
  if (error->domain == G_IO_ERROR) {
    switch (code) {
      case G_IO_ERROR_CANCELLED:
        return make(WebView::kURLErrorDomain, WebView::kURLErrorCancelled, message, failingURL);
      case G_IO_ERROR_TIMED_OUT:
        return make(WebView::kURLErrorDomain, kTimedOut, message, failingURL);
      case G_IO_ERROR_HOST_NOT_FOUND:
        return make(WebView::kURLErrorDomain, kCannotFindHost, message, failingURL);
      case G_IO_ERROR_CONNECTION_REFUSED:
      case G_IO_ERROR_HOST_UNREACHABLE:
        return make(WebView::kURLErrorDomain, kCannotConnectToHost, message, failingURL);
      case G_IO_ERROR_NETWORK_UNREACHABLE:
        return make(WebView::kURLErrorDomain, kNotConnectedToInternet, message, failingURL);
      default:
        return make(WebView::kURLErrorDomain, kUnknown, message, failingURL);
    }
  }
  if (error->domain == G_RESOLVER_ERROR)
    return make(WebView::kURLErrorDomain, kCannotFindHost, message, failingURL);
  if (error->domain == G_TLS_ERROR)
    return make(WebView::kURLErrorDomain, kSecureConnectionFailed, message, failingURL);
  return make(WebView::kURLErrorDomain, kUnknown, message, failingURL);
}

}  // namespace kit::gtk
