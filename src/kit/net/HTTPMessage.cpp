#include "kit/net/HTTPMessage.h"

#include <algorithm>
#include <cstring>

#include "kit/foundation/String.h"
#include "kit/net/NetError.h"

namespace kit {

namespace {

bool equalsIgnoringCase(std::string_view a, std::string_view b) noexcept {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = char(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = char(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

std::string_view trimmed(std::string_view s) noexcept {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool isDigit(char c) noexcept { return c >= '0' && c <= '9'; }

Ref<Error> protocolError(const std::string& text) { return NetError::make(NetError::kProtocolError, text); }

}  // namespace

bool HTTPMessage::isToken(std::string_view text) noexcept {
  if (text.empty()) return false;
  for (unsigned char c : text) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || isDigit(char(c))) continue;
    if (!std::strchr("!#$%&'*+-.^_`|~", c) || c == 0) return false;
  }
  return true;
}

bool HTTPMessage::validValue(std::string_view value) noexcept {
  return value.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

std::string HTTPMessage::canonicalHeaderName(std::string_view name) {
  std::string out(name);
  bool start = true;
  for (char& c : out) {
    if (start && c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    else if (!start && c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    start = (c == '-');
  }
  return out;
}

Ref<HTTPMessage> HTTPMessage::requestWithMethod(std::string_view method, Ref<URL> url, std::string_view version) {
  if (!isToken(method) || !url || (version != kVersion1_0 && version != kVersion1_1)) return nullptr;
  Ref<HTTPMessage> m(new HTTPMessage());
  m->request_ = true;
  m->method_ = std::string(method);
  m->url_ = std::move(url);
  m->version_ = std::string(version);
  m->headerComplete_ = true;
  return m;
}

Ref<HTTPMessage> HTTPMessage::responseWithStatusCode(int code, std::string_view reason, std::string_view version) {
  if (code < 100 || code > 999 || (version != kVersion1_0 && version != kVersion1_1) || !validValue(reason))
    return nullptr;
  Ref<HTTPMessage> m(new HTTPMessage());
  m->statusCode_ = code;
  m->reason_ = std::string(reason);
  m->version_ = std::string(version);
  m->headerComplete_ = true;
  return m;
}

Ref<HTTPMessage> HTTPMessage::emptyResponse() { return Ref<HTTPMessage>(new HTTPMessage()); }

Ref<HTTPMessage> HTTPMessage::responseWithHead(std::string_view head, Ref<Error>* error) {
  Ref<HTTPMessage> m(new HTTPMessage());
  if (!m->parseHead(head, error)) return nullptr;
  m->headerComplete_ = true;
  return m;
}

bool HTTPMessage::parseHead(std::string_view head, Ref<Error>* error) {
  if (head.size() > kMaximumHeadLength) {
    if (error) *error = protocolError("The response header is too long");
    return false;
  }
  std::vector<std::string_view> lines;
  while (!head.empty()) {
    size_t nl = head.find('\n');
    std::string_view line = head.substr(0, nl);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    if (nl == std::string_view::npos) break;
    head.remove_prefix(nl + 1);
  }
  // Empty lines before the status line are tolerated; the first empty one after it ends the head.
  size_t i = 0;
  while (i < lines.size() && lines[i].empty()) ++i;
  if (i == lines.size()) {
    if (error) *error = protocolError("The response has no status line");
    return false;
  }
  std::string_view status = lines[i++];
  // HTTP/1.x SP 3DIGIT [SP reason]
  bool ok = status.size() >= 12 && status.substr(0, 5) == "HTTP/" && status[5] == '1' && status[6] == '.' &&
            isDigit(status[7]) && status[8] == ' ' && isDigit(status[9]) && isDigit(status[10]) &&
            isDigit(status[11]) && (status.size() == 12 || status[12] == ' ');
  if (!ok || !validValue(status)) {
    if (error) *error = protocolError("The response's status line is not HTTP/1.x: \"" +
                                      std::string(status.substr(0, 80)) + "\"");
    return false;
  }
  version_ = std::string(status.substr(0, 8));
  statusCode_ = (status[9] - '0') * 100 + (status[10] - '0') * 10 + (status[11] - '0');
  reason_ = status.size() > 13 ? std::string(trimmed(status.substr(13))) : std::string();
  if (statusCode_ < 100) {
    if (error) *error = protocolError("The response's status code is not valid");
    return false;
  }
  fields_.clear();
  bool lastValid = false;
  for (; i < lines.size(); ++i) {
    std::string_view line = lines[i];
    if (line.empty()) break;
    if (line.front() == ' ' || line.front() == '\t') {
      // A folded continuation of the field before it.
      if (lastValid && validValue(line)) {
        std::string_view more = trimmed(line);
        if (!more.empty()) {
          std::string& v = fields_.back().value;
          if (!v.empty()) v += ' ';
          v += more;
        }
      }
      continue;
    }
    size_t colon = line.find(':');
    lastValid = colon != std::string_view::npos && isToken(line.substr(0, colon)) && validValue(line);
    if (!lastValid) continue;
    fields_.push_back({std::string(line.substr(0, colon)), std::string(trimmed(line.substr(colon + 1)))});
  }
  return true;
}

std::string HTTPMessage::statusLine() const {
  std::string s = version_ + " " + std::to_string(statusCode_);
  if (!reason_.empty()) s += " " + reason_;
  return s;
}

std::optional<std::string> HTTPMessage::headerField(std::string_view name) const {
  std::optional<std::string> out;
  for (const auto& f : fields_) {
    if (!equalsIgnoringCase(f.name, name)) continue;
    if (out) *out += ", " + f.value;
    else out = f.value;
  }
  return out;
}

bool HTTPMessage::hasHeaderField(std::string_view name) const {
  return std::any_of(fields_.begin(), fields_.end(), [&](const HeaderField& f) { return equalsIgnoringCase(f.name, name); });
}

std::vector<std::string> HTTPMessage::headerFieldValues(std::string_view name) const {
  std::vector<std::string> out;
  for (const auto& f : fields_)
    if (equalsIgnoringCase(f.name, name)) out.push_back(f.value);
  return out;
}

bool HTTPMessage::setHeaderField(std::string_view name, std::string_view value) {
  if (!isToken(name) || !validValue(value)) return false;
  bool placed = false;
  for (auto it = fields_.begin(); it != fields_.end();) {
    if (!equalsIgnoringCase(it->name, name)) {
      ++it;
    } else if (!placed) {
      it->name = std::string(name);
      it->value = std::string(value);
      placed = true;
      ++it;
    } else {
      it = fields_.erase(it);
    }
  }
  if (!placed) fields_.push_back({std::string(name), std::string(value)});
  return true;
}

bool HTTPMessage::addHeaderField(std::string_view name, std::string_view value) {
  if (!isToken(name) || !validValue(value)) return false;
  fields_.push_back({std::string(name), std::string(value)});
  return true;
}

void HTTPMessage::removeHeaderField(std::string_view name) {
  std::erase_if(fields_, [&](const HeaderField& f) { return equalsIgnoringCase(f.name, name); });
}

bool HTTPMessage::hasHeaderToken(std::string_view name, std::string_view token) const {
  for (const auto& f : fields_) {
    if (!equalsIgnoringCase(f.name, name)) continue;
    std::string_view v = f.value;
    while (!v.empty()) {
      size_t comma = v.find(',');
      if (equalsIgnoringCase(trimmed(v.substr(0, comma)), token)) return true;
      if (comma == std::string_view::npos) break;
      v.remove_prefix(comma + 1);
    }
  }
  return false;
}

Ref<Dictionary> HTTPMessage::allHeaderFields() const {
  std::vector<std::pair<std::string, std::string>> joined;
  for (const auto& f : fields_) {
    std::string name = canonicalHeaderName(f.name);
    auto it = std::find_if(joined.begin(), joined.end(), [&](const auto& e) { return e.first == name; });
    if (it == joined.end()) joined.emplace_back(std::move(name), f.value);
    else it->second += ", " + f.value;
  }
  auto d = MutableDictionary::dictionary();
  for (auto& [name, value] : joined) d->setObject(str(std::move(value)), name);
  return d;
}

bool HTTPMessage::appendBytes(const void* bytes, size_t length) {
  if (parseError_) return false;
  const char* p = static_cast<const char*>(bytes);
  if (headerComplete_) {
    auto body = Ref<MutableData>(cast<MutableData>(body_.get()));
    if (!body) {
      body = MutableData::data();
      if (body_) body->appendData(*body_);
      body_ = body;
    }
    body->appendBytes(p, length);
    return true;
  }
  pending_.append(p, length);
  // Find the empty line that ends the head (a line holding nothing, or only CR), ignoring empty
  // lines before the status line.
  size_t lineStart = 0;
  bool seenContent = false;
  size_t end = std::string::npos;
  for (size_t nl = pending_.find('\n'); nl != std::string::npos; nl = pending_.find('\n', lineStart)) {
    std::string_view line(pending_.data() + lineStart, nl - lineStart);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() && seenContent) {
      end = nl + 1;
      break;
    }
    if (!line.empty()) seenContent = true;
    lineStart = nl + 1;
  }
  if (end == std::string::npos) {
    if (pending_.size() > kMaximumHeadLength) {
      parseError_ = protocolError("The response header is too long");
      return false;
    }
    return true;
  }
  std::string rest = pending_.substr(end);
  std::string head = pending_.substr(0, end);
  pending_.clear();
  pending_.shrink_to_fit();
  if (!parseHead(head, &parseError_)) return false;
  headerComplete_ = true;
  if (!rest.empty()) return appendBytes(rest.data(), rest.size());
  return true;
}

std::string HTTPMessage::hostFieldValue() const {
  if (!url_) return {};
  std::string host = url_->lowercaseHost();
  if (host.find(':') != std::string::npos) host = "[" + host + "]";
  if (auto port = url_->port()) {
    const bool defaultPort = (url_->schemeIs("http") && *port == 80) || (url_->schemeIs("https") && *port == 443);
    if (!defaultPort) host += ":" + std::to_string(*port);
  }
  return host;
}

std::string HTTPMessage::requestTarget(bool absoluteForm) const {
  if (!url_) return "/";
  std::string target;
  if (absoluteForm) target = url_->lowercaseScheme() + "://" + hostFieldValue();
  const std::string& path = url_->percentEncodedPath();
  target += path.empty() ? "/" : path;
  if (url_->hasQuery()) target += "?" + url_->query();
  return target;
}

std::string HTTPMessage::serializedRequestHead(bool absoluteForm) const {
  std::string out = method_ + " " + requestTarget(absoluteForm) + " " + version_ + "\r\n";
  if (!hasHeaderField("Host")) out += "Host: " + hostFieldValue() + "\r\n";
  for (const auto& f : fields_) out += f.name + ": " + f.value + "\r\n";
  out += "\r\n";
  return out;
}

Ref<Data> HTTPMessage::serializedRequest(bool absoluteForm) const {
  auto data = MutableData::data();
  std::string head = serializedRequestHead(absoluteForm);
  data->appendBytes(head.data(), head.size());
  if (body_) data->appendData(*body_);
  return data;
}

std::string HTTPMessage::description() const {
  if (request_) return "<HTTPMessage " + method_ + " " + (url_ ? url_->absoluteString() : "") + " " + version_ + ">";
  return "<HTTPMessage " + statusLine() + ">";
}

Ref<HTTPMessage> HTTPMessage::copyMessage() const {
  Ref<HTTPMessage> m(new HTTPMessage());
  m->request_ = request_;
  m->method_ = method_;
  m->url_ = url_;
  m->statusCode_ = statusCode_;
  m->reason_ = reason_;
  m->version_ = version_;
  m->fields_ = fields_;
  if (body_) m->body_ = Data::dataWithBytes(body_->bytes(), body_->length());
  m->pending_ = pending_;
  m->headerComplete_ = headerComplete_;
  m->parseError_ = parseError_;
  return m;
}

Ref<Object> HTTPMessage::copy() const { return copyMessage(); }

}  // namespace kit
