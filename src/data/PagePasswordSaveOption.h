#pragma once
// The user's answer, per site, to the question whether to save a login.

namespace tolva {

enum PagePasswordSaveOption : int {
  kPagePasswordAsk = 0,            // also when none is stored
  kPagePasswordQuestionShown = 1,  // on screen, not answered yet
  kPagePasswordNeverAsk = 2,
  kPagePasswordSaved = 3,
};

}  // namespace tolva
