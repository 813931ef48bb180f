#include "settings/PrefSettingsReader.h"

#include <filesystem>

#include "kit/foundation/PropertyList.h"
#include "kit/foundation/String.h"
#include "kit/ui/Device.h"

namespace tolva {
namespace {

std::string textOf(const kit::Object* o) {
  auto* s = dynamic_cast<const kit::String*>(o);
  return s ? s->str() : std::string();
}

}  // namespace

PrefSettingsReader::PrefSettingsReader() : PrefSettingsReader("Root") {}

PrefSettingsReader::PrefSettingsReader(const std::string& file) {
  path_ = locateSettingsFile(file);
  // A name that would lead out of the settings bundles reads as no description.
  bool safe = !file.empty() && file.find('/') == std::string::npos && file.find('\0') == std::string::npos;
  kit::Ref<kit::Object> plist = safe ? kit::PropertyList::readFromFile(path_) : nullptr;
  bundlePath_ = std::filesystem::path(path_).parent_path().string();
  bundle_ = kit::make<kit::Bundle>(bundlePath_);
  if (auto* d = dynamic_cast<kit::Dictionary*>(plist.get())) {
    settingsBundle_ = d;
    reinterpretBundle(*d);
  }
}

PrefSettingsReader::~PrefSettingsReader() {
  // Specifiers handed out may outlive the reader; they must not reach back.
  for (auto& section : dataSource_) {
    for (auto& s : section.specifiers) {
      if (s->settingsReader() == this) s->setSettingsReader(nullptr);
    }
  }
}

void PrefSettingsReader::reinterpretBundle(const kit::Dictionary& plist) {
  auto* specifiers = plist.get<kit::Array>("PreferenceSpecifiers");
  if (!specifiers) return;
  for (kit::Object* entry : *specifiers) {
    auto* dict = dynamic_cast<kit::Dictionary*>(entry);
    if (!dict) continue;  // not a specifier at all
    if (textOf(dict->objectForKey("Type")) == kPSGroupSpecifier) {
      dataSource_.push_back({kit::Ref<kit::Dictionary>(dict), {}});
      continue;
    }
    if (dataSource_.empty()) dataSource_.push_back({nullptr, {}});
    kit::Ref<PrefSpecifier> specifier(new PrefSpecifier(dict));
    specifier->setSettingsReader(this);
    dataSource_.back().specifiers.push_back(specifier);
  }
}

const PrefSettingsReader::Section* PrefSettingsReader::sectionAt(long section) const {
  if (section < 0 || section >= static_cast<long>(dataSource_.size())) return nullptr;
  return &dataSource_[section];
}

long PrefSettingsReader::numberOfSections() const { return static_cast<long>(dataSource_.size()); }

long PrefSettingsReader::numberOfRowsForSection(long section) const {
  const Section* s = sectionAt(section);
  return s ? static_cast<long>(s->specifiers.size()) : 0;
}

PrefSpecifier* PrefSettingsReader::specifierForIndexPath(const kit::IndexPath& path) {
  const Section* s = sectionAt(path.section);
  if (!s || path.row < 0 || path.row >= static_cast<long>(s->specifiers.size())) return nullptr;
  PrefSpecifier* specifier = s->specifiers[path.row].get();
  specifier->setSettingsReader(this);
  return specifier;
}

PrefSpecifier* PrefSettingsReader::specifierForKey(const std::string& key) const {
  for (const auto& section : dataSource_) {
    for (const auto& s : section.specifiers) {
      if (s->key() == key) return s.get();
    }
  }
  return nullptr;
}

std::string PrefSettingsReader::titleForSection(long section) const {
  const Section* s = sectionAt(section);
  if (!s || !s->heading) return {};
  return titleForStringId(textOf(s->heading->objectForKey("Title")));
}

std::string PrefSettingsReader::keyForSection(long section) const {
  const Section* s = sectionAt(section);
  if (!s || !s->heading) return {};
  return textOf(s->heading->objectForKey("Key"));
}

std::string PrefSettingsReader::footerTextForSection(long section) const {
  const Section* s = sectionAt(section);
  if (!s || !s->heading) return {};
  return titleForStringId(textOf(s->heading->objectForKey("FooterText")));
}

std::string PrefSettingsReader::titleForStringId(const std::string& stringId) const {
  if (stringId.empty()) return {};
  return bundle_->localizedStringForKey(stringId, {}, "Root");
}

std::string PrefSettingsReader::pathForImageNamed(const std::string& name) const { return bundlePath_ + "/" + name; }

std::string PrefSettingsReader::platformSuffix() {
  return kit::Device::currentDevice().userInterfaceIdiom() == kit::UserInterfaceIdiom::Pad ? "~ipad" : "~iphone";
}

std::string PrefSettingsReader::file(const std::string& file, const std::string& bundle, const std::string& suffix,
                                     const std::string& extension) {
  return kit::Bundle::mainBundle()->bundlePath() + "/" + bundle + "/" + file + suffix + extension;
}

std::string PrefSettingsReader::locateSettingsFile(const std::string& name) {
  std::string candidate;
  for (const char* bundle : {"AppSettings.bundle", "Settings.bundle"}) {
    for (const char* extension : {".inApp.plist", ".plist"}) {
      for (const std::string& suffix : {platformSuffix(), std::string()}) {
        candidate = file(name, bundle, suffix, extension);
        std::error_code ec;
        if (std::filesystem::is_regular_file(candidate, ec)) return candidate;
      }
    }
  }
  return candidate;
}

}  // namespace tolva
