#pragma once
// Errors of kit's network layer: kit::Error objects in the domain "kit.net".
//
// Codes (stable; callers compare them):
//   kBadRequest              the message cannot be sent: not a request, no host, a scheme other
//                            than http/https, a header that cannot be written
//   kDNSFailure              the host name could not be resolved (resolver text in the description)
//   kConnectionRefused       every address of the host refused the connection
//   kConnectionFailed        the connection could not be made for another reason (unreachable, ...);
//                            the POSIX error is the underlying error
//   kConnectionLost          the connection closed or broke in the middle of the exchange
//   kDeadReusedConnection    a kept-alive connection taken for reuse was closed by the server before
//                            any byte of the response arrived; sending again on a new connection is safe
//   kTLSFailure              the TLS handshake or the certificate check failed; the description and
//                            kSSLErrorTextKey carry the TLS library's text
//   kProtocolError           the response broke HTTP framing (status line, Content-Length, chunks, ...)
//   kProxyFailure            a SOCKS proxy refused or broke the handshake, or an HTTP proxy answered
//                            CONNECT with something that is not HTTP
//   kBodyStreamFailure       the request body stream failed or ended before its announced length
//   kCancelled               the stream was closed before the exchange ended

#include <string>

#include "kit/foundation/Error.h"

namespace kit {

class NetError {
 public:
  static constexpr const char* kDomain = "kit.net";
  // userInfo key: the TLS library's error text (String), on kTLSFailure.
  static constexpr const char* kSSLErrorTextKey = "kit.net.SSLErrorText";
  // userInfo key: the certificate verification result number (Number), on kTLSFailure.
  static constexpr const char* kSSLVerifyResultKey = "kit.net.SSLVerifyResult";

  enum Code : long {
    kBadRequest = 1,
    kDNSFailure = 2,
    kConnectionRefused = 3,
    kConnectionFailed = 4,
    kConnectionLost = 5,
    kDeadReusedConnection = 6,
    kTLSFailure = 7,
    kProtocolError = 8,
    kProxyFailure = 9,
    kBodyStreamFailure = 10,
    kCancelled = 11,
    // A proxy auto-configuration script failed, answered nothing or ran out of time.
    kProxyScriptFailure = 12,
  };

  static Ref<Error> make(Code code, const std::string& description, Ref<Error> underlying = nullptr);
  // A TLS failure whose description is "TLS failure: <text>".
  static Ref<Error> tlsFailure(const std::string& sslText, long verifyResult = 0);

  static bool is(const Error* error, Code code) noexcept;
  static bool isDeadReusedConnection(const Error* error) noexcept { return is(error, kDeadReusedConnection); }
  static bool isTLSFailure(const Error* error) noexcept { return is(error, kTLSFailure); }
  // The TLS text of a kTLSFailure error, else empty.
  static std::string sslErrorText(const Error* error);
};

}  // namespace kit
