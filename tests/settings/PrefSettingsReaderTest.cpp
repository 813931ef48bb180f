#include "settings/PrefSettingsReader.h"

#include "SettingsTest.h"
#include "kit/ui/Device.h"

using namespace settingstest;
using namespace tolva;

namespace {

class PrefSettingsReaderTest : public SettingsTest {
 protected:
  std::string located(const char* name = "Root") {
    std::string path = PrefSettingsReader::locateSettingsFile(name);
    return path.substr(bundle_.size() + 1);
  }
};

TEST_F(PrefSettingsReaderTest, SearchOrderOnPhoneAndTablet) {
  // Files are added from the last candidate to the first; each new one wins.
  const std::vector<std::string> phoneOrder = {
      "AppSettings.bundle/Root~iphone.inApp.plist", "AppSettings.bundle/Root.inApp.plist",
      "AppSettings.bundle/Root~iphone.plist",       "AppSettings.bundle/Root.plist",
      "Settings.bundle/Root~iphone.inApp.plist",    "Settings.bundle/Root.inApp.plist",
      "Settings.bundle/Root~iphone.plist",          "Settings.bundle/Root.plist"};
  kit::Device::currentDevice().setUserInterfaceIdiom(kit::UserInterfaceIdiom::Phone);
  EXPECT_EQ(PrefSettingsReader::platformSuffix(), "~iphone");
  EXPECT_EQ(located(), "Settings.bundle/Root.plist") << "nothing there: the last candidate";
  for (auto it = phoneOrder.rbegin(); it != phoneOrder.rend(); ++it) {
    writeDescription(*it, {});
    EXPECT_EQ(located(), *it);
  }

  kit::Device::currentDevice().setUserInterfaceIdiom(kit::UserInterfaceIdiom::Pad);
  EXPECT_EQ(PrefSettingsReader::platformSuffix(), "~ipad");
  EXPECT_EQ(located(), "AppSettings.bundle/Root.inApp.plist") << "phone files are not for tablets";
  writeDescription("AppSettings.bundle/Root~ipad.inApp.plist", {});
  EXPECT_EQ(located(), "AppSettings.bundle/Root~ipad.inApp.plist");
  EXPECT_EQ(located("Other"), "Settings.bundle/Other.plist");
}

TEST_F(PrefSettingsReaderTest, SectioningAndLookups) {
  writeDescription("Settings.bundle/Root.plist",
                   {dict({{"Type", s("PSToggleSwitchSpecifier")}, {"Key", s("loose")}}),
                    s("not a specifier"),
                    group("First", "Below first", "first_key"),
                    dict({{"Type", s("PSTextFieldSpecifier")}, {"Key", s("a")}}),
                    dict({{"Type", s("PSToggleSwitchSpecifier")}, {"Key", s("b")}}),
                    group("Empty", "Nothing here"),
                    group("Last"),
                    dict({{"Type", s("PSToggleSwitchSpecifier")}, {"Key", s("a")}})});
  kit::Ref<PrefSettingsReader> reader(new PrefSettingsReader());
  ASSERT_NE(reader->settingsBundle(), nullptr);
  EXPECT_EQ(reader->bundlePath(), bundle_ + "/Settings.bundle");
  ASSERT_EQ(reader->numberOfSections(), 4);
  // Specifiers before the first group: a section without header or footer.
  EXPECT_EQ(reader->numberOfRowsForSection(0), 1);
  EXPECT_EQ(reader->titleForSection(0), "");
  EXPECT_EQ(reader->footerTextForSection(0), "");
  EXPECT_EQ(reader->numberOfRowsForSection(1), 2);
  EXPECT_EQ(reader->titleForSection(1), "First");
  EXPECT_EQ(reader->footerTextForSection(1), "Below first");
  EXPECT_EQ(reader->keyForSection(1), "first_key");
  // A group with nothing after it keeps its title and footer.
  EXPECT_EQ(reader->numberOfRowsForSection(2), 0);
  EXPECT_EQ(reader->titleForSection(2), "Empty");
  EXPECT_EQ(reader->footerTextForSection(2), "Nothing here");
  EXPECT_EQ(reader->numberOfRowsForSection(9), 0);

  PrefSpecifier* b = reader->specifierForIndexPath({1, 1});
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->key(), "b");
  EXPECT_EQ(b->settingsReader(), reader.get());
  EXPECT_EQ(reader->specifierForIndexPath({1, 2}), nullptr);
  EXPECT_EQ(reader->specifierForIndexPath({-1, 0}), nullptr);
  EXPECT_EQ(reader->specifierForKey("a")->type(), "PSTextFieldSpecifier") << "the first in section order";
  EXPECT_EQ(reader->specifierForKey("missing"), nullptr);
  EXPECT_EQ(reader->pathForImageNamed("knob.png"), bundle_ + "/Settings.bundle/knob.png");

  // The specifier outlives its reader without reaching back.
  kit::Ref<PrefSpecifier> kept(b);
  reader = nullptr;
  EXPECT_EQ(kept->settingsReader(), nullptr);
}

TEST_F(PrefSettingsReaderTest, MissingOrBrokenDescriptionsReadAsEmpty) {
  kit::Ref<PrefSettingsReader> missing(new PrefSettingsReader("Nope"));
  EXPECT_EQ(missing->numberOfSections(), 0);
  EXPECT_EQ(missing->settingsBundle(), nullptr);
  writeText("Settings.bundle/Broken.plist", "<plist><dict><key>PreferenceSpecifiers</key>");
  EXPECT_EQ(kit::make<PrefSettingsReader>("Broken")->numberOfSections(), 0);
  writeFile("Settings.bundle/Wrong.plist", dict({{"PreferenceSpecifiers", s("not an array")}}));
  EXPECT_EQ(kit::make<PrefSettingsReader>("Wrong")->numberOfSections(), 0);
  writeDescription("Outside.plist", {group("Outside")});
  EXPECT_EQ(kit::make<PrefSettingsReader>("../Outside")->numberOfSections(), 0)
      << "a child file name never leads out of the settings bundles";
}

TEST_F(PrefSettingsReaderTest, TitlesComeFromTheRootTableOfTheDescriptionsBundle) {
  writeDescription("Settings.bundle/Child.plist",
                   {group("Greeting", "Farewell"),
                    dict({{"Type", s("PSMultiValueSpecifier")},
                          {"Key", s("k")},
                          {"Title", s("Greeting")},
                          {"Values", list({n(1), n(2)})},
                          {"Titles", list({s("One"), s("Two")})}})});
  writeText("Settings.bundle/en.lproj/Root.strings", "\"Greeting\" = \"Hello\";\n\"Two\" = \"Deux\";\n");
  kit::Ref<PrefSettingsReader> reader(new PrefSettingsReader("Child"));
  EXPECT_EQ(reader->titleForSection(0), "Hello");
  EXPECT_EQ(reader->footerTextForSection(0), "Farewell") << "untranslated text answers itself";
  PrefSpecifier* spec = reader->specifierForIndexPath({0, 0});
  EXPECT_EQ(spec->title(), "Hello");
  EXPECT_EQ(spec->titleForCurrentValue(kit::Number::numberWithInt(2).get()), "Deux");
  EXPECT_EQ(spec->titleForCurrentValue(kit::Number::numberWithInt(3).get()), std::nullopt);
}

TEST(PrefSpecifierTest, AccessorsAndTheirMappingTables) {
  auto make = [](Entries e) { return kit::make<PrefSpecifier>(dict(e)); };
  auto kb = [&](const char* v) { return make({{"KeyboardType", s(v)}})->keyboardType(); };
  EXPECT_EQ(kb("Alphabet"), kit::KeyboardType::ASCIICapable);
  EXPECT_EQ(kb("NumbersAndPunctuation"), kit::KeyboardType::NumbersAndPunctuation);
  EXPECT_EQ(kb("NumberPad"), kit::KeyboardType::NumberPad);
  EXPECT_EQ(kb("URL"), kit::KeyboardType::URL);
  EXPECT_EQ(kb("EmailAddress"), kit::KeyboardType::EmailAddress);
  EXPECT_EQ(kb("Hexadecimal"), kit::KeyboardType::Default);
  auto cap = [&](const char* v) { return make({{"AutocapitalizationType", s(v)}})->autocapitalizationType(); };
  EXPECT_EQ(cap("None"), kit::TextAutocapitalizationType::None);
  EXPECT_EQ(cap("Sentences"), kit::TextAutocapitalizationType::Sentences);
  EXPECT_EQ(cap("Words"), kit::TextAutocapitalizationType::Words);
  EXPECT_EQ(cap("AllCharacters"), kit::TextAutocapitalizationType::AllCharacters);
  EXPECT_EQ(cap("Shouting"), kit::TextAutocapitalizationType::None);
  auto cor = [&](const char* v) { return make({{"AutocorrectionType", s(v)}})->autoCorrectionType(); };
  EXPECT_EQ(cor("Default"), kit::TextAutocorrectionType::Default);
  EXPECT_EQ(cor("No"), kit::TextAutocorrectionType::No);
  EXPECT_EQ(cor("Yes"), kit::TextAutocorrectionType::Yes);
  EXPECT_EQ(cor("Maybe"), kit::TextAutocorrectionType::Default);

  // The default's boolean: TrueValue and FalseValue first, then its own value.
  EXPECT_TRUE(make({{"DefaultValue", s("on")}, {"TrueValue", s("on")}, {"FalseValue", s("off")}})->defaultBoolValue());
  EXPECT_FALSE(make({{"DefaultValue", s("YES")}, {"TrueValue", s("on")}, {"FalseValue", s("YES")}})->defaultBoolValue());
  EXPECT_TRUE(make({{"DefaultValue", s("YES")}})->defaultBoolValue());
  EXPECT_FALSE(make({{"DefaultValue", list({})}})->defaultBoolValue());
  EXPECT_FALSE(make({})->defaultBoolValue());

  auto slider = make({{"MinimumValue", n(2)}, {"MaximumValue", s("7.5")}, {"IsSecure", s("YES")}, {"Title", n(5)}});
  EXPECT_EQ(slider->minimumValue(), 2.0f);
  EXPECT_EQ(slider->maximumValue(), 7.5f);
  EXPECT_TRUE(slider->isSecure());
  EXPECT_EQ(slider->title(), "5") << "a number where text belongs reads as its text";
  EXPECT_EQ(make({{"Title", list({})}})->title(), "");
  EXPECT_EQ(make({{"DefaultValue", n(3)}})->defaultStringValue(), "3");

  // Values and Titles are kept only for value lists, and need equal counts to title a value.
  auto uneven = make({{"Type", s("PSMultiValueSpecifier")}, {"Values", list({n(1), n(2)})}, {"Titles", list({s("One")})}});
  EXPECT_EQ(uneven->multipleValuesCount(), 2u);
  EXPECT_EQ(uneven->titleForCurrentValue(kit::Number::numberWithInt(1).get()), std::nullopt);
  auto toggle = make({{"Type", s("PSToggleSwitchSpecifier")}, {"Values", list({n(1)})}});
  EXPECT_EQ(toggle->multipleValuesDict(), nullptr);
  EXPECT_EQ(toggle->multipleValuesCount(), 0u);
  auto wrong = make({{"Type", s("PSTitleValueSpecifier")}, {"Values", s("1,2")}});
  EXPECT_EQ(wrong->multipleValues(), nullptr);
}

}  // namespace
