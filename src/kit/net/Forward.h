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

}  // namespace kit
