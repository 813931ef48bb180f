#include "kit/net/NetError.h"

#include "kit/foundation/Number.h"
#include "kit/foundation/String.h"

namespace kit {

Ref<Error> NetError::make(Code code, const std::string& description, Ref<Error> underlying) {
  return Error::errorWithDescription(kDomain, code, description, std::move(underlying));
}

Ref<Error> NetError::tlsFailure(const std::string& sslText, long verifyResult) {
  auto info = MutableDictionary::dictionary();
  info->setObject(str("TLS failure: " + sslText), Error::kLocalizedDescriptionKey);
  info->setObject(str(sslText), kSSLErrorTextKey);
  info->setObject(Number::numberWithLong(verifyResult), kSSLVerifyResultKey);
  return Error::errorWithDomain(kDomain, kTLSFailure, info);
}

bool NetError::is(const Error* error, Code code) noexcept {
  return error && error->domain() == kDomain && error->code() == code;
}

std::string NetError::sslErrorText(const Error* error) {
  if (!isTLSFailure(error)) return {};
  if (auto* s = error->userInfo()->get<String>(kSSLErrorTextKey)) return s->str();
  return {};
}

}  // namespace kit
