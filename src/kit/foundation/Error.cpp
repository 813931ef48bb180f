#include "kit/foundation/Error.h"

#include <cstring>

#include "kit/foundation/String.h"

namespace kit {

Ref<Error> Error::errorWithDescription(std::string domain, long code, const std::string& description,
                                       Ref<Error> underlying) {
  auto info = MutableDictionary::dictionary();
  info->setObject(str(description), kLocalizedDescriptionKey);
  if (underlying) info->setObject(underlying, kUnderlyingErrorKey);
  return errorWithDomain(std::move(domain), code, info);
}

Ref<Error> Error::posixError(int err, const std::string& path) {
  auto info = MutableDictionary::dictionary();
  std::string text = std::strerror(err);
  if (!path.empty()) {
    info->setObject(str(path), kFilePathErrorKey);
    text += ": " + path;
  }
  info->setObject(str(text), kLocalizedDescriptionKey);
  return errorWithDomain(kPOSIXErrorDomain, err, info);
}

Dictionary* Error::userInfo() const {
  if (!userInfo_) userInfo_ = Dictionary::dictionary();
  return userInfo_.get();
}

std::string Error::localizedDescription() const {
  if (auto* s = userInfo()->get<String>(kLocalizedDescriptionKey)) return s->str();
  return "The operation couldn't be completed. (" + domain_ + " error " + std::to_string(code_) + ".)";
}

Error* Error::underlyingError() const { return userInfo()->get<Error>(kUnderlyingErrorKey); }

size_t Error::hash() const noexcept { return hashCombine(String::hashBytes(domain_), static_cast<size_t>(code_)); }

bool Error::isEqual(const Object* other) const noexcept {
  if (other == this) return true;
  auto* o = dynamic_cast<const Error*>(other);
  return o && o->domain_ == domain_ && o->code_ == code_ && kit::isEqual(o->userInfo(), userInfo());
}

std::string Error::description() const {
  return "Error Domain=" + domain_ + " Code=" + std::to_string(code_) + " \"" + localizedDescription() + "\"";
}

}  // namespace kit
