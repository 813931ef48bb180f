#pragma once
// One name and value of a request's query or form body.

#include <string>

namespace tolva {

class OARequestParameter {
 public:
  OARequestParameter(std::string name, std::string value) : name_(std::move(name)), value_(std::move(value)) {}
  static OARequestParameter requestParameterWithName(std::string name, std::string value) {
    return OARequestParameter(std::move(name), std::move(value));
  }

  const std::string& name() const noexcept { return name_; }
  const std::string& value() const noexcept { return value_; }
  std::string URLEncodedName() const;
  std::string URLEncodedValue() const;
  std::string URLEncodedNameValuePair() const;

  bool operator==(const OARequestParameter&) const = default;

 private:
  std::string name_;
  std::string value_;
};

}  // namespace tolva
