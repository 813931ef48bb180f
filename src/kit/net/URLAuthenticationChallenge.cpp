#include "kit/net/URLAuthenticationChallenge.h"

namespace kit {

std::string URLAuthenticationChallenge::description() const {
  return "<URLAuthenticationChallenge " + space_->description() +
         " previousFailureCount=" + std::to_string(failures_) + ">";
}

}  // namespace kit
