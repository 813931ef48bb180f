// Checks on many threads while the main thread edits, sorts, saves and
// reverts the list (run under ThreadSanitizer too): every answer comes from
// one whole list, and no hit is lost.

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "AdblockTestSupport.h"

using namespace tolva;

namespace {

class AdblockConcurrencyTest : public adblocktest::AdblockTest {
 protected:
  static constexpr int kThreads = 8;

  static std::vector<std::string> urls() {
    std::vector<std::string> out;
    for (int i = 0; i < 40; ++i) {
      out.push_back("http://site" + std::to_string(i) + ".test/mine/" + std::to_string(i % 7) + "/x.js");
      out.push_back("http://ad.doubleclick.net/" + std::to_string(i));
      out.push_back("http://news.test/story/" + std::to_string(i));
    }
    return out;
  }
  static kit::Ref<kit::MutableArray> myList() {
    auto list = kit::MutableArray::array();
    for (int k = 0; k < 7; ++k) list->addObject(entry("*/mine/" + std::to_string(k) + "/*"));
    return list;
  }
  // Runs `edit` on this thread until the checkers, each calling `check`, are done.
  template <class Check, class Edit>
  static void race(Check check, Edit edit, int rounds) {
    std::atomic<int> running{kThreads};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
      threads.emplace_back([&, t] {
        for (int r = 0; r < rounds; ++r) check(t, r);
        --running;
      });
    for (int step = 0; running.load() > 0; ++step) edit(step);
    for (auto& th : threads) th.join();
  }
};

TEST_F(AdblockConcurrencyTest, ChecksAlwaysSeeOneWholeList) {
  const std::vector<std::string> all = urls();
  std::atomic<int> mixed{0}, wrong{0};
  race(
      [&](int t, int r) {
        const std::string& url = all[(t * 31 + r) % all.size()];
        // The list this very check answered from, not whatever is current after it.
        std::shared_ptr<const AdblockFilterSnapshot> used;
        const bool hit = manager()->checkWithFilter(url, &used);
        const auto& patterns = used->patterns().patterns();
        size_t mine = 0;
        for (const auto& p : patterns) mine += p.find("/mine/") != std::string::npos;
        if (mine != 0 && mine != patterns.size()) ++mixed;
        size_t naive = kit::WildcardPatternSet::npos;
        for (size_t i = 0; i < patterns.size() && naive == kit::WildcardPatternSet::npos; ++i)
          if (kit::WildcardPatternSet::matches(patterns[i], url)) naive = i;
        if (used->patterns().firstMatch(url) != naive || hit != (naive != kit::WildcardPatternSet::npos)) ++wrong;
      },
      [&](int step) {
        switch (step % 5) {
          case 0:
            manager()->revertToDefault();
            break;
          case 1: {
            auto* e = manager()->filters()->get<kit::MutableDictionary>(step % manager()->filters()->count());
            e->setObject(kit::Number::numberWithInt(e->get<kit::Number>("disabled")->integerValue() ? 0 : 1),
                         "disabled");
            manager()->publishFilters();
            break;
          }
          case 2:
            manager()->sortWithHitCount();
            break;
          case 3:
            manager()->setFilters(myList());
            manager()->rebuildPredicates();
            break;
          default:
            manager()->saveState();
        }
      },
      400);
  EXPECT_EQ(mixed.load(), 0);
  EXPECT_EQ(wrong.load(), 0);
}

TEST_F(AdblockConcurrencyTest, EveryHitReachesTheListWhileItIsSortedAndSaved) {
  manager()->setFilters(myList());
  manager()->rebuildPredicates();
  const std::vector<std::string> all = urls();
  std::atomic<long> positive{0};
  race([&](int t, int r) { positive += manager()->checkWithFilter(all[(t * 7 + r) % all.size()]) ? 1 : 0; },
       [&](int step) {
         if (step % 2)
           manager()->sortWithHitCount();
         else
           manager()->saveState();
       },
       600);
  long total = 0;
  for (kit::Object* item : *manager()->filters()) {
    auto* n = kit::cast<kit::Dictionary>(item)->get<kit::Number>("hitcount");
    total += n ? n->integerValue() : 0;
  }
  EXPECT_GT(positive.load(), 0);
  EXPECT_EQ(total, positive.load());
}

}  // namespace
