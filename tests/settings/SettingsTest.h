#pragma once
// The fixture of the settings tests: virtual time and a fresh application
// (from the UI fixture), a fresh home with empty user defaults, and a main
// bundle of the test's own in which it writes settings descriptions.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "kit/foundation/Array.h"
#include "kit/foundation/Bundle.h"
#include "kit/foundation/Dictionary.h"
#include "kit/foundation/NotificationCenter.h"
#include "kit/foundation/Number.h"
#include "kit/foundation/PropertyList.h"
#include "kit/foundation/String.h"
#include "kit/foundation/UserDefaults.h"
#include "kit/ui/UiTest.h"
#include "settings/PrefSettingsNotification.h"
#include "support/TempHome.h"

namespace settingstest {

using Entries = std::initializer_list<std::pair<std::string_view, kit::Ref<kit::Object>>>;

inline kit::Ref<kit::Dictionary> dict(Entries entries) { return kit::make<kit::Dictionary>(entries); }
inline kit::Ref<kit::Object> s(const char* text) { return kit::str(text); }
inline kit::Ref<kit::Object> n(int v) { return kit::Number::numberWithInt(v); }
inline kit::Ref<kit::Object> yes() { return kit::Number::yes(); }
inline kit::Ref<kit::Object> no() { return kit::Number::no(); }
inline kit::Ref<kit::Object> list(std::vector<kit::Ref<kit::Object>> items) {
  return kit::Array::arrayWithObjects(std::move(items));
}
inline kit::Ref<kit::Object> group(const char* title, const char* footer = nullptr, const char* key = nullptr) {
  auto d = kit::MutableDictionary::dictionary();
  d->setObject(kit::str("PSGroupSpecifier"), "Type");
  d->setObject(kit::str(title), "Title");
  if (footer) d->setObject(kit::str(footer), "FooterText");
  if (key) d->setObject(kit::str(key), "Key");
  return d;
}

// Every "kAppSettingChanged" posted while it lives: the key (the sender) and the user info.
struct ChangeRecorder {
  struct Post {
    std::string key;
    kit::Ref<kit::Dictionary> info;
  };
  std::vector<Post> posts;
  kit::NotificationCenter::Token token = kit::NotificationCenter::defaultCenter().addObserver(
      tolva::kAppSettingChanged, nullptr, [this](const kit::Notification& note) {
        auto* key = dynamic_cast<kit::String*>(note.object());
        posts.push_back({key ? key->str() : "<no key>", note.userInfo()});
      });
  kit::Object* valueOf(size_t i) const {
    return posts[i].info ? posts[i].info->objectForKey(posts[i].key) : nullptr;
  }
};

class SettingsTest : public uitest::UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    bundle_ = home_.path() + "/bundle";
    std::filesystem::create_directories(bundle_);
    kit::Bundle::setMainBundlePath(bundle_);
  }
  void TearDown() override {
    UiTest::TearDown();
    kit::Bundle::setMainBundlePath(TOLVA_RESOURCES_DIR);
  }

  // Writes {PreferenceSpecifiers: specifiers} at a path inside the test's main bundle.
  void writeDescription(const std::string& relativePath, std::vector<kit::Ref<kit::Object>> specifiers) {
    writeFile(relativePath, dict({{"PreferenceSpecifiers", list(std::move(specifiers))}}));
  }
  void writeFile(const std::string& relativePath, kit::Ref<kit::Object> plist) {
    std::string path = bundle_ + "/" + relativePath;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    ASSERT_EQ(kit::PropertyList::writeToFile(plist.get(), path), nullptr);
  }
  void writeText(const std::string& relativePath, const std::string& text);
  kit::UserDefaults& defaults() { return kit::UserDefaults::standardUserDefaults(); }

  tolvatest::TempHome home_;
  std::string bundle_;
};

inline void SettingsTest::writeText(const std::string& relativePath, const std::string& text) {
  std::string path = bundle_ + "/" + relativePath;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  FILE* f = std::fopen(path.c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fputs(text.c_str(), f);
  std::fclose(f);
}

}  // namespace settingstest
