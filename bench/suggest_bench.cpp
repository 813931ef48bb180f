// Address suggestions: the store's find for every keystroke of a few typed
// words, over 10,000 bookmarks (in 100 folders) and 500 history entries.
// Prints one line per word and, last, find_us=<median microseconds per find>.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "data/VeskBookmarkDatabase.h"
#include "kit/foundation/Array.h"
#include "kit/foundation/Clock.h"
#include "kit/foundation/RunLoop.h"
#include "kit/foundation/String.h"
#include "support/TempHome.h"

int main() {
  tolvatest::TempHome home;
  kit::RunLoop::setMainThread();
  kit::Clock::setVirtual(700000000.0);
  tolva::VeskBookmarkDatabase* store = tolva::VeskBookmarkDatabase::getSharedInstance();
  store->resetForTesting();
  // An empty tree with its History folder, whatever the bundle's default tree holds.
  store->setBookmark(kit::MutableArray::array());
  store->addFolder("History", nullptr);
  const char* sites[] = {"news", "shop", "mail", "maps", "wiki", "video", "docs", "blog", "forum", "bank"};
  for (int f = 0; f < 100; ++f) {
    std::string folder = "Folder " + std::to_string(f);
    store->addFolder(folder, nullptr);
    kit::Ref<kit::Array> path(new kit::Array({kit::str(folder)}));
    for (int i = 0; i < 100; ++i) {
      int n = f * 100 + i;
      std::string host = std::string(sites[n % 10]) + std::to_string(n) + ".example.org";
      store->addItem("Page " + std::to_string(n) + " about " + sites[(n / 10) % 10], "https://" + host + "/p/" +
                                                                                          std::to_string(n),
                     path.get());
    }
  }
  for (int i = 0; i < 500; ++i) {
    kit::Clock::advance(10);
    store->addItemAtHistory("Visited " + std::to_string(i), "http://history" + std::to_string(i) + ".example.net/");
  }

  std::vector<double> all;
  for (const char* word : {"weather", "example", "news42", "history1", "zzz"}) {
    std::vector<double> times;
    size_t hits = 0;
    std::string typed;
    for (const char* c = word; *c; ++c) {
      typed.push_back(*c);
      auto start = std::chrono::steady_clock::now();
      kit::Ref<kit::Array> found = store->find(typed, nullptr, true);
      auto end = std::chrono::steady_clock::now();
      hits = found ? found->count() : 0;
      times.push_back(std::chrono::duration<double, std::micro>(end - start).count());
    }
    std::sort(times.begin(), times.end());
    std::printf("word=%s finds=%zu last_hits=%zu median_us=%.1f\n", word, times.size(), hits, times[times.size() / 2]);
    all.insert(all.end(), times.begin(), times.end());
  }
  std::sort(all.begin(), all.end());
  std::printf("find_us=%.1f\n", all[all.size() / 2]);
  return 0;
}
