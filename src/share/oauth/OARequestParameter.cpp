#include "share/oauth/OARequestParameter.h"

#include "share/oauth/OAURLEncodingAdditions.h"

namespace tolva {

std::string OARequestParameter::URLEncodedName() const { return OAURLEncodingAdditions::URLEncodedString(name_); }

std::string OARequestParameter::URLEncodedValue() const { return OAURLEncodingAdditions::URLEncodedString(value_); }

std::string OARequestParameter::URLEncodedNameValuePair() const { return URLEncodedName() + "=" + URLEncodedValue(); }

}  // namespace tolva
