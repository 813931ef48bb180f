#include "kit/net/HTTPURLResponse.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "kit/foundation/String.h"
#include "kit/foundation/URLEscaping.h"
#include "kit/net/HTTPMessage.h"

namespace kit {
namespace {

bool sameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

std::optional<std::string> joined(const HTTPURLResponse::HeaderFields& fields, std::string_view name) {
  std::optional<std::string> out;
  for (const auto& [n, v] : fields) {
    if (!sameName(n, name)) continue;
    if (out)
      *out += ", " + v;
    else
      out = v;
  }
  return out;
}

int64_t contentLength(const std::optional<std::string>& value) {
  if (!value || value->empty()) return URLResponse::kUnknownLength;
  int64_t n = 0;
  auto [end, ec] = std::from_chars(value->data(), value->data() + value->size(), n);
  if (ec != std::errc() || end != value->data() + value->size() || n < 0) return URLResponse::kUnknownLength;
  return n;
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// Decodes %HH escapes into bytes; nullopt on a broken escape.
std::optional<std::string> percentDecodeBytes(std::string_view s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '%') {
      out += s[i];
      continue;
    }
    if (i + 2 >= s.size() || !URLEscaping::isHexDigit(s[i + 1]) || !URLEscaping::isHexDigit(s[i + 2]))
      return std::nullopt;
    out += char(URLEscaping::hexValue(s[i + 1]) * 16 + URLEscaping::hexValue(s[i + 2]));
    i += 2;
  }
  return out;
}

// The file name of a Content-Disposition value: filename* (RFC 5987, UTF-8 only) wins over filename.
std::optional<std::string> dispositionFilename(std::string_view value) {
  std::optional<std::string> plain, extended;
  size_t i = value.find(';');
  while (i != std::string_view::npos) {
    value.remove_prefix(i + 1);
    size_t end = 0;
    bool quoted = false;
    for (; end < value.size(); ++end) {
      if (value[end] == '\\' && quoted) {
        ++end;
        continue;
      }
      if (value[end] == '"') quoted = !quoted;
      if (value[end] == ';' && !quoted) break;
    }
    i = end < value.size() ? end : std::string_view::npos;
    std::string_view param = trim(value.substr(0, std::min(end, value.size())));
    size_t eq = param.find('=');
    if (eq == std::string_view::npos) continue;
    std::string_view name = trim(param.substr(0, eq));
    std::string_view v = trim(param.substr(eq + 1));
    if (sameName(name, "filename*")) {
      size_t q1 = v.find('\'');
      size_t q2 = q1 == std::string_view::npos ? q1 : v.find('\'', q1 + 1);
      if (q2 == std::string_view::npos || !sameName(v.substr(0, q1), "utf-8")) continue;
      if (auto decoded = percentDecodeBytes(v.substr(q2 + 1))) extended = *decoded;
    } else if (sameName(name, "filename")) {
      if (v.size() >= 2 && v.front() == '"' && v.back() == '"') {
        std::string out;
        for (size_t k = 1; k + 1 < v.size(); ++k) {
          if (v[k] == '\\' && k + 2 < v.size()) ++k;
          out += v[k];
        }
        plain = out;
      } else {
        plain = std::string(v);
      }
    }
  }
  return extended ? extended : plain;
}

}  // namespace

HTTPURLResponse::HTTPURLResponse(Ref<URL> url, int statusCode, std::string HTTPVersion, HeaderFields headerFields)
    : URLResponse(std::move(url), "", contentLength(joined(headerFields, "Content-Length")), std::nullopt),
      status_(statusCode),
      version_(std::move(HTTPVersion)),
      fields_(std::move(headerFields)) {
  auto [type, charset] = parseContentType(joined(fields_, "Content-Type").value_or(""));
  setContentType(type.empty() ? std::string("application/octet-stream") : type, charset);
  if (auto disposition = joined(fields_, "Content-Disposition")) {
    if (auto name = dispositionFilename(*disposition))
      if (auto safe = sanitizedFilename(*name)) setSuggestedFilename(*safe);
  }
  auto all = MutableDictionary::dictionary();
  for (const auto& [name, value] : fields_) {
    std::string canonical = HTTPMessage::canonicalHeaderName(name);
    if (auto* existing = all->get<String>(canonical))
      all->setObject(String::string(existing->str() + ", " + value), canonical);
    else
      all->setObject(String::string(value), canonical);
  }
  all_ = all;
}

std::optional<std::string> HTTPURLResponse::valueForHTTPHeaderField(std::string_view name) const {
  return joined(fields_, name);
}

std::vector<std::string> HTTPURLResponse::valuesForHTTPHeaderField(std::string_view name) const {
  std::vector<std::string> out;
  for (const auto& [n, v] : fields_)
    if (sameName(n, name)) out.push_back(v);
  return out;
}

std::string HTTPURLResponse::localizedStringForStatusCode(int code) {
  switch (code) {
    case 100: return "continue";
    case 101: return "switching protocols";
    case 200: return "no error";
    case 201: return "created";
    case 202: return "accepted";
    case 203: return "non-authoritative information";
    case 204: return "no content";
    case 205: return "reset content";
    case 206: return "partial content";
    case 300: return "multiple choices";
    case 301: return "moved permanently";
    case 302: return "found";
    case 303: return "see other";
    case 304: return "not modified";
    case 305: return "needs proxy";
    case 307: return "temporarily redirected";
    case 308: return "permanently redirected";
    case 400: return "bad request";
    case 401: return "unauthorized";
    case 402: return "payment required";
    case 403: return "forbidden";
    case 404: return "not found";
    case 405: return "method not allowed";
    case 406: return "unacceptable";
    case 407: return "proxy authentication required";
    case 408: return "request timed out";
    case 409: return "conflict";
    case 410: return "no longer exists";
    case 411: return "length required";
    case 412: return "precondition failed";
    case 413: return "request too large";
    case 414: return "requested URL too long";
    case 415: return "unsupported media type";
    case 416: return "requested range not satisfiable";
    case 417: return "expectation failed";
    case 429: return "too many requests";
    case 500: return "internal server error";
    case 501: return "unimplemented";
    case 502: return "bad gateway";
    case 503: return "service unavailable";
    case 504: return "gateway timed out";
    case 505: return "unsupported version";
    default: break;
  }
  if (code >= 100 && code < 200) return "informational";
  if (code >= 200 && code < 300) return "success";
  if (code >= 300 && code < 400) return "redirected";
  if (code >= 400 && code < 500) return "client error";
  if (code >= 500 && code < 600) return "server error";
  return "server error";
}

std::string HTTPURLResponse::description() const {
  return "<HTTPURLResponse " + (url() ? url()->absoluteString() : std::string("(no URL)")) + " " +
         std::to_string(status_) + " " + MIMEType() + ">";
}

}  // namespace kit
