#include "http/HttpFormDataRequest.h"

#include <sys/random.h>

#include <cctype>
#include <cstdio>

#include "kit/foundation/FileManager.h"
#include "kit/foundation/Format.h"
#include "kit/foundation/String.h"
#include "kit/net/InputStream.h"

namespace tolva {

using kit::Ref;

namespace {

std::string text(const kit::Dictionary* d, const char* key) {
  kit::Object* o = d ? d->objectForKey(key) : nullptr;
  return o ? o->description() : std::string();
}

// Whether `needle` occurs in the file, read in pieces that overlap by its length.
bool fileContains(const std::string& path, const std::string& needle) {
  Ref<kit::InputStream> in = kit::InputStream::inputStreamWithFileAtPath(path);
  if (!in->open()) return false;
  std::string window;
  std::vector<uint8_t> chunk(64 * 1024);
  bool found = false;
  for (;;) {
    const long n = in->read(chunk.data(), chunk.size());
    if (n <= 0) break;
    window.append(reinterpret_cast<const char*>(chunk.data()), size_t(n));
    if (window.find(needle) != std::string::npos) {
      found = true;
      break;
    }
    if (window.size() > needle.size()) window.erase(0, window.size() - needle.size());
  }
  in->close();
  return found;
}

}  // namespace

std::string HttpFormDataRequest::quotedParameterText(const std::string& name) {
  std::string out;
  for (char c : name) {
    if (c == '"') out += "%22";
    else if (c == '\r') out += "%0D";
    else if (c == '\n') out += "%0A";
    else out.push_back(c);
  }
  return out;
}

HttpFormDataRequest::HttpFormDataRequest(Ref<kit::URL> url) : HttpRequest(std::move(url)) {}

Ref<HttpFormDataRequest> HttpFormDataRequest::requestWithURL(Ref<kit::URL> url) {
  return kit::make<HttpFormDataRequest>(std::move(url));
}

std::string HttpFormDataRequest::encoded(const std::string& utf8) const {
  std::string out;
  // An encoding that cannot be written stops the body before it is built (buildPostBody).
  return encodeText(utf8, stringEncoding_, &out) ? out : utf8;
}

std::string HttpFormDataRequest::charsetName() const { return charsetNameForEncoding(stringEncoding_); }

std::string HttpFormDataRequest::encodeURL(const std::string& string) const {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (char ch : encoded(string)) {
    const auto c = static_cast<unsigned char>(ch);
    if (std::isalnum(c) || c == '-' || c == '.' || c == '_') {
      out.push_back(ch);
    } else {
      out.push_back('%');
      out.push_back(hex[c >> 4]);
      out.push_back(hex[c & 15]);
    }
  }
  return out;
}

void HttpFormDataRequest::addPostValue(const std::string& value, const std::string& key) {
  if (!postData_) postData_ = kit::MutableArray::array();
  auto field = kit::MutableDictionary::dictionary();
  field->setObject(kit::str(key), "key");
  field->setObject(kit::str(value), "value");
  postData_->addObject(field);
}

void HttpFormDataRequest::removeWithKey(kit::MutableArray* list, const std::string& key) {
  if (!list) return;
  for (size_t i = list->count(); i-- > 0;) {
    if (text(list->get<kit::Dictionary>(i), "key") == key) list->removeObjectAtIndex(i);
  }
}

void HttpFormDataRequest::setPostValue(const std::string& value, const std::string& key) {
  removeWithKey(postData_, key);
  addPostValue(value, key);
}

void HttpFormDataRequest::addFile(const std::string& filePath, const std::string& key) {
  addFile(filePath, {}, {}, key);
}

void HttpFormDataRequest::addFile(const std::string& filePath, const std::string& fileName,
                                  const std::string& contentType, const std::string& key) {
  bool isDirectory = false;
  if (!kit::FileManager::fileExists(filePath, &isDirectory) || isDirectory) {
    failWithError(kit::Error::errorWithDescription(kHttpRequestErrorDomain, kInternalErrorWhileBuildingRequestType,
                                                   kit::format("No file exists at %@", filePath)));
  }
  std::string name = fileName;
  if (name.empty()) name = filePath.substr(filePath.rfind('/') + 1);
  std::string type = contentType;
  if (type.empty()) type = mimeTypeForFileAtPath(filePath);
  if (type.empty()) type = "application/octet-stream";
  if (!fileData_) fileData_ = kit::MutableArray::array();
  auto part = kit::MutableDictionary::dictionary();
  part->setObject(kit::str(filePath), "data");
  part->setObject(kit::str(type), "contentType");
  part->setObject(kit::str(name), "fileName");
  part->setObject(kit::str(key), "key");
  fileData_->addObject(part);
}

void HttpFormDataRequest::setFile(const std::string& filePath, const std::string& key) { setFile(filePath, {}, {}, key); }

void HttpFormDataRequest::setFile(const std::string& filePath, const std::string& fileName,
                                  const std::string& contentType, const std::string& key) {
  removeWithKey(fileData_, key);
  addFile(filePath, fileName, contentType, key);
}

void HttpFormDataRequest::addData(Ref<kit::Data> data, const std::string& key) { addData(std::move(data), "file", {}, key); }

void HttpFormDataRequest::addData(Ref<kit::Data> data, const std::string& fileName, const std::string& contentType,
                                  const std::string& key) {
  if (!fileData_) fileData_ = kit::MutableArray::array();
  auto part = kit::MutableDictionary::dictionary();
  part->setObject(data ? Ref<kit::Object>(data) : Ref<kit::Object>(kit::Data::dataWithBytes("", 0)), "data");
  part->setObject(kit::str(contentType.empty() ? "application/octet-stream" : contentType), "contentType");
  part->setObject(kit::str(fileName), "fileName");
  part->setObject(kit::str(key), "key");
  fileData_->addObject(part);
}

void HttpFormDataRequest::setData(Ref<kit::Data> data, const std::string& key) { setData(std::move(data), "file", {}, key); }

void HttpFormDataRequest::setData(Ref<kit::Data> data, const std::string& fileName, const std::string& contentType,
                                  const std::string& key) {
  removeWithKey(fileData_, key);
  addData(std::move(data), fileName, contentType, key);
}

void HttpFormDataRequest::buildPostBody() {
  if (haveBuiltPostBody()) return;
  const bool haveFields = postData_ && postData_->count();
  const bool haveFiles = fileData_ && fileData_->count();
  if (haveFields || haveFiles) {
    // Never sent in another encoding than the one asked for. The body's structure (boundaries,
    // part headers, escapes) is ASCII, so an encoding that writes ASCII otherwise (UTF-16,
    // UTF-32) would make a body its Content-Type misdescribes: refused too.
    static constexpr std::string_view kStructure = "--\"=&%;\r\n";
    std::string probe;
    const bool writable = !charsetName().empty();
    if (!writable || !encodeText(kStructure, stringEncoding_, &probe) || probe != kStructure) {
      const std::string number = std::to_string(stringEncoding_);
      failWithError(kit::Error::errorWithDescription(
          kHttpRequestErrorDomain, kInternalErrorWhileBuildingRequestType,
          writable ? kit::format("The form cannot be sent: text encoding %@ does not write ASCII as ASCII", number)
                   : kit::format("The form cannot be sent: text encoding %@ cannot be written", number)));
      return;
    }
    if (haveFiles) setShouldStreamPostDataFromDisk(true);
    if (postFormat_ == URLEncodedPostFormat) buildURLEncodedPostBody();
    else buildMultipartFormDataPostBody();
  }
  HttpRequest::buildPostBody();
}

void HttpFormDataRequest::buildURLEncodedPostBody() {
  if (fileData_ && fileData_->count()) {
    postFormat_ = MultipartFormDataPostFormat;
    buildMultipartFormDataPostBody();
    return;
  }
  addRequestHeader("Content-Type", "application/x-www-form-urlencoded; charset=" + charsetName());
  const size_t count = postData_ ? postData_->count() : 0;
  for (size_t i = 0; i < count; ++i) {
    auto* field = postData_->get<kit::Dictionary>(i);
    appendPostString(encodeURL(text(field, "key")) + "=" + encodeURL(text(field, "value")) + (i + 1 < count ? "&" : ""));
  }
}

std::string HttpFormDataRequest::chooseBoundary() const {
  auto occurs = [this](const std::string& b) {
    const std::string marker = "--" + b;
    for (kit::MutableArray* list : {postData_.get(), fileData_.get()}) {
      const size_t n = list ? list->count() : 0;
      for (size_t i = 0; i < n; ++i) {
        auto* entry = list->get<kit::Dictionary>(i);
        for (const char* k : {"key", "value", "fileName"}) {
          if (text(entry, k).find(marker) != std::string::npos) return true;
        }
        kit::Object* data = entry->objectForKey("data");
        if (auto* bytes = dynamic_cast<kit::Data*>(data)) {
          if (bytes->view().find(marker) != std::string_view::npos) return true;
        } else if (data && fileContains(data->description(), marker)) {
          return true;
        }
      }
    }
    return false;
  };
  std::string b = kDefaultBoundary;
  while (occurs(b)) {
    uint64_t random = 0;
    if (getrandom(&random, sizeof random, 0) != ssize_t(sizeof random)) random ^= reinterpret_cast<uintptr_t>(&b);
    char suffix[17];
    std::snprintf(suffix, sizeof suffix, "%016llx", static_cast<unsigned long long>(random));
    b = std::string(kDefaultBoundary) + suffix;
  }
  return b;
}

void HttpFormDataRequest::buildMultipartFormDataPostBody() {
  boundary_ = chooseBoundary();
  addRequestHeader("Content-Type", "multipart/form-data; charset=" + charsetName() + "; boundary=" + boundary_);
  const std::string separator = "\r\n--" + boundary_ + "\r\n";
  appendPostString("--" + boundary_ + "\r\n");
  const size_t fields = postData_ ? postData_->count() : 0;
  const size_t files = fileData_ ? fileData_->count() : 0;
  for (size_t i = 0; i < fields; ++i) {
    auto* field = postData_->get<kit::Dictionary>(i);
    appendPostString("Content-Disposition: form-data; name=\"" + quotedParameterText(text(field, "key")) + "\"\r\n\r\n");
    appendPostString(text(field, "value"));
    if (i + 1 < fields || files > 0) appendPostString(separator);
  }
  for (size_t i = 0; i < files; ++i) {
    auto* part = fileData_->get<kit::Dictionary>(i);
    appendPostString("Content-Disposition: form-data; name=\"" + quotedParameterText(text(part, "key")) + "\"; filename=\"" +
                     quotedParameterText(text(part, "fileName")) + "\"\r\n");
    appendPostString("Content-Type: " + text(part, "contentType") + "\r\n\r\n");
    kit::Object* data = part->objectForKey("data");
    if (auto* bytes = dynamic_cast<kit::Data*>(data)) appendPostData(bytes);
    else if (data) appendPostDataFromFile(data->description());
    if (i + 1 < files) appendPostString(separator);
  }
  appendPostString("\r\n--" + boundary_ + "--\r\n");
}

void HttpFormDataRequest::appendPostString(const std::string& string) {
  const std::string bytes = encoded(string);
  appendPostData(kit::Data::dataWithBytes(bytes.data(), bytes.size()));
}

Ref<kit::Object> HttpFormDataRequest::copy() const {
  Ref<HttpFormDataRequest> r = kit::make<HttpFormDataRequest>(url());
  copyConfigurationTo(*r);
  if (postData_) r->postData_ = kit::cast<kit::MutableArray>(postData_->mutableCopy());
  if (fileData_) r->fileData_ = kit::cast<kit::MutableArray>(fileData_->mutableCopy());
  r->postFormat_ = postFormat_;
  r->stringEncoding_ = stringEncoding_;
  r->setRequestMethod(requestMethod());
  return r;
}

}  // namespace tolva
