#pragma once
// An HTTP/1.x message: a request (method, URL, version, header fields, body) or a response
// (status code, reason, version, header fields, body).
//
// Header fields keep the order and the spelling they were given or received in; look-ups ignore
// case. A name given several times answers its values joined with ", " (headerField,
// allHeaderFields), except that every Set-Cookie value also stays available on its own
// (setCookieHeaders), since a cookie's Expires date holds a comma.
// allHeaderFields names each field canonically: every letter after the start or a '-' upper case,
// the others lower case ("content-length" and "CONTENT-LENGTH" both become "Content-Length",
// "ETag" becomes "Etag").
//
// A response can be built from received bytes with appendBytes(): the head is parsed once its
// empty line arrived (isHeaderComplete), later bytes are the body. Parsing accepts CRLF or bare LF
// line ends and folded continuation lines, and skips header lines that are not "name: value".
//
// Not thread-safe: a message belongs to one thread at a time.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kit/foundation/Data.h"
#include "kit/foundation/Dictionary.h"
#include "kit/foundation/Error.h"
#include "kit/foundation/Object.h"
#include "kit/foundation/URL.h"

namespace kit {

class HTTPMessage : public Object {
 public:
  static constexpr const char* kVersion1_0 = "HTTP/1.0";
  static constexpr const char* kVersion1_1 = "HTTP/1.1";
  // A response head longer than this is refused (appendBytes, responseWithHead).
  static constexpr size_t kMaximumHeadLength = 64 * 1024;

  struct HeaderField {
    std::string name;
    std::string value;
    bool operator==(const HeaderField&) const = default;
  };

  // A request. Null when the method is not an HTTP token, the URL is null or the version is
  // neither kVersion1_0 nor kVersion1_1.
  static Ref<HTTPMessage> requestWithMethod(std::string_view method, Ref<URL> url,
                                            std::string_view version = kVersion1_1);
  // A response with the given status (code 100...999). Null otherwise.
  static Ref<HTTPMessage> responseWithStatusCode(int code, std::string_view reason = {},
                                                 std::string_view version = kVersion1_1);
  // An empty response to be filled with appendBytes().
  static Ref<HTTPMessage> emptyResponse();
  // Parses a whole response head (status line and fields; the final empty line may be missing).
  // Null with `error` (kit.net kProtocolError) when it is not one.
  static Ref<HTTPMessage> responseWithHead(std::string_view head, Ref<Error>* error = nullptr);

  bool isRequest() const noexcept { return request_; }

  // ---- Request line
  const std::string& method() const noexcept { return method_; }
  URL* url() const noexcept { return url_.get(); }
  void setURL(Ref<URL> url) { url_ = std::move(url); }

  // ---- Status line
  int statusCode() const noexcept { return statusCode_; }
  const std::string& reasonPhrase() const noexcept { return reason_; }
  // "HTTP/1.1 200 OK" (rebuilt for a response made from parts).
  std::string statusLine() const;

  // "HTTP/1.0" or "HTTP/1.1" ("HTTP/1.x" as received for a response).
  const std::string& version() const noexcept { return version_; }
  // Whether the version is HTTP/1.0 (no persistent connections without "keep-alive").
  bool isVersion1_0() const noexcept { return version_ == kVersion1_0; }

  // ---- Header fields
  // The value, all occurrences joined with ", "; nullopt when absent.
  std::optional<std::string> headerField(std::string_view name) const;
  // The value or empty text.
  std::string valueForHeaderField(std::string_view name) const { return headerField(name).value_or(""); }
  bool hasHeaderField(std::string_view name) const;
  // Every occurrence, in order.
  std::vector<std::string> headerFieldValues(std::string_view name) const;
  // Replaces every occurrence by one (kept where the first was). Answers false, changing nothing,
  // when the name is not a token or the value holds CR, LF or NUL.
  bool setHeaderField(std::string_view name, std::string_view value);
  // Adds one more occurrence at the end (same checks).
  bool addHeaderField(std::string_view name, std::string_view value);
  void removeHeaderField(std::string_view name);
  const std::vector<HeaderField>& headerFields() const noexcept { return fields_; }
  // Canonical name -> joined value.
  Ref<Dictionary> allHeaderFields() const;
  // Each Set-Cookie value on its own.
  std::vector<std::string> setCookieHeaders() const { return headerFieldValues("Set-Cookie"); }
  static std::string canonicalHeaderName(std::string_view name);
  static bool isToken(std::string_view text) noexcept;

  // Whether the value of a field, read as a comma-separated list, holds `token` (ignoring case):
  // hasHeaderToken("Connection", "close").
  bool hasHeaderToken(std::string_view name, std::string_view token) const;

  // ---- Body
  Data* body() const noexcept { return body_.get(); }
  void setBody(Ref<Data> body) { body_ = std::move(body); }

  // ---- Building a response from bytes
  // Answers false once the head turned out malformed (parseError() says why); bytes after the
  // head go to the body.
  bool appendBytes(const void* bytes, size_t length);
  bool isHeaderComplete() const noexcept { return headerComplete_; }
  Error* parseError() const noexcept { return parseError_.get(); }

  // ---- Writing a request
  // The request target: origin-form ("/path?query", "/" for an empty path) or, for a request
  // sent to an HTTP proxy, absolute-form ("http://host:port/path?query"). Never the fragment or
  // user information.
  std::string requestTarget(bool absoluteForm = false) const;
  // "host" or "host:port" as the Host field wants it (port only when not the scheme's default;
  // IPv6 literals in brackets).
  std::string hostFieldValue() const;
  // Request line, a Host field first when the message has none, every field, empty line.
  std::string serializedRequestHead(bool absoluteForm = false) const;
  // The head followed by the body.
  Ref<Data> serializedRequest(bool absoluteForm = false) const;

  std::string className() const override { return "HTTPMessage"; }
  std::string description() const override;
  // A deep copy (fields and body bytes).
  Ref<Object> copy() const override;
  Ref<HTTPMessage> copyMessage() const;

 private:
  HTTPMessage() = default;
  bool parseHead(std::string_view head, Ref<Error>* error);
  static bool validValue(std::string_view value) noexcept;

  bool request_ = false;
  std::string method_;
  Ref<URL> url_;
  int statusCode_ = 0;
  std::string reason_;
  std::string version_ = kVersion1_1;
  std::vector<HeaderField> fields_;
  Ref<Data> body_;
  // Parsing state of appendBytes.
  std::string pending_;
  bool headerComplete_ = false;
  Ref<Error> parseError_;
};

}  // namespace kit
