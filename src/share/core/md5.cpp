#include "share/core/md5.h"

#include "kit/security/Digest.h"

namespace tolva::md5 {

std::string md5(const kit::Data* data) { return kit::Digest::md5Hex(data ? data->view() : std::string_view()); }

}  // namespace tolva::md5
