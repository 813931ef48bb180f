#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "kit/foundation/Bundle.h"
#include "kit/foundation/String.h"
#include "support/TempHome.h"

using namespace kit;

namespace {

// A fake bundle in a fresh folder.
class BundleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = home_.path() + "/Fake.bundle";
    put("both.txt", "global");
    put("en.lproj/both.txt", "localised");
    put("en.lproj/onlyLocal.txt", "local");
    put("noext", "x");
    put("a.plist", "");
    put("sub/inSub.txt", "sub");
    put("en.lproj/sub/inSubLocal.txt", "sub local");
    put("en.lproj/sub/inSub.txt", "hidden");
    put("en.lproj/b.plist", "");
    put("en.lproj/a.plist", "");
    bundle_ = Bundle::bundleWithPath(root_);
    ASSERT_TRUE(bundle_);
  }

  void put(const std::string& rel, const std::string& bytes) {
    std::string path = root_ + "/" + rel;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
  }
  std::string at(const std::string& rel) const { return root_ + "/" + rel; }

  tolvatest::TempHome home_;
  std::string root_;
  Ref<Bundle> bundle_;
};

}  // namespace

TEST_F(BundleTest, ResourcesAreFoundInTheFolderThenInEnglish) {
  EXPECT_EQ(bundle_->bundlePath(), root_);
  EXPECT_EQ(bundle_->pathForResource("both", "txt"), at("both.txt"));
  EXPECT_EQ(bundle_->pathForResource("onlyLocal", "txt"), at("en.lproj/onlyLocal.txt"));
  EXPECT_EQ(bundle_->pathForResource("both", ".txt"), at("both.txt"));
  EXPECT_EQ(bundle_->pathForResource("both.txt", ""), at("both.txt"));
  EXPECT_EQ(bundle_->pathForResource("noext", ""), at("noext"));
  EXPECT_EQ(bundle_->pathForResource("inSub", "txt", "sub"), at("sub/inSub.txt"));
  EXPECT_EQ(bundle_->pathForResource("inSubLocal", "txt", "sub"), at("en.lproj/sub/inSubLocal.txt"));
  // Folders are resources too (a settings bundle inside the main one).
  EXPECT_EQ(bundle_->pathForResource("sub", ""), at("sub"));
}

TEST_F(BundleTest, MissingOrEscapingResourcesAreEmpty) {
  EXPECT_EQ(bundle_->pathForResource("nothing", "txt"), "");
  EXPECT_EQ(bundle_->pathForResource("both", "png"), "");
  EXPECT_EQ(bundle_->pathForResource("both", "txt", "nosuchdir"), "");
  EXPECT_EQ(bundle_->pathForResource("inSub", "txt"), "");  // not at the top level
  EXPECT_EQ(bundle_->pathForResource("", ""), "");
  put("../outside.txt", "secret");
  EXPECT_EQ(bundle_->pathForResource("../outside", "txt"), "");
  EXPECT_EQ(bundle_->pathForResource("outside", "txt", ".."), "");
  EXPECT_EQ(bundle_->pathForResource(at("both"), "txt"), "");
  EXPECT_FALSE(Bundle::bundleWithPath(root_ + "/missing"));
  EXPECT_FALSE(Bundle::bundleWithPath(at("both.txt")));
}

TEST_F(BundleTest, ResourcesOfATypeCombineBothFolders) {
  std::vector<std::string> want = {at("a.plist"), at("en.lproj/b.plist")};
  EXPECT_EQ(bundle_->pathsForResourcesOfType("plist"), want);
  want = {at("sub/inSub.txt"), at("en.lproj/sub/inSubLocal.txt")};
  EXPECT_EQ(bundle_->pathsForResourcesOfType("txt", "sub"), want);
  EXPECT_TRUE(bundle_->pathsForResourcesOfType("png").empty());
  EXPECT_TRUE(bundle_->pathsForResourcesOfType("txt", "nosuchdir").empty());
}

TEST_F(BundleTest, TextOfResources) {
  put("page.js", "var a = 1;\n");
  put("utf8.js", "var s = '\xC3\xA9';");
  put("bom.txt", "\xEF\xBB\xBFhello");
  put("latin1.txt", "caf\xE9");

  EXPECT_EQ(bundle_->textOfResource("page", "js", Bundle::TextEncoding::ASCII)->str(), "var a = 1;\n");
  EXPECT_EQ(bundle_->textOfResource("utf8", "js", Bundle::TextEncoding::UTF8)->str(), "var s = '\xC3\xA9';");
  EXPECT_EQ(bundle_->textOfResource("bom", "txt", Bundle::TextEncoding::UTF8)->str(), "hello");

  Ref<Error> error;
  EXPECT_FALSE(bundle_->textOfResource("utf8", "js", Bundle::TextEncoding::ASCII, &error));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code(), 261);
  error = nullptr;
  EXPECT_FALSE(bundle_->textOfResource("latin1", "txt", Bundle::TextEncoding::UTF8, &error));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code(), 261);
  error = nullptr;
  EXPECT_FALSE(bundle_->textOfResource("absent", "js", Bundle::TextEncoding::UTF8, &error));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code(), 260);
}

TEST_F(BundleTest, LocalizedStrings) {
  put("en.lproj/Localizable.strings", "\"Search\" = \"Find\";\n\"Empty\" = \"\";");
  put("Root.strings", "\"Title\" = \"Settings\";");
  put("en.lproj/Broken.strings", "\"a\" = \"b\"\n");

  EXPECT_EQ(bundle_->localizedStringForKey("Search"), "Find");
  EXPECT_EQ(bundle_->localizedStringForKey("Search", "ignored", "Localizable"), "Find");
  EXPECT_EQ(bundle_->localizedStringForKey("Empty", "fallback"), "");  // present, even if empty
  EXPECT_EQ(bundle_->localizedStringForKey("Missing"), "Missing");
  EXPECT_EQ(bundle_->localizedStringForKey("Missing", "Fallback"), "Fallback");
  EXPECT_EQ(bundle_->localizedStringForKey("Title", "", "Root"), "Settings");
  EXPECT_EQ(bundle_->localizedStringForKey("Title", "", "NoSuchTable"), "Title");
  // A table that does not parse counts as empty.
  EXPECT_EQ(bundle_->localizedStringForKey("a", "", "Broken"), "a");
  EXPECT_EQ(bundle_->stringsTable("Broken")->count(), 0u);

  // Tables are read once.
  put("en.lproj/Localizable.strings", "\"Search\" = \"Changed\";");
  EXPECT_EQ(bundle_->localizedStringForKey("Search"), "Find");
  EXPECT_EQ(Bundle(root_).localizedStringForKey("Search"), "Changed");
}

TEST_F(BundleTest, MainBundlePathAndEnvironmentOverride) {
  const char* saved = std::getenv(Bundle::kResourcesEnvironmentVariable);
  std::string savedValue = saved ? saved : "";
  ::unsetenv(Bundle::kResourcesEnvironmentVariable);

  Bundle::setMainBundlePath(TOLVA_RESOURCES_DIR);
  auto main = Bundle::mainBundle();
  EXPECT_EQ(main->bundlePath(), std::filesystem::path(TOLVA_RESOURCES_DIR).lexically_normal().string());
  EXPECT_EQ(Bundle::mainBundle().get(), main.get());  // kept while the path stays

  ::setenv(Bundle::kResourcesEnvironmentVariable, root_.c_str(), 1);
  EXPECT_EQ(Bundle::mainBundle()->bundlePath(), root_);
  EXPECT_EQ(Bundle::mainBundle()->pathForResource("both", "txt"), at("both.txt"));
  ::setenv(Bundle::kResourcesEnvironmentVariable, "", 1);  // empty counts as unset
  EXPECT_EQ(Bundle::mainBundle()->bundlePath(), main->bundlePath());

  if (saved) ::setenv(Bundle::kResourcesEnvironmentVariable, savedValue.c_str(), 1);
  else ::unsetenv(Bundle::kResourcesEnvironmentVariable);
}

TEST_F(BundleTest, InfoDictionary) {
  EXPECT_EQ(bundle_->infoDictionary()->count(), 0u);  // no Info.plist: empty, not null
  EXPECT_EQ(bundle_->objectForInfoDictionaryKey(Bundle::kVersionKey), nullptr);

  put("Info.plist", "<plist version=\"1.0\"><dict><key>CFBundleVersion</key><string>7</string>"
                    "<key>CFBundleIdentifier</key><string>test.fake</string></dict></plist>");
  Bundle fresh(root_);
  auto* version = cast<String>(fresh.objectForInfoDictionaryKey(Bundle::kVersionKey));
  ASSERT_TRUE(version);
  EXPECT_EQ(version->str(), "7");
  EXPECT_EQ(fresh.bundleIdentifier(), "test.fake");

  put("Info.plist", "<plist version=\"1.0\"><dict><key>CFBundleVersion</key>");
  EXPECT_EQ(Bundle(root_).infoDictionary()->count(), 0u);
  put("Info.plist", "<plist version=\"1.0\"><array/></plist>");
  EXPECT_EQ(Bundle(root_).infoDictionary()->count(), 0u);
}

TEST(MainBundle, DescribesTheProgram) {
  Bundle resources(TOLVA_RESOURCES_DIR);
  auto text = [&](const char* key) {
    auto* s = cast<String>(resources.objectForInfoDictionaryKey(key));
    return s ? s->str() : std::string("<missing>");
  };
  EXPECT_EQ(text(Bundle::kDisplayNameKey), "Tolva");
  EXPECT_EQ(text(Bundle::kNameKey), "Tolva");
  EXPECT_EQ(text(Bundle::kShortVersionKey), "1.0");
  EXPECT_EQ(text(Bundle::kVersionKey), "1");
  EXPECT_FALSE(resources.bundleIdentifier().empty());
}

TEST(MainBundle, ShipsTheEnglishSearchStrings) {
  Bundle resources(TOLVA_RESOURCES_DIR);
  for (const char* key : {"Google", "Yahoo", "Bing", "Naver", "Baidu", "Search"}) {
    EXPECT_EQ(resources.stringsTable()->get<String>(key) ? resources.localizedStringForKey(key) : "",
              key);
  }
  EXPECT_EQ(resources.localizedStringForKey("Not translated"), "Not translated");
}
