#pragma once
// What the social-network client tells its owner about the session. Optional.

namespace tolva {

class SNSessionDelegate {
 public:
  virtual ~SNSessionDelegate() = default;
  virtual void fbDidLogin() {}
  virtual void fbDidNotLogin(bool cancelled) { (void)cancelled; }
  virtual void fbDidLogout() {}
  virtual void fbSessionInvalidated() {}
};

}  // namespace tolva
