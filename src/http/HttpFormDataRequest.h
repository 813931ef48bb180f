#pragma once
// A request that turns form fields and files into its body: "application/x-www-form-urlencoded"
// or "multipart/form-data". Sending is the engine's; once the body is built, the engine sets its
// length and turns a GET, DELETE or HEAD into a POST.

#include <string>

#include "http/HttpRequest.h"
#include "kit/foundation/Array.h"

namespace tolva {

enum FormPostFormat : int { MultipartFormDataPostFormat = 0, URLEncodedPostFormat = 1 };

class HttpFormDataRequest : public HttpRequest {
 public:
  static constexpr const char* kDefaultBoundary = "0xKhTmLbOuNdArY";

  explicit HttpFormDataRequest(kit::Ref<kit::URL> url);
  static kit::Ref<HttpFormDataRequest> requestWithURL(kit::Ref<kit::URL> url);
  // A name inside a quoted header parameter: a quote, CR or LF would end the parameter or the
  // header, so they are written as %22, %0D and %0A.
  static std::string quotedParameterText(const std::string& name);

  // Percent-escapes everything but letters, digits, "-", "." and "_" (in stringEncoding).
  std::string encodeURL(const std::string& string) const;

  void addPostValue(const std::string& value, const std::string& key);
  void setPostValue(const std::string& value, const std::string& key);
  // A file on disk: a path that names nothing or a folder fails the request (code 6) and the
  // part is still recorded. No name means the path's last component, no type the file's.
  void addFile(const std::string& filePath, const std::string& key);
  void addFile(const std::string& filePath, const std::string& fileName, const std::string& contentType,
               const std::string& key);
  void setFile(const std::string& filePath, const std::string& key);
  void setFile(const std::string& filePath, const std::string& fileName, const std::string& contentType,
               const std::string& key);
  // Bytes in memory: named "file" and typed "application/octet-stream" unless told.
  void addData(kit::Ref<kit::Data> data, const std::string& key);
  void addData(kit::Ref<kit::Data> data, const std::string& fileName, const std::string& contentType,
               const std::string& key);
  void setData(kit::Ref<kit::Data> data, const std::string& key);
  void setData(kit::Ref<kit::Data> data, const std::string& fileName, const std::string& contentType,
               const std::string& key);

  void buildPostBody() override;
  void buildMultipartFormDataPostBody();
  void buildURLEncodedPostBody();
  void appendPostString(const std::string& string);
  // The boundary the multipart body uses: the fixed one unless it occurs in the content.
  const std::string& boundary() const noexcept { return boundary_; }

  kit::Ref<kit::Object> copy() const override;

  kit::MutableArray* postData() const noexcept { return postData_.get(); }
  kit::MutableArray* fileData() const noexcept { return fileData_.get(); }
  int postFormat() const noexcept { return postFormat_; }
  void setPostFormat(int format) noexcept { postFormat_ = format; }
  unsigned stringEncoding() const noexcept { return stringEncoding_; }
  void setStringEncoding(unsigned encoding) noexcept { stringEncoding_ = encoding; }

  std::string className() const override { return "HttpFormDataRequest"; }
  kit::Ref<HttpRequest> newRequestOfThisClass(kit::Ref<kit::URL> url) const override {
    return kit::make<HttpFormDataRequest>(std::move(url));
  }

 private:
  void removeWithKey(kit::MutableArray* list, const std::string& key);
  // The text in stringEncoding (a character it cannot hold becomes "?").
  std::string encoded(const std::string& utf8) const;
  // The charset the body is labelled with; empty when stringEncoding cannot be written, which
  // fails the request when its body is built.
  std::string charsetName() const;
  // A boundary that occurs in no field and no file.
  std::string chooseBoundary() const;

  kit::Ref<kit::MutableArray> postData_;
  kit::Ref<kit::MutableArray> fileData_;
  int postFormat_ = URLEncodedPostFormat;
  unsigned stringEncoding_ = kUTF8StringEncoding;
  std::string boundary_ = kDefaultBoundary;
};

}  // namespace tolva
