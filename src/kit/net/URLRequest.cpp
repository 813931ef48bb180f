#include "kit/net/URLRequest.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace kit {
namespace {

bool sameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

bool safe(std::string_view s) { return s.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos; }

}  // namespace

URLRequest::URLRequest(Ref<URL> url, CachePolicy policy, double timeoutInterval)
    : url_(std::move(url)), policy_(policy) {
  setTimeoutInterval(timeoutInterval);
}

void URLRequest::setTimeoutInterval(double seconds) {
  if (std::isfinite(seconds) && seconds > 0) timeout_ = seconds;
}

void URLRequest::setHTTPMethod(std::string method) { method_ = method.empty() ? "GET" : std::move(method); }

std::optional<std::string> URLRequest::valueForHTTPHeaderField(std::string_view field) const {
  for (const auto& [name, value] : headers_) {
    if (sameName(name, field)) return value;
  }
  return std::nullopt;
}

bool URLRequest::setValue(std::string_view value, std::string_view field) {
  if (field.empty() || !safe(field) || !safe(value)) return false;
  for (auto& [name, v] : headers_) {
    if (sameName(name, field)) {
      v = std::string(value);
      return true;
    }
  }
  headers_.emplace_back(std::string(field), std::string(value));
  return true;
}

bool URLRequest::addValue(std::string_view value, std::string_view field) {
  if (field.empty() || !safe(field) || !safe(value)) return false;
  for (auto& [name, v] : headers_) {
    if (sameName(name, field)) {
      v += ",";
      v += value;
      return true;
    }
  }
  headers_.emplace_back(std::string(field), std::string(value));
  return true;
}

void URLRequest::removeHTTPHeaderField(std::string_view field) {
  headers_.erase(std::remove_if(headers_.begin(), headers_.end(), [&](const auto& h) { return sameName(h.first, field); }),
                 headers_.end());
}

void URLRequest::setAllHTTPHeaderFields(const std::vector<std::pair<std::string, std::string>>& fields) {
  headers_.clear();
  for (const auto& [name, value] : fields) setValue(value, name);
}

size_t URLRequest::hash() const noexcept { return url_ ? url_->hash() : 0; }

bool URLRequest::isEqual(const Object* other) const noexcept {
  auto* o = dynamic_cast<const URLRequest*>(other);
  if (!o) return false;
  if (o == this) return true;
  return kit::isEqual(url_.get(), o->url_.get()) && method_ == o->method_ && headers_ == o->headers_ &&
         kit::isEqual(body_.get(), o->body_.get()) && policy_ == o->policy_ && timeout_ == o->timeout_;
}

std::string URLRequest::description() const {
  return "<URLRequest " + method_ + " " + (url_ ? url_->absoluteString() : std::string("(no URL)")) + ">";
}

Ref<Object> URLRequest::copy() const {
  Ref<URLRequest> r(new URLRequest(url_, policy_, timeout_));
  r->method_ = method_;
  r->headers_ = headers_;
  if (body_) r->body_ = Data::dataWithBytes(body_->bytes(), body_->length());
  r->handleCookies_ = handleCookies_;
  r->mainDocument_ = mainDocument_;
  return r;
}

}  // namespace kit
