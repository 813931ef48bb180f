// The ad-block check against the plain approach: lists of 100, 1,000 and
// 10,000 patterns (plain, "*" and "?" mixed, built from ad-like hosts and
// paths) x 10,000 URLs, on 1 and 8 threads. Ours is the shared manager's
// checkWithFilter (snapshot, index, hit count); the peer tries every pattern
// in order with fnmatch(3) and FNM_NOESCAPE. Both must give the same first
// match for every URL, which the bench checks before timing.
//
// One line per case:
//   case=<patterns>_<threads> ns_per_check=<median> fnmatch_ns=<median> ratio=<fnmatch/ours>
// ns_per_check is wall time x threads / checks, the median of several rounds.

#include <fnmatch.h>
#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "data/VeskAdblockManager.h"
#include "kit/foundation/Array.h"
#include "kit/foundation/Bundle.h"
#include "kit/foundation/Dictionary.h"
#include "kit/foundation/Number.h"
#include "kit/foundation/String.h"
#include "kit/foundation/WildcardPatternSet.h"

namespace {

constexpr size_t kURLs = 10000;

const char* const kAdHosts[] = {"doubleclick", "adnxs",     "adsrvr",   "criteo",    "taboola",  "outbrain",
                                "pubmatic",    "rubicon",   "openx",    "casale",    "smartads", "moatads",
                                "quantserve",  "scorecard", "adform",   "zedo",      "admob",    "adtech",
                                "bidswitch",   "yieldmo",   "sharethru", "teads",    "spotx",    "adroll"};
const char* const kAdPaths[] = {"ads",    "adserver", "banners", "pagead", "adframe", "sponsored", "promo",
                                "pixel",  "track",    "beacon",  "adimg",  "popunder", "affiliate", "adview"};
const char* const kSites[] = {"news",  "shop",   "mail",  "video", "weather", "sports", "travel", "recipes",
                              "cars",  "movies", "music", "games", "finance", "health", "science", "books"};
const char* const kTLDs[] = {"com", "net", "org", "io", "co.uk", "de"};

std::vector<std::string> makePatterns(size_t n, std::mt19937& rng) {
  std::vector<std::string> out;
  auto pick = [&](auto& list) { return std::string(list[rng() % std::size(list)]); };
  for (size_t i = 0; out.size() < n; ++i) {
    const std::string id = std::to_string(i);
    switch (rng() % 6) {
      case 0:  // a plain URL
        out.push_back("http://" + pick(kAdPaths) + "." + pick(kAdHosts) + id + "." + pick(kTLDs) + "/" +
                      pick(kAdPaths) + "/" + id + ".gif");
        break;
      case 1:  // any page of a host
        out.push_back("*://*." + pick(kAdHosts) + id + "." + pick(kTLDs) + "/*");
        break;
      case 2:  // a path anywhere
        out.push_back("*/" + pick(kAdPaths) + id + "/*");
        break;
      case 3:  // a script name
        out.push_back("*/" + pick(kAdHosts) + "_" + id + ".js*");
        break;
      case 4:  // numbered hosts
        out.push_back("http*://ad?." + pick(kAdHosts) + id + "." + pick(kTLDs) + "/*");
        break;
      default:  // a banner size
        out.push_back("*/" + pick(kAdPaths) + "/" + id + "x??.png");
    }
  }
  return out;
}

// One URL in five is a pattern filled in (so it is blocked, by that pattern
// or an earlier one); the rest are page parts of the same shapes, whose ids
// mostly have no pattern.
std::vector<std::string> makeURLs(size_t n, const std::vector<std::string>& list, std::mt19937& rng) {
  const size_t patterns = list.size();
  std::vector<std::string> out;
  auto pick = [&](auto& words) { return std::string(words[rng() % std::size(words)]); };
  for (size_t i = 0; i < n; ++i) {
    if (rng() % 5 == 0) {
      std::string url;
      for (char c : list[rng() % patterns]) {
        if (c == '*')
          url += rng() % 2 ? "https" : pick(kSites) + "/" + std::to_string(rng() % 1000);
        else if (c == '?')
          url += char('0' + rng() % 10);
        else
          url += c;
      }
      out.push_back(url);
      continue;
    }
    const std::string id = std::to_string(rng() % (patterns * 2));  // about half the ids have a pattern
    switch (rng() % 8) {
      case 0:
        out.push_back("https://cdn." + pick(kAdHosts) + id + "." + pick(kTLDs) + "/lib/tag.js?v=" + id);
        break;
      case 1:
        out.push_back("http://www." + pick(kSites) + ".com/" + pick(kAdPaths) + id + "/slot.html");
        break;
      case 2:
        out.push_back("https://static." + pick(kSites) + ".net/js/" + pick(kAdHosts) + "_" + id + ".js?cb=" + id);
        break;
      case 3:
        out.push_back("http://ad" + std::to_string(rng() % 10) + "." + pick(kAdHosts) + id + "." + pick(kTLDs) +
                      "/serve?id=" + id);
        break;
      case 4:
        out.push_back("https://img." + pick(kSites) + ".com/" + pick(kAdPaths) + "/" + id + "x90.png");
        break;
      default:  // ordinary page parts
        out.push_back("https://www." + pick(kSites) + "." + pick(kTLDs) + "/articles/" + id + "/" + pick(kSites) +
                      "-story.html?utm_source=feed&ref=" + std::to_string(rng()));
    }
  }
  return out;
}

size_t fnmatchFirst(const std::vector<std::string>& patterns, const std::string& url) {
  for (size_t i = 0; i < patterns.size(); ++i)
    if (fnmatch(patterns[i].c_str(), url.c_str(), FNM_NOESCAPE) == 0) return i;
  return kit::WildcardPatternSet::npos;
}

// CPU time the checking threads spent, per check, in the last nsPerCheck():
// on a machine busy with other work, wall time also counts the waits for a core.
double gLastCpuNs = 0;

double threadCpuNs() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec * 1e9 + t.tv_nsec;
}

template <class Check>
double nsPerCheck(int threads, const std::vector<std::string>& urls, Check check) {
  std::atomic<size_t> sink{0};
  std::atomic<long long> cpu{0};
  auto start = std::chrono::steady_clock::now();
  std::vector<std::thread> pool;
  for (int t = 0; t < threads; ++t)
    pool.emplace_back([&, t] {
      size_t found = 0;
      const double cpuStart = threadCpuNs();
      // Each thread walks the URLs from its own place.
      for (size_t i = 0; i < urls.size(); ++i) found += check(urls[(i + t * 1237) % urls.size()]);
      cpu += static_cast<long long>(threadCpuNs() - cpuStart);
      sink += found;
    });
  for (auto& th : pool) th.join();
  const double ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
  gLastCpuNs = double(cpu.load()) / double(threads * urls.size());
  return ns * threads / double(threads * urls.size());
}

template <class F>
double median(int rounds, F f) {
  std::vector<double> v;
  for (int r = 0; r < rounds; ++r) v.push_back(f());
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main() {
  char home[] = "/tmp/tolva-adblock-bench-XXXXXX";
  if (!mkdtemp(home)) return 1;
  setenv("TOLVA_HOME", home, 1);
  kit::Bundle::setMainBundlePath(TOLVA_RESOURCES_DIR);
  tolva::VeskAdblockManager* manager = tolva::VeskAdblockManager::sharedInstance();

  std::mt19937 rng(20261209);
  bool allSame = true;
  for (size_t count : {size_t(100), size_t(1000), size_t(10000)}) {
    const std::vector<std::string> patterns = makePatterns(count, rng);
    const std::vector<std::string> urls = makeURLs(kURLs, patterns, rng);
    auto list = kit::MutableArray::array();
    for (const auto& p : patterns) {
      auto entry = kit::MutableDictionary::dictionary();
      entry->setObject(kit::str(p), "filter");
      entry->setObject(kit::Number::numberWithInt(0), "disabled");
      list->addObject(entry);
    }
    manager->setFilters(list);
    manager->rebuildPredicates();

    size_t matched = 0, differ = 0;
    auto snapshot = manager->snapshot();
    for (const auto& url : urls) {
      const size_t ours = snapshot->patterns().firstMatch(url);
      matched += ours != kit::WildcardPatternSet::npos;
      if (ours != fnmatchFirst(patterns, url)) ++differ;
    }
    if (differ) {
      std::printf("MISMATCH: %zu of %zu URLs answered differently at %zu patterns\n", differ, urls.size(), count);
      allSame = false;
    }
    std::fprintf(stderr, "%zu patterns: %zu of %zu URLs blocked\n", count, matched, urls.size());

    for (int threads : {1, 8}) {
      std::vector<double> cpuNs;
      const double ours = median(7, [&] {
        double wall =
            nsPerCheck(threads, urls, [&](const std::string& u) { return manager->checkWithFilter(u) ? 1 : 0; });
        cpuNs.push_back(gLastCpuNs);
        return wall;
      });
      std::sort(cpuNs.begin(), cpuNs.end());
      const double peer = median(count >= 10000 ? 3 : 5, [&] {
        return nsPerCheck(threads, urls, [&](const std::string& u) {
          return fnmatchFirst(patterns, u) != kit::WildcardPatternSet::npos ? 1 : 0;
        });
      });
      std::printf("case=%zu_%d ns_per_check=%.1f fnmatch_ns=%.1f ratio=%.1f\n", count, threads, ours, peer,
                  peer / ours);
      std::fprintf(stderr, "  (ours: %.1f ns of thread CPU time per check)\n", cpuNs[cpuNs.size() / 2]);
      std::fflush(stdout);
    }
  }
  std::string cleanup = std::string("rm -rf '") + home + "'";
  if (std::system(cleanup.c_str()) != 0) return 1;
  return allSame ? 0 : 1;
}
