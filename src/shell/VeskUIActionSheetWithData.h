#pragma once
// An action sheet that carries the data its buttons act on (say, a form's
// fields and the site they belong to), so that whoever answers the sheet
// finds them on it. Two values are kept as copies taken when set, two as
// the objects themselves; all go with the sheet.

#include <string>
#include <vector>

#include "kit/ui/ActionSheet.h"

namespace tolva {

class VeskUIActionSheetWithData : public kit::ActionSheet {
 public:
  VeskUIActionSheetWithData() = default;
  VeskUIActionSheetWithData(std::string title, kit::ActionSheetDelegate* delegate, std::string cancelButtonTitle,
                            std::string destructiveButtonTitle, std::vector<std::string> otherButtonTitles = {})
      : kit::ActionSheet(std::move(title), delegate, std::move(cancelButtonTitle), std::move(destructiveButtonTitle),
                         std::move(otherButtonTitles)) {}

  kit::Object* copiedData() const noexcept { return copiedData_.get(); }
  // Keeps an immutable copy: later changes to `data` do not reach the sheet.
  void setCopiedData(const kit::Object* data) { copiedData_ = copyOf(data); }
  kit::Object* copiedData2() const noexcept { return copiedData2_.get(); }
  void setCopiedData2(const kit::Object* data) { copiedData2_ = copyOf(data); }
  kit::Object* retainedData() const noexcept { return retainedData_.get(); }
  void setRetainedData(kit::Object* data) { retainedData_ = data; }
  kit::Object* retainedData2() const noexcept { return retainedData2_.get(); }
  void setRetainedData2(kit::Object* data) { retainedData2_ = data; }

  std::string className() const override { return "VeskUIActionSheetWithData"; }

 private:
  static kit::Ref<kit::Object> copyOf(const kit::Object* data) { return data ? data->copy() : nullptr; }

  kit::Ref<kit::Object> copiedData_, copiedData2_;
  kit::Ref<kit::Object> retainedData_, retainedData2_;
};

}  // namespace tolva
