#pragma once
// Finds the settings description for the device, loads it and splits its
// "PreferenceSpecifiers" into sections: a group specifier opens a section
// (and is its heading), every other specifier joins the current one, and
// specifiers before the first group form a section without heading.
//
// Where the file is looked for, first match wins, for a name such as "Root":
// in the main bundle, under "AppSettings.bundle" then "Settings.bundle"; in
// each, extension ".inApp.plist" then ".plist"; for each, the device suffix
// ("~ipad" on a tablet, "~iphone" otherwise) then none. With no match the
// last candidate (Settings.bundle/Root.plist) is taken and reads as empty.
//
// Texts are translated with the table "Root" of the bundle the file lives in,
// whichever file was read.

#include <optional>
#include <string>
#include <vector>

#include "kit/foundation/Bundle.h"
#include "kit/foundation/Dictionary.h"
#include "kit/ui/IndexPath.h"
#include "settings/PrefSpecifier.h"

namespace tolva {

class PrefSettingsReader : public kit::Object {
 public:
  struct Section {
    // The group specifier that opened the section; null for the leading section without one.
    kit::Ref<kit::Dictionary> heading;
    std::vector<kit::Ref<PrefSpecifier>> specifiers;
  };

  // The file "Root".
  PrefSettingsReader();
  explicit PrefSettingsReader(const std::string& file);
  ~PrefSettingsReader() override;

  long numberOfSections() const;
  // 0 for a section out of range.
  long numberOfRowsForSection(long section) const;
  // Null for a row out of range; the specifier's reader becomes this one.
  PrefSpecifier* specifierForIndexPath(const kit::IndexPath& path);
  // The first specifier with that key, in section then row order.
  PrefSpecifier* specifierForKey(const std::string& key) const;
  // The group's translated Title / FooterText, and its Key; empty without a heading.
  std::string titleForSection(long section) const;
  std::string keyForSection(long section) const;
  std::string footerTextForSection(long section) const;

  // Translated through the settings bundle's table "Root"; the text itself when untranslated.
  std::string titleForStringId(const std::string& stringId) const;
  std::string pathForImageNamed(const std::string& name) const;

  static std::string platformSuffix();
  static std::string file(const std::string& file, const std::string& bundle, const std::string& suffix,
                          const std::string& extension);
  static std::string locateSettingsFile(const std::string& file);

  const std::string& path() const noexcept { return path_; }
  const std::string& bundlePath() const noexcept { return bundlePath_; }
  // The loaded property list; null when the file was missing or unreadable.
  kit::Dictionary* settingsBundle() const noexcept { return settingsBundle_.get(); }
  const std::vector<Section>& dataSource() const noexcept { return dataSource_; }

  std::string className() const override { return "PrefSettingsReader"; }

 private:
  void reinterpretBundle(const kit::Dictionary& plist);
  const Section* sectionAt(long section) const;

  std::string path_;
  std::string bundlePath_;
  kit::Ref<kit::Dictionary> settingsBundle_;
  std::vector<Section> dataSource_;
  kit::Ref<kit::Bundle> bundle_;
};

}  // namespace tolva
