#pragma once
// A user name and password given to answer an authentication challenge. Immutable.

#include <string>

#include "kit/foundation/Object.h"

namespace kit {

class URLCredential : public Object {
 public:
  // The platform's values. The URL loading system keeps no credential beyond its own load, so
  // the persistence is carried for callers that store credentials themselves.
  enum class Persistence { None = 0, ForSession = 1, Permanent = 2, Synchronizable = 3 };

  URLCredential(std::string user, std::string password, Persistence persistence = Persistence::ForSession)
      : user_(std::move(user)), password_(std::move(password)), persistence_(persistence) {}
  static Ref<URLCredential> credentialWithUser(std::string user, std::string password,
                                               Persistence persistence = Persistence::ForSession) {
    return Ref<URLCredential>(new URLCredential(std::move(user), std::move(password), persistence));
  }

  const std::string& user() const noexcept { return user_; }
  const std::string& password() const noexcept { return password_; }
  Persistence persistence() const noexcept { return persistence_; }

  std::string className() const override { return "URLCredential"; }
  // Never shows the password.
  std::string description() const override { return "<URLCredential user=" + user_ + ">"; }

 private:
  std::string user_;
  std::string password_;
  Persistence persistence_;
};

}  // namespace kit
