#include "settings/PrefSpecifier.h"

#include "kit/foundation/Number.h"
#include "kit/foundation/String.h"
#include "settings/PrefSettingsReader.h"

namespace tolva {
namespace {

// Text of a description value: a string as written, a number's text, else "".
std::string textOf(const kit::Object* o) {
  if (auto* s = dynamic_cast<const kit::String*>(o)) return s->str();
  if (auto* n = dynamic_cast<const kit::Number*>(o)) return n->description();
  return {};
}

bool boolOf(const kit::Object* o) {
  if (auto* n = dynamic_cast<const kit::Number*>(o)) return n->boolValue();
  if (auto* s = dynamic_cast<const kit::String*>(o)) return s->boolValue();
  return false;
}

float floatOf(const kit::Object* o) {
  if (auto* n = dynamic_cast<const kit::Number*>(o)) return n->floatValue();
  if (auto* s = dynamic_cast<const kit::String*>(o)) return s->floatValue();
  return 0;
}

}  // namespace

PrefSpecifier::PrefSpecifier(kit::Ref<kit::Dictionary> specifier)
    : specifierDict_(specifier ? std::move(specifier) : kit::Dictionary::dictionary()) {
  std::string t = type();
  if (t == kPSMultiValueSpecifier || t == kPSTitleValueSpecifier) {
    kit::Ref<kit::MutableDictionary> values = kit::MutableDictionary::dictionary();
    if (kit::Object* v = specifierDict_->objectForKey("Values")) values->setObject(v, "Values");
    if (kit::Object* v = specifierDict_->objectForKey("Titles")) values->setObject(v, "Titles");
    multipleValuesDict_ = values;
  }
}

std::string PrefSpecifier::stringFor(const char* key) const { return textOf(specifierDict_->objectForKey(key)); }

std::string PrefSpecifier::localized(const std::string& text) const {
  return settingsReader_ ? settingsReader_->titleForStringId(text) : text;
}

std::string PrefSpecifier::localizedObjectForKey(const std::string& key) const {
  return localized(textOf(specifierDict_->objectForKey(key)));
}

std::string PrefSpecifier::type() const { return stringFor("Type"); }
std::string PrefSpecifier::key() const { return stringFor("Key"); }
std::string PrefSpecifier::title() const { return localizedObjectForKey("Title"); }
std::string PrefSpecifier::footerText() const { return localizedObjectForKey("FooterText"); }
std::string PrefSpecifier::file() const { return stringFor("File"); }
std::string PrefSpecifier::viewControllerClass() const { return stringFor("PrefViewControllerClass"); }
std::string PrefSpecifier::viewControllerSelector() const { return stringFor("PrefViewControllerSelector"); }
std::string PrefSpecifier::buttonClass() const { return stringFor("PrefButtonClass"); }
std::string PrefSpecifier::buttonAction() const { return stringFor("PrefButtonAction"); }

kit::Object* PrefSpecifier::defaultValue() const { return specifierDict_->objectForKey("DefaultValue"); }

std::string PrefSpecifier::defaultStringValue() const {
  kit::Object* d = defaultValue();
  return d ? d->description() : std::string();
}

bool PrefSpecifier::defaultBoolValue() const {
  kit::Object* d = defaultValue();
  if (d && kit::isEqual(d, trueValue())) return true;
  if (d && kit::isEqual(d, falseValue())) return false;
  return boolOf(d);
}

kit::Object* PrefSpecifier::trueValue() const { return specifierDict_->objectForKey("TrueValue"); }
kit::Object* PrefSpecifier::falseValue() const { return specifierDict_->objectForKey("FalseValue"); }
float PrefSpecifier::minimumValue() const { return floatOf(specifierDict_->objectForKey("MinimumValue")); }
float PrefSpecifier::maximumValue() const { return floatOf(specifierDict_->objectForKey("MaximumValue")); }
std::string PrefSpecifier::minimumValueImage() const { return stringFor("MinimumValueImage"); }
std::string PrefSpecifier::maximumValueImage() const { return stringFor("MaximumValueImage"); }
bool PrefSpecifier::isSecure() const { return boolOf(specifierDict_->objectForKey("IsSecure")); }

kit::KeyboardType PrefSpecifier::keyboardType() const {
  std::string k = stringFor("KeyboardType");
  if (k == "Alphabet") return kit::KeyboardType::ASCIICapable;
  if (k == "NumbersAndPunctuation") return kit::KeyboardType::NumbersAndPunctuation;
  if (k == "NumberPad") return kit::KeyboardType::NumberPad;
  if (k == "URL") return kit::KeyboardType::URL;
  if (k == "EmailAddress") return kit::KeyboardType::EmailAddress;
  return kit::KeyboardType::Default;
}

kit::TextAutocapitalizationType PrefSpecifier::autocapitalizationType() const {
  std::string k = stringFor("AutocapitalizationType");
  if (k == "Sentences") return kit::TextAutocapitalizationType::Sentences;
  if (k == "Words") return kit::TextAutocapitalizationType::Words;
  if (k == "AllCharacters") return kit::TextAutocapitalizationType::AllCharacters;
  return kit::TextAutocapitalizationType::None;
}

kit::TextAutocorrectionType PrefSpecifier::autoCorrectionType() const {
  std::string k = stringFor("AutocorrectionType");
  if (k == "No") return kit::TextAutocorrectionType::No;
  if (k == "Yes") return kit::TextAutocorrectionType::Yes;
  return kit::TextAutocorrectionType::Default;
}

kit::Array* PrefSpecifier::multipleValues() const {
  return multipleValuesDict_ ? multipleValuesDict_->get<kit::Array>("Values") : nullptr;
}

kit::Array* PrefSpecifier::multipleTitles() const {
  return multipleValuesDict_ ? multipleValuesDict_->get<kit::Array>("Titles") : nullptr;
}

size_t PrefSpecifier::multipleValuesCount() const {
  kit::Array* values = multipleValues();
  return values ? values->count() : 0;
}

std::optional<std::string> PrefSpecifier::titleForCurrentValue(const kit::Object* value) const {
  kit::Array* values = multipleValues();
  kit::Array* titles = multipleTitles();
  if (!values || !titles || !value || values->count() != titles->count()) return std::nullopt;
  size_t i = values->indexOfObject(value);
  if (i == kit::Array::kNotFound) return std::nullopt;
  return localized(textOf(titles->objectAtIndex(i)));
}

}  // namespace tolva
