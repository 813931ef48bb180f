#pragma once
// A sharer of the tests' own, with no network service behind it: it can
// share every type, logs in with the base class's two fields, and answers
// each send with the next scripted outcome (success after a delay on the
// run loop by default). Every send is recorded.

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "share/core/ShareSharer.h"

namespace sharetest {

enum class Outcome {
  Success,         // sendDidFinish after `delay`
  Failure,         // sendDidFailWithError with `failure` at once
  TemporaryFailure,  // the service gave no answer, at once
  Relogin,         // the service refused the stored login
  Cancel,          // the sharer reports it was cancelled
  NoReport,        // send starts and never reports
  Refuse,          // send answers NO
};

struct TestSharerScript {
  std::deque<Outcome> outcomes;  // taken in order; then `fallback`
  Outcome fallback = Outcome::Success;
  double delay = 0.5;
  bool requiresAuthentication = true;
  bool canShareOffline = true;
  // Called on every send before the outcome (the crash helper logs there).
  std::function<void(tolva::ShareSharer&)> onSend;
  std::vector<kit::Ref<tolva::ShareItem>> sent;

  static TestSharerScript& shared();
  void reset() { *this = TestSharerScript(); }
};

class ShareTestSharer : public tolva::ShareSharer {
 public:
  static constexpr const char* kName = "ShareTestSharer";
  static void registerClass();

  std::string sharerTitle() const override { return "Test Service"; }
  bool canShareText() const override { return true; }
  bool canShareURL() const override { return true; }
  bool canShareImage() const override { return true; }
  bool canShareFile() const override { return true; }
  bool canShareOffline() const override { return TestSharerScript::shared().canShareOffline; }
  bool requiresAuthentication() const override { return TestSharerScript::shared().requiresAuthentication; }
  // The service has nothing to check: the login is taken as typed.
  void authorizationFormValidate(tolva::ShareFormController* form) override;
  bool send() override;

  std::string className() const override { return kName; }
};

}  // namespace sharetest
