#pragma once
// WebKitGTK's load errors in the error domains and codes the web view
// interface reports: a cancelled load NSURLErrorDomain -999, an unsupported
// scheme (WebKit's "cannot show URI") -1002, a missing file -1100, network failures their URL error codes;
// policy (100-103) and plug-in (200-299) errors keep their codes under
// WebKitErrorDomain, where they already match.

#include <glib.h>

#include <string>

#include "kit/foundation/Error.h"

namespace kit::gtk {

class WebErrors {
 public:
  static constexpr long kTimedOut = -1001;
  static constexpr long kCannotFindHost = -1003;
  static constexpr long kCannotConnectToHost = -1004;
  static constexpr long kNotConnectedToInternet = -1009;
  static constexpr long kSecureConnectionFailed = -1200;
  static constexpr long kServerCertificateUntrusted = -1202;
  static constexpr long kUnknown = -1;
  static constexpr const char* kFailingURLStringKey = "NSErrorFailingURLStringKey";

  // `error` may be null (an unknown failure).
  static Ref<Error> fromGError(const GError* error, const std::string& failingURL);
  static Ref<Error> make(const std::string& domain, long code, const std::string& description,
                         const std::string& failingURL);
  // A certificate WebKit would not trust.
  static Ref<Error> untrustedCertificate(const std::string& failingURL);
};

}  // namespace kit::gtk
