#pragma once
// Forward declarations of kit's network classes.

namespace kit {

class ConnectionPool;
class HTTPConnection;
class HTTPCookie;
class HTTPCookieStorage;
class HTTPDate;
class HTTPMessage;
class HTTPReadStream;
class HTTPResponseParser;
class HostResolver;
class InputStream;
class NetError;
class TLSContext;
class URLRequest;
class URLResponse;
class HTTPURLResponse;
class CachedURLResponse;
class URLConnection;
class URLConnectionDelegate;
class URLAuthenticationChallenge;
class URLProtectionSpace;
class URLCredential;
class URLCache;
class URLError;

}  // namespace kit
