#include "share/support/ShareTestSharer.h"

#include "kit/foundation/RunLoop.h"
#include "kit/net/URLError.h"
#include "share/core/Share.h"
#include "share/ui/ShareFormController.h"

namespace sharetest {

TestSharerScript& TestSharerScript::shared() {
  static TestSharerScript script;
  return script;
}

void ShareTestSharer::registerClass() {
  tolva::ShareSharer::registerSharerClass<ShareTestSharer>(kit::ClassRegistry::shared(), kName);
}

void ShareTestSharer::authorizationFormValidate(tolva::ShareFormController* form) { form->saveForm(); }

bool ShareTestSharer::send() {
  if (!validateItem()) return false;
  TestSharerScript& script = TestSharerScript::shared();
  Outcome outcome = script.fallback;
  if (!script.outcomes.empty()) {
    outcome = script.outcomes.front();
    script.outcomes.pop_front();
  }
  if (outcome == Outcome::Refuse) return false;
  script.sent.push_back(kit::Ref<tolva::ShareItem>(item()));
  if (script.onSend) script.onSend(*this);
  sendDidStart();
  switch (outcome) {
    case Outcome::Success: {
      kit::Ref<ShareTestSharer> self(this);
      kit::RunLoop::main().performAfterDelay(this, "finish", nullptr, script.delay, [self] { self->sendDidFinish(); });
      break;
    }
    case Outcome::Failure:
      sendDidFailWithError(tolva::Share::error("The service said no").get());
      break;
    case Outcome::TemporaryFailure:
      // As the real sharers report a service that gave no answer.
      sendDidFailWithError(
          tolva::Share::error("No answer", kit::URLError::make(kit::URLError::kCannotConnectToHost, nullptr)).get());
      break;
    case Outcome::Cancel:
      sendDidCancel();
      break;
    case Outcome::Relogin:
      shouldReloginWithPendingAction(tolva::SharePendingActionSend);
      break;
    default: break;
  }
  return true;
}

}  // namespace sharetest
