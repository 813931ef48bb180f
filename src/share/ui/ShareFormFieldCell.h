#pragma once
// A row of a share form: the label on the left and, by the field's type, a
// text field, a switch or the chosen options with a disclosure indicator.

#include <string>

#include "kit/ui/Switch.h"
#include "kit/ui/TableViewCell.h"
#include "kit/ui/TextField.h"
#include "share/ui/ShareFormFieldSettings.h"

namespace tolva {

class ShareFormController;

class ShareFormFieldCell : public kit::TableViewCell {
 public:
  explicit ShareFormFieldCell(std::string reuseIdentifier);

  kit::TextField* getTextField();
  void layoutSubviews() override;
  void setSelected(bool selected, bool animated = false) override;
  void setSettings(ShareFormFieldSettings* settings);
  // Keeps the value (a control made later shows it) and shows it.
  void setValue(const std::string& value);
  // The text field's text, "1" or "0" for a switch, the chosen options' text.
  std::string getValue();

  ShareFormFieldSettings* settings() const noexcept { return settings_.get(); }
  double labelWidth() const noexcept { return labelWidth_; }
  void setLabelWidth(double w) { labelWidth_ = w; }
  kit::TextField* textField() const noexcept { return textField_.get(); }
  void setTextField(kit::TextField* f) { textField_ = f; }
  kit::Switch* toggle() const noexcept { return toggle_.get(); }
  void setToggle(kit::Switch* s) { toggle_ = s; }
  const std::string& tmpValue() const noexcept { return tmpValue_; }
  void setTmpValue(std::string v) { tmpValue_ = std::move(v); }
  ShareFormController* form() const noexcept { return form_; }
  void setForm(ShareFormController* f) { form_ = f; }

  std::string className() const override { return "ShareFormFieldCell"; }

 private:
  kit::Switch* getToggle();

  kit::Ref<ShareFormFieldSettings> settings_;
  double labelWidth_ = 0;
  kit::Ref<kit::TextField> textField_;
  kit::Ref<kit::Switch> toggle_;
  std::string tmpValue_;
  ShareFormController* form_ = nullptr;
};

}  // namespace tolva
