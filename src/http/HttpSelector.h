#pragma once
// A delegate call kept as data: the name a delegate is asked about (respondsToSelector) and the
// call itself. The request's selector properties hold these; the defaults call the delegate
// methods of the same name, and a caller can point one at a method of its own.

#include <functional>
#include <string>
#include <utility>

#include "kit/foundation/Object.h"

namespace tolva {

class HttpRequest;
class HttpRequestDelegate;

class HttpSelector {
 public:
  // `argument` is the call's second object (response headers, the new URL, a data chunk) or null.
  using Function = std::function<void(HttpRequestDelegate& target, HttpRequest* request, kit::Object* argument)>;

  HttpSelector() = default;
  HttpSelector(std::string name, Function function) : name_(std::move(name)), function_(std::move(function)) {}

  const std::string& name() const noexcept { return name_; }
  explicit operator bool() const noexcept { return !name_.empty() && function_ != nullptr; }
  void operator()(HttpRequestDelegate& target, HttpRequest* request, kit::Object* argument) const {
    if (function_) function_(target, request, argument);
  }
  bool operator==(const HttpSelector& other) const noexcept { return name_ == other.name_; }

 private:
  std::string name_;
  Function function_;
};

}  // namespace tolva
