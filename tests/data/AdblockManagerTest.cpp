// The filter list: matching, hit counts, storing, sorting, reverting and
// the default list.

#include <cstdlib>
#include <string>
#include <vector>

#include "AdblockTestSupport.h"
#include "data/AdblockPredicate.h"
#include "kit/foundation/Bundle.h"
#include "kit/foundation/FileManager.h"
#include "support/TempHome.h"

using namespace tolva;

namespace {

class AdblockManagerTest : public adblocktest::AdblockTest {};

TEST_F(AdblockManagerTest, TheFirstEnabledMatchInListOrderGetsTheHit) {
  useList({entry("*/ads/*"), entry("*://ads.example.com/*"), entry("*banner*")});
  EXPECT_TRUE(manager()->checkWithFilter("http://ads.example.com/ads/x.png"));
  EXPECT_EQ(hits(0), 1);
  EXPECT_EQ(hits(1), -1);  // later entries are not touched
  EXPECT_EQ(hits(2), -1);
  EXPECT_TRUE(manager()->checkWithFilter("http://ads.example.com/banner.gif"));
  EXPECT_EQ(hits(0), 1);
  EXPECT_EQ(hits(1), 1);
  EXPECT_TRUE(manager()->checkWithFilter("http://ads.example.com/x/a"));
  EXPECT_EQ(hits(1), 2);
  EXPECT_FALSE(manager()->checkWithFilter("http://news.example.com/story"));
  EXPECT_EQ(hits(0), 1);
  EXPECT_EQ(hits(1), 2);
  EXPECT_EQ(hits(2), -1);
}

TEST_F(AdblockManagerTest, DisabledAndEmptyPatternsNeverMatch) {
  auto off = entry("*tracker*", 1);
  off->setObject(kit::Number::numberWithInt(7), "hitcount");
  useList({entry(""), off, entry("*tracker.js")});
  EXPECT_TRUE(manager()->checkWithFilter("http://t.example/tracker.js"));
  EXPECT_EQ(hits(1), 7);  // the disabled one keeps its count
  EXPECT_EQ(hits(2), 1);
  EXPECT_FALSE(manager()->checkWithFilter(""));
  EXPECT_FALSE(at(0)->objectForKey("predicate"));
  // A missing "disabled" counts as enabled.
  auto bare = kit::MutableDictionary::dictionary();
  bare->setObject(kit::str("*x*"), "filter");
  useList({bare});
  EXPECT_TRUE(manager()->checkWithFilter("http://x.test/"));
}

TEST_F(AdblockManagerTest, PatternsMatchTheWholeURLLiterallyAndCaseSensitively) {
  struct Case {
    const char* pattern;
    const char* url;
    bool match;
  } cases[] = {
      {"http://a.test/x", "http://a.test/x", true},
      {"http://a.test/x", "http://a.test/xy", false},   // the whole URL
      {"http://a.test/x", "xhttp://a.test/x", false},
      {"http://A.test/x", "http://a.test/x", false},    // letter case counts
      {"*Ads*", "http://a.test/ads", false},
      {"*ads*", "http://a.test/ads", true},
      {"*ads*", "ads", true},                           // "*" matches nothing too
      {"http://a.test/?", "http://a.test/1", true},
      {"http://a.test/?", "http://a.test/", false},      // "?" is exactly one
      {"http://a.test/?", "http://a.test/12", false},
      {"http://a.test/?", "http://a.test/\xc3\xa9", true},  // one character of two bytes
      {"*.gif", "http://a.test/x.gif", true},
      {"*.gif", "http://a.test/xxgif", false},          // "." is a dot
      {"*a+b*", "http://t/a+b", true},
      {"*a+b*", "http://t/aab", false},
      {"*(x)*", "http://t/(x)", true},
      {"*(x)*", "http://t/x", false},
      {"*[ab]*", "http://t/[ab]", true},
      {"*[ab]*", "http://t/a", false},
      {"*\\d*", "http://t/\\d", true},
      {"*\\d*", "http://t/5", false},
      {"*^$|{}*", "http://t/^$|{}", true},
      {"*a*b*c", "http://t/abxbc", true},
      {"*a*b*c", "http://t/acb", false},
      {"**", "anything", true},
      {"?*?", "ab", true},
      {"?*?", "a", false},
  };
  for (const Case& c : cases) {
    useList({entry(c.pattern)});
    EXPECT_EQ(manager()->checkWithFilter(c.url), c.match) << c.pattern << " vs " << c.url;
  }
}

TEST_F(AdblockManagerTest, EditsMatchFromTheNextRebuildAndSaveStateStoresWithoutPredicates) {
  useList({entry("*old*")});
  at(0)->setObject(kit::str("*new*"), "filter");
  manager()->filters()->addObject(entry("*added*"));
  manager()->publishFilters();
  EXPECT_TRUE(manager()->checkWithFilter("http://t/old"));  // the old pattern still matches
  EXPECT_FALSE(manager()->checkWithFilter("http://t/new"));
  EXPECT_FALSE(manager()->checkWithFilter("http://t/added"));
  manager()->saveState();
  EXPECT_FALSE(manager()->checkWithFilter("http://t/old"));
  EXPECT_TRUE(manager()->checkWithFilter("http://t/new"));
  EXPECT_TRUE(manager()->checkWithFilter("http://t/added"));

  // The stored list holds the counts reached by the save and no predicate;
  // the entries in memory keep theirs.
  kit::Ref<kit::Array> saved = stored();
  ASSERT_TRUE(saved);
  ASSERT_EQ(saved->count(), 2u);
  auto* first = saved->get<kit::Dictionary>(0);
  EXPECT_EQ(first->get<kit::String>("filter")->str(), "*new*");
  EXPECT_EQ(first->get<kit::Number>("hitcount")->integerValue(), 1);
  EXPECT_FALSE(first->objectForKey("predicate"));
  EXPECT_TRUE(at(0)->get<AdblockPredicate>("predicate"));
  EXPECT_EQ(hits(0), 2);  // the hit after the save is in memory
  EXPECT_EQ(hits(1), 1);
  // A flush reached the file: a fresh read finds the list.
  kit::UserDefaults::resetStandardUserDefaults();
  EXPECT_EQ(stored()->count(), 2u);
}

TEST_F(AdblockManagerTest, SortingPutsTheHighestCountsFirstKeepingTiesAndStoresTheList) {
  auto a = entry("*a*");
  auto b = entry("*b*");
  b->setObject(kit::Number::numberWithInt(5), "hitcount");
  auto c = entry("*c*");
  auto d = entry("*d*");
  d->setObject(kit::Number::numberWithInt(9), "hitcount");
  useList({a, b, c, d});
  manager()->checkWithFilter("http://t/c");  // c: 1
  manager()->sortWithHitCount();
  std::vector<std::string> order;
  for (size_t i = 0; i < 4; ++i) order.push_back(pattern(i));
  EXPECT_EQ(order, (std::vector<std::string>{"*d*", "*b*", "*c*", "*a*"}));
  EXPECT_EQ(at(0), d.get());  // the same entry records
  EXPECT_TRUE(at(0)->get<AdblockPredicate>("predicate"));
  ASSERT_TRUE(stored());
  EXPECT_EQ(stored()->get<kit::Dictionary>(2)->get<kit::Number>("hitcount")->integerValue(), 1);
  EXPECT_FALSE(stored()->get<kit::Dictionary>(0)->objectForKey("predicate"));
  // Checking follows the new order.
  EXPECT_TRUE(manager()->checkWithFilter("http://t/db"));
  EXPECT_EQ(hits(0), 10);
  EXPECT_EQ(hits(1), 5);
}

TEST_F(AdblockManagerTest, RevertBringsBackTheDefaultListWithoutCounts) {
  useList({entry("*mine*")});
  manager()->checkWithFilter("http://t/mine");
  manager()->revertToDefault();
  kit::Ref<kit::MutableArray> defaults = VeskAdblockManager::defaultFilters();
  ASSERT_GT(defaults->count(), 10u);
  ASSERT_EQ(manager()->filters()->count(), defaults->count());
  for (size_t i = 0; i < defaults->count(); ++i) {
    EXPECT_EQ(pattern(i), defaults->get<kit::Dictionary>(i)->get<kit::String>("filter")->str());
    EXPECT_EQ(hits(i), -1);
  }
  EXPECT_FALSE(manager()->checkWithFilter("http://t/mine"));
  EXPECT_TRUE(manager()->checkWithFilter("http://ad.doubleclick.net/x"));
  EXPECT_TRUE(stored()->isEqual(defaults.get()));
}

TEST_F(AdblockManagerTest, TheStoredListWinsEvenWhenEmptyAndAMissingOneLoadsTheDefault) {
  manager()->resetForTesting();
  EXPECT_EQ(manager()->filters()->count(), VeskAdblockManager::defaultFilters()->count());
  defaults().setObject(kit::MutableArray::array().get(), "filter");
  manager()->resetForTesting();
  EXPECT_EQ(manager()->filters()->count(), 0u);
  EXPECT_FALSE(manager()->checkWithFilter("http://ad.doubleclick.net/x"));
  // Stored entries come back mutable, with their counts; a stray value is skipped.
  auto list = kit::MutableArray::array();
  auto e = entry("*s*");
  e->setObject(kit::Number::numberWithInt(3), "hitcount");
  list->addObject(e);
  list->addObject(kit::str("not an entry"));
  defaults().setObject(list.get(), "filter");
  manager()->resetForTesting();
  ASSERT_EQ(manager()->filters()->count(), 1u);
  EXPECT_TRUE(manager()->checkWithFilter("http://s/"));
  EXPECT_EQ(hits(0), 4);
}

TEST_F(AdblockManagerTest, DefaultListLinesLoseTheirLineEndingsAndBlankLinesMakeNoEntry) {
  kit::Ref<kit::MutableArray> list =
      VeskAdblockManager::filtersFromText("*/ads/*\r\n\r\n  \n*banner*\r\nhttp://x.test/a b\n*tail*");
  ASSERT_EQ(list->count(), 4u);
  EXPECT_EQ(list->get<kit::Dictionary>(0)->get<kit::String>("filter")->str(), "*/ads/*");
  EXPECT_EQ(list->get<kit::Dictionary>(1)->get<kit::String>("filter")->str(), "*banner*");
  EXPECT_EQ(list->get<kit::Dictionary>(2)->get<kit::String>("filter")->str(), "http://x.test/a b");
  EXPECT_EQ(list->get<kit::Dictionary>(3)->get<kit::String>("filter")->str(), "*tail*");
  EXPECT_EQ(list->get<kit::Dictionary>(0)->get<kit::Number>("disabled")->integerValue(), 0);
  EXPECT_EQ(VeskAdblockManager::filtersFromText("")->count(), 0u);

  // A missing resource gives an empty list.
  tolvatest::TempHome folder;
  std::string resources = kit::Bundle::mainBundle()->bundlePath();
  kit::Bundle::setMainBundlePath(folder.path());
  EXPECT_EQ(VeskAdblockManager::defaultFilters()->count(), 0u);
  kit::Bundle::setMainBundlePath(resources);
}

TEST_F(AdblockManagerTest, TheWebViewsGetTheEnabledPatternsWhileAdBlockingIsOn) {
  useList({entry("*a*"), entry("*b*", 1), entry("*c*")});
  EXPECT_EQ(kit::WebContentFilter::blockedURLPatterns(), (std::vector<std::string>{"*a*", "*c*"}));
  at(1)->setObject(kit::Number::numberWithInt(0), "disabled");
  manager()->publishFilters();
  EXPECT_EQ(kit::WebContentFilter::blockedURLPatterns(), (std::vector<std::string>{"*a*", "*b*", "*c*"}));
  setAdblock(false);
  EXPECT_TRUE(kit::WebContentFilter::blockedURLPatterns().empty());
  setAdblock(true);
  EXPECT_EQ(kit::WebContentFilter::blockedURLPatterns().size(), 3u);
  // A refusal a web view reports counts as a hit.
  kit::WebContentFilter::reportBlocked("http://t/c");
  EXPECT_EQ(hits(2), 1);
  // The setting read again follows the stored switch.
  defaults().setBool(false, "opt_adblock");
  VeskMiscObject::sharedInstance()->_settingsChanged();
  EXPECT_TRUE(kit::WebContentFilter::blockedURLPatterns().empty());
}

// With ad blocking stored as on, the manager made before the app-state
// object: neither set-up may call back into the other (a fresh process, as
// both are made once per process).
TEST(AdblockFirstSetUp, TheManagerMadeFirstWithAdBlockingOnDoesNotAbort) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        kit::UserDefaults::standardUserDefaults().setBool(true, "opt_adblock");
        VeskAdblockManager::sharedInstance();
        bool offBefore = kit::WebContentFilter::blockedURLPatterns().empty();  // no switch seen yet
        VeskMiscObject::sharedInstance();
        bool on = !kit::WebContentFilter::blockedURLPatterns().empty();
        std::exit(offBefore && on ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
