#pragma once
// What a load answered before its data: the URL, MIME type, expected length, text encoding and a
// file name to save it under. Immutable, so it can be passed between threads. HTTP loads answer
// the subclass HTTPURLResponse.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "kit/foundation/Object.h"
#include "kit/foundation/URL.h"

namespace kit {

class URLResponse : public Object {
 public:
  // Length unknown.
  static constexpr int64_t kUnknownLength = -1;

  // `MIMEType` is kept lower-case; a negative length means unknown.
  URLResponse(Ref<URL> url, std::string MIMEType, int64_t expectedContentLength,
              std::optional<std::string> textEncodingName);
  static Ref<URLResponse> responseWithURL(Ref<URL> url, std::string MIMEType, int64_t expectedContentLength,
                                          std::optional<std::string> textEncodingName) {
    return Ref<URLResponse>(new URLResponse(std::move(url), std::move(MIMEType), expectedContentLength,
                                            std::move(textEncodingName)));
  }

  URL* url() const noexcept { return url_.get(); }
  const std::string& MIMEType() const noexcept { return mime_; }
  int64_t expectedContentLength() const noexcept { return length_; }
  // The charset the response named ("utf-8"), or nullopt.
  const std::optional<std::string>& textEncodingName() const noexcept { return encoding_; }
  // A bare file name (never a path: no '/', never "." or ".."): the name the response proposes
  // (HTTP: Content-Disposition), else the URL's last path component, else "Unknown".
  const std::string& suggestedFilename() const noexcept { return filename_; }

  std::string className() const override { return "URLResponse"; }
  std::string description() const override;

  // The MIME type and charset of a Content-Type value ("Text/HTML; charset=\"UTF-8\"" gives
  // "text/html" and "UTF-8"); an empty type when the value has none.
  static std::pair<std::string, std::optional<std::string>> parseContentType(std::string_view value);
  // A name made safe to use as a file name in a folder: path separators and control characters
  // become '_'; empty, "." and ".." give nullopt.
  static std::optional<std::string> sanitizedFilename(std::string_view name);

 protected:
  void setSuggestedFilename(std::string name) { filename_ = std::move(name); }
  void setContentType(std::string MIMEType, std::optional<std::string> textEncodingName);

 private:
  Ref<URL> url_;
  std::string mime_;
  int64_t length_;
  std::optional<std::string> encoding_;
  std::string filename_;
};

}  // namespace kit
