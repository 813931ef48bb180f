#pragma once
// Supplies the items of an option list that is not static: it starts listing
// for a picker and answers it with optionsEnumerated or
// optionsEnumerationFailedWithError.

#include "kit/foundation/Object.h"

namespace tolva {

class ShareFormOptionController;

class ShareFormOptionControllerOptionProvider : public kit::Object {
 public:
  virtual void ShareFormOptionControllerEnumerateOptions(ShareFormOptionController* picker) = 0;
  virtual void ShareFormOptionControllerCancelEnumerateOptions(ShareFormOptionController* picker) = 0;

  std::string className() const override { return "ShareFormOptionControllerOptionProvider"; }
};

}  // namespace tolva
