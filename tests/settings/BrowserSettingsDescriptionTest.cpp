// The browser's own settings description (resources/Settings.bundle) against
// the list of keys kept beside the code and against the code that reads them.

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "SettingsTest.h"
#include "kit/foundation/StringsTable.h"
#include "kit/ui/Device.h"
#include "kit/ui/TableView.h"
#include "kit/ui/Window.h"
#include "settings/BrowserSettingsKeys.h"
#include "settings/PrefAppSettingsViewController.h"
#include "settings/PrefSettingsReader.h"

using namespace settingstest;
using namespace tolva;
namespace fs = std::filesystem;

namespace {

const std::string kResources = TOLVA_RESOURCES_DIR;
const std::string kSettingsBundle = kResources + "/Settings.bundle";

std::string readFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::vector<fs::path> descriptionFiles() {
  std::vector<fs::path> out;
  for (const auto& e : fs::directory_iterator(kSettingsBundle)) {
    if (e.path().extension() == ".plist") out.push_back(e.path());
  }
  std::sort(out.begin(), out.end());
  return out;
}

std::vector<kit::Ref<kit::Dictionary>> specifiersOf(const fs::path& file) {
  std::vector<kit::Ref<kit::Dictionary>> out;
  kit::Ref<kit::Object> plist = kit::PropertyList::readFromFile(file.string());
  auto* root = dynamic_cast<kit::Dictionary*>(plist.get());
  auto* list = root ? root->get<kit::Array>("PreferenceSpecifiers") : nullptr;
  if (!list) return out;
  for (kit::Object* o : *list) {
    if (auto* d = dynamic_cast<kit::Dictionary*>(o)) out.emplace_back(d);
  }
  return out;
}

std::string text(const kit::Dictionary& d, const char* key) {
  auto* s = d.get<kit::String>(key);
  return s ? s->str() : std::string();
}

// Every quoted word in the program's sources outside the settings kit (which
// holds the list itself); with a class name, only in that class's files (its
// header and sources, "VeskWebView" taking in "VeskWebViewFields.cpp").
std::set<std::string> quotedWordsInSources(const std::string& className = {}) {
  std::set<std::string> words;
  fs::path src = fs::path(kResources) / ".." / "src";
  std::regex quoted("\"([A-Za-z0-9_]+)\"");
  for (const auto& e : fs::recursive_directory_iterator(src)) {
    if (!e.is_regular_file()) continue;
    auto ext = e.path().extension();
    if (ext != ".cpp" && ext != ".h") continue;
    if (e.path().parent_path().filename() == "settings") continue;
    if (!className.empty() && e.path().stem().string().rfind(className, 0) != 0) continue;
    std::string body = readFile(e.path());
    for (std::sregex_iterator it(body.begin(), body.end(), quoted), end; it != end; ++it) words.insert((*it)[1]);
  }
  return words;
}

class BrowserSettingsDescriptionTest : public uitest::UiTest {
 protected:
  tolvatest::TempHome home_;
};

TEST_F(BrowserSettingsDescriptionTest, FilesAreWellFormedAndWithoutDoctype) {
  auto files = descriptionFiles();
  ASSERT_GE(files.size(), 4u);
  for (const auto& f : files) {
    EXPECT_EQ(readFile(f).find("<!DOCTYPE"), std::string::npos) << f;
    EXPECT_FALSE(specifiersOf(f).empty()) << f;
  }
}

TEST_F(BrowserSettingsDescriptionTest, KeysMatchTheListKeptBesideTheCode) {
  std::set<std::string> described;
  for (const auto& f : descriptionFiles()) {
    for (const auto& d : specifiersOf(f)) {
      if (text(*d, "Type") == kPSGroupSpecifier) continue;
      std::string key = text(*d, "Key");
      if (key.empty()) continue;
      described.insert(key);
      const BrowserSettingsKey* listed = BrowserSettingsKeys::find(key);
      ASSERT_NE(listed, nullptr) << key << " (in " << f.filename() << ") is not in BrowserSettingsKeys";
      EXPECT_TRUE(listed->userSettable) << key << " is listed as not user-settable but is described";
    }
  }
  for (const auto& k : BrowserSettingsKeys::all()) {
    if (k.userSettable) {
      EXPECT_TRUE(described.count(k.key)) << k.key << " is settable but not in the description";
    }
  }
}

TEST_F(BrowserSettingsDescriptionTest, EveryListedKeyIsReadByItsReader) {
  for (const auto& k : BrowserSettingsKeys::all()) {
    EXPECT_TRUE(quotedWordsInSources(k.readBy).count(k.key)) << k.key << " is not read in " << k.readBy;
  }
}

TEST_F(BrowserSettingsDescriptionTest, EveryOptKeyTheCodeReadsIsDescribedOrExplained) {
  for (const std::string& w : quotedWordsInSources()) {
    if (w.rfind("opt_", 0) != 0) continue;
    const BrowserSettingsKey* listed = BrowserSettingsKeys::find(w);
    ASSERT_NE(listed, nullptr) << w << " is read by the code but neither described nor listed";
    if (!listed->userSettable) {
      EXPECT_NE(std::string(listed->note), "") << w;
    }
  }
}

TEST_F(BrowserSettingsDescriptionTest, EveryTitleIsInTheStringsTable) {
  kit::Ref<kit::Dictionary> table = kit::StringsTable::load(kSettingsBundle + "/en.lproj/Root.strings");
  ASSERT_NE(table, nullptr);
  for (const auto& f : descriptionFiles()) {
    for (const auto& d : specifiersOf(f)) {
      for (const char* k : {"Title", "FooterText"}) {
        std::string t = text(*d, k);
        if (!t.empty()) {
          EXPECT_NE(table->objectForKey(t), nullptr) << t;
        }
      }
      if (auto* titles = d->get<kit::Array>("Titles")) {
        for (kit::Object* t : *titles) EXPECT_NE(table->objectForKey(t), nullptr) << t->description();
      }
    }
  }
}

// The defaults the browser's readers use when a key is absent.
TEST_F(BrowserSettingsDescriptionTest, DefaultsAreTheOnesTheReadersUse) {
  const std::map<std::string, kit::Ref<kit::Object>> expected = {
      {"opt_save_sessions", yes()},          {"opt_use_selection_search", yes()},
      {"opt_pull_down_refresh", yes()},      {"opt_urlbar_scroll", no()},
      {"opt_use_accurate_page_load_completion", no()}, {"opt_http_auth", no()},
      {"opt_adblock", no()},                 {"opt_save_history", yes()},
      {"opt_save_password", yes()},          {"opt_expand_tab", yes()},
      {"opt_show_trackpad", yes()},          {"opt_show_jogdials", yes()},
      {"opt_show_brightness_jogdial", yes()}, {"opt_threef_tap", n(1)},
      {"opt_twof_tap", n(0)},                {"opt_fourf_tap", n(0)},
      {"opt_twof_swipe_left", n(3)},         {"opt_twof_swipe_right", n(2)},
      {"opt_twof_swipe_up", n(0)},           {"opt_twof_swipe_down", n(0)},
      {"opt_threef_swipe_left", n(0)},       {"opt_fourf_swipe_down", n(0)},
      {"opt_double_tab_scroll2", n(9)},      {"opt_double_tap_on_tab", n(10)},
  };
  std::map<std::string, kit::Ref<kit::Dictionary>> byKey;
  for (const auto& f : descriptionFiles()) {
    for (const auto& d : specifiersOf(f)) byKey[text(*d, "Key")] = d;
  }
  for (const auto& [key, value] : expected) {
    ASSERT_TRUE(byKey.count(key)) << key;
    EXPECT_TRUE(kit::isEqual(byKey[key]->objectForKey("DefaultValue"), value.get())) << key;
  }
  // Gesture lists offer every action code, 0 to 28.
  auto* values = byKey["opt_threef_tap"]->get<kit::Array>("Values");
  ASSERT_NE(values, nullptr);
  EXPECT_EQ(values->count(), 29u);
  // The search engine's display names follow the engine named in its format.
  auto* engines = byKey["opt_search_engine"]->get<kit::Array>("Values");
  ASSERT_NE(engines, nullptr);
  EXPECT_TRUE(engines->containsObject(kit::str("user-defined").get()));
  EXPECT_NE(text(*byKey["opt_search_engine"], "DefaultValue").find("google"), std::string::npos);
}

TEST_F(BrowserSettingsDescriptionTest, TheUserAgentDefaultFollowsTheDevice) {
  const std::string tablet =
      "Mozilla/5.0 (iPad; CPU OS 5_0 like Mac OS X) AppleWebKit/534.46 (KHTML, like Gecko) Version/5.1 Mobile/9A334";
  const std::string phone =
      "Mozilla/5.0 (iPhone; CPU iPhone OS 5_0 like Mac OS X) AppleWebKit/534.46 (KHTML, like Gecko) Version/5.1 "
      "Mobile/9A334 Safari/7534.48.3";
  for (auto [idiom, ua] : {std::pair{kit::UserInterfaceIdiom::Pad, tablet}, std::pair{kit::UserInterfaceIdiom::Phone, phone}}) {
    kit::Device::currentDevice().setUserInterfaceIdiom(idiom);
    kit::Ref<PrefSettingsReader> reader(new PrefSettingsReader("UserAgent"));
    PrefSpecifier* spec = reader->specifierForKey("opt_user_agent_v2");
    ASSERT_NE(spec, nullptr);
    EXPECT_EQ(spec->defaultStringValue(), ua);
    EXPECT_TRUE(spec->titleForCurrentValue(spec->defaultValue()).has_value());
  }
}

TEST_F(BrowserSettingsDescriptionTest, NamedScreensAndButtonsAreTheOnesTheBrowserHas) {
  const std::set<std::string> screens = {"VeskPasscodeViewController", "VeskPagePasswordManageTableViewController",
                                         "VeskBookmarkFileTableViewController", "VeskAdblockTableViewController"};
  const std::set<std::string> actions = {"onDeletePasswords:key:", "onDeleteCaches:key:", "onDeleteHistories:key:",
                                         "onDeleteCookies:key:", "onLogoutAllShareAccounts:key:", "onBookmarkLet:key:",
                                         "onRateThisApp:key:"};
  std::set<std::string> seenScreens, seenActions;
  for (const auto& f : descriptionFiles()) {
    for (const auto& d : specifiersOf(f)) {
      std::string type = text(*d, "Type");
      if (type == kPSChildPaneSpecifier) {
        std::string cls = text(*d, "PrefViewControllerClass");
        if (!cls.empty()) seenScreens.insert(cls);
        std::string file = text(*d, "File");
        if (cls.empty()) {
          for (auto idiom : {kit::UserInterfaceIdiom::Pad, kit::UserInterfaceIdiom::Phone}) {
            kit::Device::currentDevice().setUserInterfaceIdiom(idiom);
            EXPECT_TRUE(fs::exists(PrefSettingsReader::locateSettingsFile(file))) << file;
          }
        }
      } else if (type == kPrefButtonSpecifier) {
        EXPECT_EQ(text(*d, "PrefButtonClass"), "VeskWebAppDelegate");
        seenActions.insert(text(*d, "PrefButtonAction"));
      }
    }
  }
  EXPECT_EQ(seenScreens, screens);
  EXPECT_EQ(seenActions, actions);
}

// Opening the real description before the screens and buttons it names exist:
// their rows are there and do nothing.
TEST_F(BrowserSettingsDescriptionTest, OpensWhileNamedScreensAreMissing) {
  struct Ender : PrefSettingsDelegate {
    void settingsViewControllerDidEnd(PrefAppSettingsViewController&) override {}
  } ender;
  kit::Ref<kit::NavigationController> nav = PrefAppSettingsViewController::settingsNavigationController(&ender);
  kit::Ref<kit::Window> window = makeKeyWindow();
  window->setRootViewController(nav.get());
  loop().advance(1);
  auto* root = dynamic_cast<PrefAppSettingsViewController*>(nav->topViewController());
  ASSERT_NE(root, nullptr);
  kit::TableView* table = root->tableView();
  PrefSettingsReader* reader = root->settingsReader();
  ASSERT_GT(reader->numberOfSections(), 5);
  std::vector<kit::IndexPath> all;
  for (long s = 0; s < table->numberOfSections(); ++s) {
    for (long r = 0; r < table->numberOfRowsInSection(s); ++r) all.push_back({s, r});
  }
  table->setVisibleIndexPathsForTesting(all);
  for (const auto& p : all) {
    PrefSpecifier* spec = reader->specifierForIndexPath(p);
    std::string type = spec->type();
    if (type == kPrefButtonSpecifier || !spec->viewControllerClass().empty()) {
      table->tapRow(p);
      loop().advance(1);
      EXPECT_EQ(nav->topViewController(), root) << spec->title();
    }
  }
  // The gesture page opens as a child page.
  for (const auto& p : all) {
    if (reader->specifierForIndexPath(p)->file() != "Gestures") continue;
    table->tapRow(p);
    loop().advance(1);
    auto* gestures = dynamic_cast<PrefAppSettingsViewController*>(nav->topViewController());
    ASSERT_NE(gestures, nullptr);
    ASSERT_NE(gestures, root);
    EXPECT_EQ(gestures->tableView()->numberOfSections(), 4);
  }
  window->setRootViewController(nullptr);
  loop().advance(1);
}

}  // namespace
