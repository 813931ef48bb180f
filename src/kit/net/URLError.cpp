#include "kit/net/URLError.h"

#include <openssl/x509_vfy.h>

#include "kit/foundation/Dictionary.h"
#include "kit/foundation/Number.h"
#include "kit/foundation/String.h"
#include "kit/net/NetError.h"

namespace kit {

std::string URLError::defaultDescription(Code code) {
  switch (code) {
    case kCancelled: return "cancelled";
    case kBadURL: return "bad URL";
    case kTimedOut: return "The request timed out.";
    case kUnsupportedURL: return "unsupported URL";
    case kCannotFindHost: return "A server with the specified hostname could not be found.";
    case kCannotConnectToHost: return "Could not connect to the server.";
    case kNetworkConnectionLost: return "The network connection was lost.";
    case kDNSLookupFailed: return "The DNS lookup failed.";
    case kHTTPTooManyRedirects: return "too many HTTP redirects";
    case kResourceUnavailable: return "resource unavailable";
    case kNotConnectedToInternet: return "The Internet connection appears to be offline.";
    case kRedirectToNonExistentLocation: return "redirect to non-existent location";
    case kBadServerResponse: return "bad server response";
    case kUserCancelledAuthentication: return "The operation couldn't be completed. (authentication cancelled)";
    case kUserAuthenticationRequired: return "user authentication required";
    case kZeroByteResource: return "zero byte resource";
    case kCannotDecodeRawData: return "cannot decode raw data";
    case kCannotDecodeContentData: return "cannot decode content data";
    case kCannotParseResponse: return "cannot parse response";
    case kRequestBodyStreamExhausted: return "request body stream exhausted";
    case kFileDoesNotExist: return "The requested URL was not found on this server.";
    case kFileIsDirectory: return "file is directory";
    case kNoPermissionsToReadFile: return "no permission to read file";
    case kDataLengthExceedsMaximum: return "resource exceeds maximum size";
    case kSecureConnectionFailed:
      return "An SSL error has occurred and a secure connection to the server cannot be made.";
    case kServerCertificateHasBadDate: return "The certificate for this server has expired.";
    case kServerCertificateUntrusted: return "The certificate for this server is invalid.";
    case kServerCertificateHasUnknownRoot:
      return "The certificate for this server was signed by an unknown certifying authority.";
    case kServerCertificateNotYetValid: return "The certificate for this server is not yet valid.";
    case kClientCertificateRejected: return "The server did not accept the certificate.";
    case kClientCertificateRequired: return "The server requires a client certificate.";
    case kCannotLoadFromNetwork: return "cannot load from network";
    case kUnknown: break;
  }
  return "unknown error";
}

Ref<Error> URLError::make(Code code, const URL* url, const std::string& description, Ref<Error> underlying) {
  auto info = MutableDictionary::dictionary();
  info->setObject(String::string(description.empty() ? defaultDescription(code) : description),
                  Error::kLocalizedDescriptionKey);
  if (url) {
    info->setObject(Ref<Object>(const_cast<URL*>(url)), Error::kURLErrorKey);
    info->setObject(String::string(url->absoluteString()), kFailingURLStringKey);
  }
  if (underlying) info->setObject(underlying, Error::kUnderlyingErrorKey);
  return Error::errorWithDomain(kDomain, code, info);
}

Ref<Error> URLError::fromNetworkError(Error* error, const URL* url) {
  if (!error) return make(kUnknown, url);
  if (error->domain() == kDomain) return Ref<Error>(error);
  if (error->domain() != NetError::kDomain) return make(kUnknown, url, error->localizedDescription(), error);
  Code code = kUnknown;
  switch (error->code()) {
    case NetError::kBadRequest: code = kBadURL; break;
    case NetError::kDNSFailure: code = kCannotFindHost; break;
    case NetError::kConnectionRefused:
    case NetError::kConnectionFailed:
    case NetError::kProxyFailure: code = kCannotConnectToHost; break;
    case NetError::kConnectionLost:
    case NetError::kDeadReusedConnection: code = kNetworkConnectionLost; break;
    case NetError::kProtocolError: code = kBadServerResponse; break;
    case NetError::kBodyStreamFailure: code = kRequestBodyStreamExhausted; break;
    case NetError::kCancelled: code = kCancelled; break;
    case NetError::kTLSFailure: {
      long verify = 0;
      if (auto* n = error->userInfo()->get<Number>(NetError::kSSLVerifyResultKey)) verify = n->integerValue();
      if (verify == X509_V_OK)
        code = kSecureConnectionFailed;
      else if (verify == X509_V_ERR_CERT_HAS_EXPIRED)
        code = kServerCertificateHasBadDate;
      else if (verify == X509_V_ERR_CERT_NOT_YET_VALID)
        code = kServerCertificateNotYetValid;
      else
        code = kServerCertificateUntrusted;
      break;
    }
    default: break;
  }
  return make(code, url, {}, error);
}

bool URLError::is(const Error* error, Code code) noexcept {
  return error && error->domain() == kDomain && error->code() == code;
}

}  // namespace kit
