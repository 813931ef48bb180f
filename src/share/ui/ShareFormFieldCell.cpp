#include "share/ui/ShareFormFieldCell.h"

#include <cmath>

#include "kit/ui/Label.h"
#include "share/core/ShareConfiguration.h"
#include "share/ui/ShareFormController.h"

namespace tolva {

ShareFormFieldCell::ShareFormFieldCell(std::string reuseIdentifier)
    : kit::TableViewCell(kit::TableViewCell::Style::Value1, std::move(reuseIdentifier)) {}

kit::TextField* ShareFormFieldCell::getTextField() {
  if (!textField_) {
    textField_ = kit::make<kit::TextField>(kit::Rect{0, 0, 0, 25});
    textField_->setClearsOnBeginEditing(false);
    textField_->setReturnKeyType(kit::ReturnKeyType::Done);
    textField_->setFont(kit::Font::systemFont(17));
    textField_->setTextColor(kit::Color::darkGrayColor());
    textField_->setDelegate(form_);
    textField_->setText(tmpValue_);
    contentView()->addSubview(textField_.get());
  }
  return textField_.get();
}

kit::Switch* ShareFormFieldCell::getToggle() {
  if (!toggle_) {
    toggle_ = kit::make<kit::Switch>();
    toggle_->setOn(tmpValue_ == "1");
    contentView()->addSubview(toggle_.get());
  }
  return toggle_.get();
}

void ShareFormFieldCell::setSettings(ShareFormFieldSettings* settings) {
  settings_ = settings;
  setNeedsLayout();
}

void ShareFormFieldCell::layoutSubviews() {
  kit::TableViewCell::layoutSubviews();
  if (!settings_) return;
  const double w = contentView()->bounds().width();
  const double h = contentView()->bounds().height();
  const double L = labelWidth_;
  const int type = settings_->type();
  const bool placeholders = ShareConfiguration::boolValue("usePlaceholders");
  auto hide = [](kit::View* v) {
    if (v) v->setHidden(true);
  };
  if (type == ShareFormFieldTypeText || type == ShareFormFieldTypeTextNoCorrect ||
      type == ShareFormFieldTypePassword) {
    kit::TextField* field = getTextField();
    field->setHidden(false);
    field->setSecureTextEntry(type == ShareFormFieldTypePassword);
    if (type != ShareFormFieldTypeText) {
      field->setAutocapitalizationType(kit::TextAutocapitalizationType::None);
      field->setAutocorrectionType(kit::TextAutocorrectionType::No);
    }
    const double fh = field->frame().height();
    field->setFrame({L + 24, (h / 2 - fh / 2) + 2, w - 34 - L, fh});
    contentView()->bringSubviewToFront(field);
    textLabel()->setHidden(placeholders);
    hide(detailTextLabel());
    hide(toggle_.get());
  } else if (type == ShareFormFieldTypeSwitch) {
    kit::Switch* sw = getToggle();
    sw->setHidden(false);
    sw->sizeToFit();
    const kit::Rect f = sw->frame();
    sw->setFrame({w - f.width() - 10, std::round(h / 2 - f.height() / 2), f.width(), f.height()});
    textLabel()->setHidden(false);
    hide(textField_.get());
    hide(detailTextLabel());
  } else if (type == ShareFormFieldTypeOptionPicker) {
    setAccessoryType(AccessoryType::DisclosureIndicator);
    if (kit::Label* detail = detailTextLabel()) {
      detail->setHidden(false);
      const double dh = detail->frame().height();
      detail->setFrame({L + 24, std::round(h / 2 - dh / 2), w - 34 - L, dh});
    }
    textLabel()->setHidden(false);
    hide(textField_.get());
    hide(toggle_.get());
  }
}

void ShareFormFieldCell::setSelected(bool selected, bool animated) {
  kit::TableViewCell::setSelected(selected, animated);
  if (!textField_ || textField_->isHidden()) return;
  if (selected)
    textField_->becomeFirstResponder();
  else
    textField_->resignFirstResponder();
}

void ShareFormFieldCell::setValue(const std::string& value) {
  tmpValue_ = value;
  const int type = settings_ ? settings_->type() : ShareFormFieldTypeText;
  if (type == ShareFormFieldTypeSwitch) {
    getToggle()->setOn(value == "1");
  } else if (type == ShareFormFieldTypeOptionPicker) {
    if (detailTextLabel()) detailTextLabel()->setText(value);
  } else {
    getTextField()->setText(value);
  }
}

std::string ShareFormFieldCell::getValue() {
  const int type = settings_ ? settings_->type() : ShareFormFieldTypeText;
  if (type == ShareFormFieldTypeSwitch) return toggle_ ? (toggle_->isOn() ? "1" : "0") : tmpValue_;
  if (type == ShareFormFieldTypeOptionPicker) return detailTextLabel() ? detailTextLabel()->text() : tmpValue_;
  return textField_ ? textField_->text() : tmpValue_;
}

}  // namespace tolva
