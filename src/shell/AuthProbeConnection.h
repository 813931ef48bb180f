#pragma once
// The plain connection the page view opens to learn whether a page asks for
// an HTTP login. A seam over the platform's URL connection: the program's
// factory makes real connections, tests install one that answers as a
// server would. Until kit's asynchronous connection is wired in, the
// built-in factory makes connections that never answer, so no probe ever
// reports a login.

#include <functional>
#include <string>

#include "kit/foundation/Error.h"
#include "kit/foundation/Object.h"
#include "kit/net/URLRequest.h"

namespace tolva {

class AuthProbeConnection;

class AuthProbeConnectionDelegate {
 public:
  virtual ~AuthProbeConnectionDelegate() = default;
  // The server asked for credentials; `challenge` describes what it asked.
  virtual void connectionDidReceiveAuthenticationChallenge(AuthProbeConnection& connection,
                                                           const std::string& challenge) = 0;
  virtual void connectionDidReceiveResponse(AuthProbeConnection& connection) = 0;
  virtual void connectionDidFailWithError(AuthProbeConnection& connection, kit::Error* error) = 0;
};

class AuthProbeConnection : public kit::Object {
 public:
  using Factory = std::function<kit::Ref<AuthProbeConnection>(kit::URLRequest& request,
                                                               AuthProbeConnectionDelegate* delegate)>;

  // Starts a connection for the request; null when none could be made.
  static kit::Ref<AuthProbeConnection> connectionWithRequest(kit::URLRequest& request,
                                                             AuthProbeConnectionDelegate* delegate);
  // Null restores the built-in factory.
  static void setFactory(Factory factory);

  explicit AuthProbeConnection(AuthProbeConnectionDelegate* delegate) : delegate_(delegate) {}

  AuthProbeConnectionDelegate* delegate() const noexcept { return delegate_; }
  // After this the delegate hears nothing more.
  void clearDelegate() { delegate_ = nullptr; }
  virtual void cancel() { cancelled_ = true; }
  bool isCancelled() const noexcept { return cancelled_; }

  std::string className() const override { return "AuthProbeConnection"; }

 private:
  AuthProbeConnectionDelegate* delegate_;
  bool cancelled_ = false;
};

}  // namespace tolva
