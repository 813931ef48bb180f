#pragma once
// One row of a share form: its label, the key of its value, its type, a
// start value and, for an option list, the description of the list.
//
// Option-list description keys: "title" (the picker's title), "curIndexes"
// ("-1" for none, else row numbers joined by ","), "itemsList" (array of
// texts), "static" (whether the items are given), "allowMultiple", and
// "ShareFormOptionControllerOptionProvider" (the provider of a list that is
// not static).

#include <string>

#include "kit/foundation/Dictionary.h"

namespace tolva {

enum ShareFormFieldType : int {
  ShareFormFieldTypeText = 0,
  ShareFormFieldTypeTextNoCorrect = 1,
  ShareFormFieldTypePassword = 2,
  ShareFormFieldTypeSwitch = 3,
  ShareFormFieldTypeOptionPicker = 4,
};

class ShareFormFieldSettings : public kit::Object {
 public:
  static kit::Ref<ShareFormFieldSettings> label(std::string label, std::string key, int type, std::string start,
                                                kit::Ref<kit::MutableDictionary> optionPickerInfo = nullptr);

  // The item texts at the given row numbers joined by ","; "-1" for none.
  // Row numbers that are no number or no row are skipped.
  std::string optionPickerValueForIndexes(const std::string& indexes) const;

  const std::string& label() const noexcept { return label_; }
  void setLabel(std::string l) { label_ = std::move(l); }
  const std::string& key() const noexcept { return key_; }
  void setKey(std::string k) { key_ = std::move(k); }
  int type() const noexcept { return type_; }
  void setType(int t) { type_ = t; }
  const std::string& start() const noexcept { return start_; }
  void setStart(std::string s) { start_ = std::move(s); }
  kit::MutableDictionary* optionPickerInfo() const noexcept { return optionPickerInfo_.get(); }
  void setOptionPickerInfo(kit::Ref<kit::MutableDictionary> info) { optionPickerInfo_ = std::move(info); }

  std::string className() const override { return "ShareFormFieldSettings"; }

 private:
  std::string label_;
  std::string key_;
  int type_ = ShareFormFieldTypeText;
  std::string start_;
  kit::Ref<kit::MutableDictionary> optionPickerInfo_;
};

}  // namespace tolva
