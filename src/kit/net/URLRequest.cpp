#include "kit/net/URLRequest.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cmath>
#include <memory>
#include <mutex>

namespace kit {
namespace {

bool sameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

bool safe(std::string_view s) { return s.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos; }

// Null slots mean the built-in functions, so requests pay for a lock and a
// copy only once a hook is installed.
struct HookSlots {
  std::mutex mutex;
  std::shared_ptr<const URLRequest::SetValueFunction> setValue;
  std::shared_ptr<const URLRequest::InitFunction> init;
  std::atomic<bool> any{false};
};

HookSlots& slots() {
  static HookSlots* s = new HookSlots();
  return *s;
}

template <class F>
std::shared_ptr<const F> current(std::shared_ptr<const F> HookSlots::*slot) {
  HookSlots& s = slots();
  if (!s.any.load(std::memory_order_acquire)) return nullptr;
  std::lock_guard<std::mutex> g(s.mutex);
  return s.*slot;
}

template <class F>
F replace(std::shared_ptr<const F> HookSlots::*slot, const std::function<F(F former)>& make, F builtIn) {
  HookSlots& s = slots();
  std::lock_guard<std::mutex> g(s.mutex);
  F former = s.*slot ? *(s.*slot) : builtIn;
  F replacement = make(former);
  s.*slot = replacement ? std::make_shared<const F>(std::move(replacement)) : nullptr;
  s.any.store(s.setValue || s.init, std::memory_order_release);
  return former;
}

}  // namespace

bool URLRequest::primitiveSetValue(URLRequest& request, std::string_view value, std::string_view field) {
  if (field.empty() || !safe(field) || !safe(value)) return false;
  for (auto& [name, v] : request.headers_) {
    if (sameName(name, field)) {
      v = std::string(value);
      return true;
    }
  }
  request.headers_.emplace_back(std::string(field), std::string(value));
  return true;
}

void URLRequest::primitiveInit(URLRequest& request, Ref<URL> url, CachePolicy policy, double timeoutInterval) {
  request.url_ = std::move(url);
  request.policy_ = policy;
  request.setTimeoutInterval(timeoutInterval);
}

URLRequest::SetValueFunction URLRequest::exchangeSetValueFunction(SetValueFunction replacement) {
  return wrapSetValueFunction([&](SetValueFunction) { return std::move(replacement); });
}

URLRequest::SetValueFunction URLRequest::wrapSetValueFunction(
    const std::function<SetValueFunction(SetValueFunction former)>& wrap) {
  return replace<SetValueFunction>(&HookSlots::setValue, wrap, &URLRequest::primitiveSetValue);
}

URLRequest::InitFunction URLRequest::exchangeInitFunction(InitFunction replacement) {
  return wrapInitFunction([&](InitFunction) { return std::move(replacement); });
}

URLRequest::InitFunction URLRequest::wrapInitFunction(const std::function<InitFunction(InitFunction former)>& wrap) {
  return replace<InitFunction>(&HookSlots::init, wrap, &URLRequest::primitiveInit);
}

URLRequest::URLRequest(Ref<URL> url, CachePolicy policy, double timeoutInterval) {
  auto hook = current(&HookSlots::init);
  if (hook)
    (*hook)(*this, std::move(url), policy, timeoutInterval);
  else
    primitiveInit(*this, std::move(url), policy, timeoutInterval);
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
  auto hook = current(&HookSlots::setValue);
  return hook ? (*hook)(*this, value, field) : primitiveSetValue(*this, value, field);
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
  // A copy is not a new request: the init function does not run again.
  Ref<URLRequest> r(new URLRequest(Uninitialised{}));
  r->url_ = url_;
  r->policy_ = policy_;
  r->timeout_ = timeout_;
  r->method_ = method_;
  r->headers_ = headers_;
  if (body_) r->body_ = Data::dataWithBytes(body_->bytes(), body_->length());
  r->handleCookies_ = handleCookies_;
  r->mainDocument_ = mainDocument_;
  return r;
}

}  // namespace kit
