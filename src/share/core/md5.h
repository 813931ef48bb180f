#pragma once
// The MD5 digest of bytes as 32 lower-case hexadecimal digits (the note
// service names an attached resource by it).

#include <string>

#include "kit/foundation/Data.h"

namespace tolva::md5 {

std::string md5(const kit::Data* data);

}  // namespace tolva::md5
