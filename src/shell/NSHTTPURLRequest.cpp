#include "shell/NSHTTPURLRequest.h"

namespace tolva::NSHTTPURLRequest {

bool allowsAnyHTTPSCertificateForHost(const std::string&) { return false; }

}  // namespace tolva::NSHTTPURLRequest
