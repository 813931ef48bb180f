#pragma once
// A server's demand for credentials (an HTTP 401 with WWW-Authenticate), handed to a connection's
// delegate: where (protection space), how often it failed already, a proposed credential (the
// URL's user information, when it has one), the 401 response, and the sender to answer.
// The challenge holds its sender weakly: once the connection is gone, sender() is null.

#include <cstdint>

#include "kit/foundation/Error.h"
#include "kit/foundation/Object.h"
#include "kit/net/HTTPURLResponse.h"
#include "kit/net/URLAuthenticationChallengeSender.h"
#include "kit/net/URLCredential.h"
#include "kit/net/URLProtectionSpace.h"

namespace kit {

class URLAuthenticationChallenge : public Object {
 public:
  URLAuthenticationChallenge(Ref<URLProtectionSpace> space, Ref<URLCredential> proposedCredential,
                             long previousFailureCount, Ref<HTTPURLResponse> failureResponse,
                             URLAuthenticationChallengeSender* sender)
      : space_(std::move(space)),
        proposed_(std::move(proposedCredential)),
        failures_(previousFailureCount),
        response_(std::move(failureResponse)),
        sender_(sender) {}

  URLProtectionSpace& protectionSpace() const noexcept { return *space_; }
  // Null when there is none.
  URLCredential* proposedCredential() const noexcept { return proposed_.get(); }
  // How many times credentials for this protection space failed during this load.
  long previousFailureCount() const noexcept { return failures_; }
  HTTPURLResponse* failureResponse() const noexcept { return response_.get(); }
  // Always null: challenges come from responses, not from errors.
  Error* error() const noexcept { return nullptr; }
  // Null once the connection that raised the challenge is gone.
  Ref<URLAuthenticationChallengeSender> sender() const { return sender_.lock(); }

  std::string className() const override { return "URLAuthenticationChallenge"; }
  std::string description() const override;

 private:
  Ref<URLProtectionSpace> space_;
  Ref<URLCredential> proposed_;
  long failures_;
  Ref<HTTPURLResponse> response_;
  WeakRef<URLAuthenticationChallengeSender> sender_;
};

}  // namespace kit
