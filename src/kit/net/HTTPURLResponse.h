#pragma once
// The response of an HTTP or HTTPS load: status code and header fields besides what every
// URLResponse has. MIME type and text encoding come from Content-Type ("application/octet-stream"
// when it is missing), the expected length from Content-Length, the suggested file name from
// Content-Disposition's filename* (UTF-8) or filename parameter.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "kit/foundation/Dictionary.h"
#include "kit/net/URLResponse.h"

namespace kit {

class HTTPURLResponse : public URLResponse {
 public:
  using HeaderFields = std::vector<std::pair<std::string, std::string>>;

  // Header fields in the order received, as received; a name may repeat (Set-Cookie).
  HTTPURLResponse(Ref<URL> url, int statusCode, std::string HTTPVersion, HeaderFields headerFields);
  static Ref<HTTPURLResponse> responseWithURL(Ref<URL> url, int statusCode, std::string HTTPVersion,
                                              HeaderFields headerFields) {
    return Ref<HTTPURLResponse>(
        new HTTPURLResponse(std::move(url), statusCode, std::move(HTTPVersion), std::move(headerFields)));
  }

  int statusCode() const noexcept { return status_; }
  const std::string& HTTPVersion() const noexcept { return version_; }
  // Canonical name ("Content-Type") -> value, repeated fields joined with ", ".
  Dictionary* allHeaderFields() const noexcept { return all_.get(); }
  const HeaderFields& headerFields() const noexcept { return fields_; }
  // The value (repeats joined with ", "), looked up without regard to case; nullopt when absent.
  std::optional<std::string> valueForHTTPHeaderField(std::string_view name) const;
  // Every value of a field, in order.
  std::vector<std::string> valuesForHTTPHeaderField(std::string_view name) const;

  // The platform's lower-case text for a status code ("no error" for 200, "not found" for
  // 404); for a code it does not know, the text of its class ("client error").
  static std::string localizedStringForStatusCode(int statusCode);

  std::string className() const override { return "HTTPURLResponse"; }
  std::string description() const override;

 private:
  int status_;
  std::string version_;
  HeaderFields fields_;
  Ref<Dictionary> all_;
};

}  // namespace kit
