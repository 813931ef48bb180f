#pragma once
// One entry of a settings description: the raw dictionary of a specifier
// and typed answers about it. Titles, footers and value titles are
// localisation keys, translated through the owning reader's settings bundle;
// without a reader they are answered as written.
//
// Values of the wrong type in the description never fail: a string key
// holding a number answers the number's text, anything else answers empty,
// false or 0.

#include <optional>
#include <string>

#include "kit/foundation/Array.h"
#include "kit/foundation/Dictionary.h"
#include "kit/ui/TextInputTraits.h"

namespace tolva {

class PrefSettingsReader;

// Specifier types of a settings description.
inline constexpr const char* kPSGroupSpecifier = "PSGroupSpecifier";
inline constexpr const char* kPSToggleSwitchSpecifier = "PSToggleSwitchSpecifier";
inline constexpr const char* kPSMultiValueSpecifier = "PSMultiValueSpecifier";
inline constexpr const char* kPSTitleValueSpecifier = "PSTitleValueSpecifier";
inline constexpr const char* kPSTextFieldSpecifier = "PSTextFieldSpecifier";
inline constexpr const char* kPSSliderSpecifier = "PSSliderSpecifier";
inline constexpr const char* kPSChildPaneSpecifier = "PSChildPaneSpecifier";
inline constexpr const char* kPrefOpenURLSpecifier = "PrefOpenURLSpecifier";
inline constexpr const char* kPrefButtonSpecifier = "PrefButtonSpecifier";
inline constexpr const char* kPrefMailComposeSpecifier = "PrefMailComposeSpecifier";
inline constexpr const char* kPrefCustomViewSpecifier = "PrefCustomViewSpecifier";

class PrefSpecifier : public kit::Object {
 public:
  explicit PrefSpecifier(kit::Ref<kit::Dictionary> specifier);

  // The raw value under a key, translated when it is text.
  std::string localizedObjectForKey(const std::string& key) const;

  std::string type() const;
  std::string key() const;
  std::string title() const;
  std::string footerText() const;
  std::string file() const;
  std::string viewControllerClass() const;
  std::string viewControllerSelector() const;
  std::string buttonClass() const;
  std::string buttonAction() const;

  kit::Object* defaultValue() const;
  // The default value's description ("" when there is none).
  std::string defaultStringValue() const;
  // YES when the default equals TrueValue, NO when it equals FalseValue, else its boolean value.
  bool defaultBoolValue() const;
  kit::Object* trueValue() const;
  kit::Object* falseValue() const;
  float minimumValue() const;
  float maximumValue() const;
  std::string minimumValueImage() const;
  std::string maximumValueImage() const;
  bool isSecure() const;
  kit::KeyboardType keyboardType() const;
  kit::TextAutocapitalizationType autocapitalizationType() const;
  kit::TextAutocorrectionType autoCorrectionType() const;

  // Values and Titles of a value list (multi-value and title-value types);
  // null when absent or not arrays.
  kit::Array* multipleValues() const;
  kit::Array* multipleTitles() const;
  // The count of Values.
  size_t multipleValuesCount() const;
  // The translated title of a value, when Titles and Values have the same
  // count and the value is among the Values; else nullopt.
  std::optional<std::string> titleForCurrentValue(const kit::Object* value) const;

  kit::Dictionary* specifierDict() const noexcept { return specifierDict_.get(); }
  kit::Dictionary* multipleValuesDict() const noexcept { return multipleValuesDict_.get(); }
  // The reader that handed this specifier out last (not owned).
  PrefSettingsReader* settingsReader() const noexcept { return settingsReader_; }
  void setSettingsReader(PrefSettingsReader* reader) { settingsReader_ = reader; }

  std::string className() const override { return "PrefSpecifier"; }

 private:
  std::string stringFor(const char* key) const;
  std::string localized(const std::string& text) const;

  kit::Ref<kit::Dictionary> specifierDict_;
  kit::Ref<kit::Dictionary> multipleValuesDict_;
  PrefSettingsReader* settingsReader_ = nullptr;
};

}  // namespace tolva
