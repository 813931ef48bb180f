#include "kit/net/URLResponse.h"

#include <algorithm>
#include <cctype>

namespace kit {
namespace {

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

std::string lower(std::string_view s) {
  std::string out(s);
  std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  return out;
}

}  // namespace

URLResponse::URLResponse(Ref<URL> url, std::string MIMEType, int64_t expectedContentLength,
                         std::optional<std::string> textEncodingName)
    : url_(std::move(url)),
      mime_(lower(MIMEType)),
      length_(expectedContentLength < 0 ? kUnknownLength : expectedContentLength),
      encoding_(std::move(textEncodingName)) {
  std::optional<std::string> name;
  if (url_ && !url_->schemeIs("data")) name = sanitizedFilename(url_->lastPathComponent());
  filename_ = name && *name != "_" ? *name : "Unknown";
}

void URLResponse::setContentType(std::string MIMEType, std::optional<std::string> textEncodingName) {
  mime_ = lower(MIMEType);
  encoding_ = std::move(textEncodingName);
}

std::pair<std::string, std::optional<std::string>> URLResponse::parseContentType(std::string_view value) {
  std::string type;
  std::optional<std::string> charset;
  size_t semi = value.find(';');
  std::string_view head = trim(value.substr(0, semi));
  if (head.find('/') != std::string_view::npos && head.find(' ') == std::string_view::npos) type = lower(head);
  while (semi != std::string_view::npos) {
    value.remove_prefix(semi + 1);
    // Parameters end at the next ';' outside quotes.
    size_t end = 0;
    bool quoted = false;
    for (; end < value.size(); ++end) {
      if (value[end] == '"') quoted = !quoted;
      if (value[end] == ';' && !quoted) break;
    }
    semi = end < value.size() ? end : std::string_view::npos;
    std::string_view param = trim(value.substr(0, end));
    size_t eq = param.find('=');
    if (eq == std::string_view::npos) continue;
    if (lower(trim(param.substr(0, eq))) != "charset") continue;
    std::string_view v = trim(param.substr(eq + 1));
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
    if (!v.empty() && !charset) charset = std::string(v);
  }
  return {type, charset};
}

std::optional<std::string> URLResponse::sanitizedFilename(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  for (unsigned char c : name) out += (c < 0x20 || c == 0x7f || c == '/' || c == '\\') ? '_' : char(c);
  std::string_view t = trim(out);
  if (t.empty() || t == "." || t == "..") return std::nullopt;
  return std::string(t);
}

std::string URLResponse::description() const {
  return "<" + className() + " " + (url_ ? url_->absoluteString() : std::string("(no URL)")) + " " + mime_ +
         " length=" + std::to_string(length_) + ">";
}

}  // namespace kit
