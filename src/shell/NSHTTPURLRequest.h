#pragma once
// The process-wide answer to whether any server certificate may be accepted
// for a host. It is always no: certificates are verified for every host, so
// a forged or broken certificate never shows a page as if it were sound.

#include <string>

namespace tolva::NSHTTPURLRequest {

bool allowsAnyHTTPSCertificateForHost(const std::string& host);

}  // namespace tolva::NSHTTPURLRequest
