#include "kit/net/URLProtectionSpace.h"

#include <algorithm>
#include <cctype>
#include <functional>

namespace kit {
namespace {

std::string lower(const std::string& s) {
  std::string out(s);
  std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  return out;
}

}  // namespace

size_t URLProtectionSpace::hash() const noexcept {
  return hashCombine(std::hash<std::string>()(lower(host_)), std::hash<int>()(port_));
}

bool URLProtectionSpace::isEqual(const Object* other) const noexcept {
  auto* o = dynamic_cast<const URLProtectionSpace*>(other);
  if (!o) return false;
  return lower(host_) == lower(o->host_) && port_ == o->port_ && protocol_ == o->protocol_ && realm_ == o->realm_ &&
         method_ == o->method_;
}

std::string URLProtectionSpace::description() const {
  return "<URLProtectionSpace " + protocol_ + "://" + host_ + ":" + std::to_string(port_) +
         " realm=" + realm_.value_or("(none)") + " method=" + method_ + ">";
}

}  // namespace kit
