#pragma once
// Errors of the URL loading system (URLConnection, sendSynchronousRequest): kit::Error objects in
// the platform's domain "NSURLErrorDomain" with the platform's codes, so that callers comparing
// codes (-999 for a cancelled load, -1002 for an unsupported URL, ...) behave as they expect.
//
// userInfo: Error::kLocalizedDescriptionKey (a readable text), Error::kURLErrorKey (the URL that
// failed, a URL object), kFailingURLStringKey (its absolute string) and, where a lower layer
// failed, Error::kUnderlyingErrorKey (a "kit.net" or POSIX error).

#include <string>

#include "kit/foundation/Error.h"
#include "kit/foundation/URL.h"

namespace kit {

class URLError {
 public:
  static constexpr const char* kDomain = "NSURLErrorDomain";
  static constexpr const char* kFailingURLStringKey = "NSErrorFailingURLStringKey";

  enum Code : long {
    kUnknown = -1,
    kCancelled = -999,                    // cancel(), or a challenge's connection went away
    kBadURL = -1000,                      // no URL, a URL without host, a malformed data: URL
    kTimedOut = -1001,                    // nothing moved for the request's time-out interval
    kUnsupportedURL = -1002,              // a scheme other than http, https, file and data
    kCannotFindHost = -1003,              // the host name did not resolve
    kCannotConnectToHost = -1004,         // refused or unreachable
    kNetworkConnectionLost = -1005,       // the connection broke during the exchange
    kDNSLookupFailed = -1006,
    kHTTPTooManyRedirects = -1007,        // more than URLConnection::kMaximumRedirects
    kResourceUnavailable = -1008,         // cache-only request without a cached response
    kNotConnectedToInternet = -1009,
    kRedirectToNonExistentLocation = -1010,
    kBadServerResponse = -1011,           // the response broke HTTP
    kUserCancelledAuthentication = -1012, // the delegate cancelled an authentication challenge
    kUserAuthenticationRequired = -1013,
    kZeroByteResource = -1014,
    kCannotDecodeRawData = -1015,
    kCannotDecodeContentData = -1016,     // a gzip or deflate body that does not inflate
    kCannotParseResponse = -1017,
    kRequestBodyStreamExhausted = -1021,  // the request body could not be sent whole
    kFileDoesNotExist = -1100,            // file: URL
    kFileIsDirectory = -1101,             // file: URL naming a folder
    kNoPermissionsToReadFile = -1102,     // file: URL that cannot be read
    kDataLengthExceedsMaximum = -1103,
    kSecureConnectionFailed = -1200,      // the TLS handshake failed
    kServerCertificateHasBadDate = -1201, // expired
    kServerCertificateUntrusted = -1202,  // signed by nobody trusted, or for another host
    kServerCertificateHasUnknownRoot = -1203,
    kServerCertificateNotYetValid = -1204,
    kClientCertificateRejected = -1205,
    kClientCertificateRequired = -1206,
    kCannotLoadFromNetwork = -2000,
  };

  // An error of this domain about `url` (may be null).
  static Ref<Error> make(Code code, const URL* url, const std::string& description = {},
                         Ref<Error> underlying = nullptr);
  // The URL loading error for a failure of the network layer ("kit.net" errors; a TLS failure
  // becomes one of the certificate codes by its verification result), kept as the underlying
  // error. Errors of other domains are wrapped as kUnknown.
  static Ref<Error> fromNetworkError(Error* error, const URL* url);
  static bool is(const Error* error, Code code) noexcept;
  // The default text for a code ("cancelled", "The request timed out.", ...).
  static std::string defaultDescription(Code code);
};

}  // namespace kit
