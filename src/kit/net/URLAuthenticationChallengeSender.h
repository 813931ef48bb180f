#pragma once
// What answers an authentication challenge: the URL connection that raised it. Exactly one answer
// counts per challenge; later ones, and answers to a challenge that is no longer the pending one
// (the connection was cancelled, or it moved on), are ignored. Answers may come from any thread
// and at any later time; the sender acts on them on its own run loop.

#include "kit/foundation/Object.h"

namespace kit {

class URLAuthenticationChallenge;
class URLCredential;

class URLAuthenticationChallengeSender : public Object {
 public:
  // Sends the request again with the credential. Only Basic challenges are answered this way;
  // for another method it acts as continueWithoutCredentialForAuthenticationChallenge.
  virtual void useCredential(URLCredential& credential, URLAuthenticationChallenge& challenge) = 0;
  // Goes on without authenticating: the 401 response and its body are delivered as the answer.
  virtual void continueWithoutCredentialForAuthenticationChallenge(URLAuthenticationChallenge& challenge) = 0;
  // Gives up: the load fails with URLError::kUserCancelledAuthentication.
  virtual void cancelAuthenticationChallenge(URLAuthenticationChallenge& challenge) = 0;
  // What happens when nobody answers: use the credential of the URL's user information the first
  // time, otherwise continue without a credential.
  virtual void performDefaultHandlingForAuthenticationChallenge(URLAuthenticationChallenge& challenge) = 0;
};

}  // namespace kit
