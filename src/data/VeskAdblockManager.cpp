#include "data/VeskAdblockManager.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "common/VeskMiscObject.h"
#include "kit/foundation/Bundle.h"
#include "kit/foundation/Number.h"
#include "kit/foundation/PropertyList.h"
#include "kit/foundation/String.h"
#include "kit/foundation/UserDefaults.h"
#include "kit/ui/WebContentFilter.h"

namespace tolva {
namespace {

constexpr const char* kFilter = "filter";
constexpr const char* kDisabled = "disabled";
constexpr const char* kHitcount = "hitcount";
constexpr const char* kPredicate = "predicate";

// Snapshot generations are unique in the process, so a thread's cached
// snapshot can never be mistaken for another manager's.
std::atomic<uint64_t> gGenerations{0};
std::atomic<VeskAdblockManager*> gInstance{nullptr};

bool isBlank(std::string_view line) {
  return line.find_first_not_of(" \t") == std::string_view::npos;
}

}  // namespace

VeskAdblockManager* VeskAdblockManager::sharedInstance() {
  static VeskAdblockManager* instance = [] {
    auto* m = new VeskAdblockManager();
    m->retain();  // kept for the life of the process
    gInstance.store(m, std::memory_order_release);
    // Requests the web views refused themselves count like any other check.
    kit::WebContentFilter::setBlockedHandler([](const std::string& url) { sharedInstance()->checkWithFilter(url); });
    m->switchObserver_ = kit::NotificationCenter::defaultCenter().addObserver(
        VeskMiscObject::kAdblockSwitchedNotification, nullptr, [](const kit::Notification& n) {
          // Tests' own app-state objects switch nothing the web views see.
          if (n.object() == VeskMiscObject::existingInstance()) adblockSwitched();
        });
    m->publishFilters();
    return m;
  }();
  return instance;
}

long VeskAdblockManager::integerOf(const kit::Dictionary& entry, const char* key) {
  auto* n = entry.get<kit::Number>(key);
  return n ? n->integerValue() : 0;
}

VeskAdblockManager* VeskAdblockManager::existingInstance() { return gInstance.load(std::memory_order_acquire); }

VeskAdblockManager::VeskAdblockManager() { load(); }

void VeskAdblockManager::load() {
  kit::UserDefaults& defaults = kit::UserDefaults::standardUserDefaults();
  kit::Ref<kit::Object> stored = defaults.objectForKey(kFilterKey);
  std::printf("arr : %s\n", stored ? stored->description().c_str() : "(null)");
  kit::Ref<kit::MutableArray> list;
  if (auto* array = kit::cast<kit::Array>(stored.get())) {
    list = kit::MutableArray::array();
    for (kit::Object* item : *array) {
      auto* entry = kit::cast<kit::Dictionary>(item);
      if (!entry) continue;  // not an entry: nothing could match it
      list->addObject(kit::Ref<kit::Object>(entry->mutableCopy()));
    }
  } else {
    list = defaultFilters();
  }
  filters_ = list;
  rebuildPredicates();
}

void VeskAdblockManager::resetForTesting() { load(); }

kit::Ref<kit::MutableArray> VeskAdblockManager::filtersFromText(std::string_view text) {
  kit::Ref<kit::MutableArray> list = kit::MutableArray::array();
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!isBlank(line)) {
      auto entry = kit::MutableDictionary::dictionary();
      entry->setObject(kit::str(std::string(line)), kFilter);
      entry->setObject(kit::Number::numberWithInt(0), kDisabled);
      list->addObject(entry);
    }
    start = end + 1;
  }
  return list;
}

kit::Ref<kit::MutableArray> VeskAdblockManager::defaultFilters() {
  kit::Ref<kit::String> text =
      kit::Bundle::mainBundle()->textOfResource(kDefaultListResource, "txt", kit::Bundle::TextEncoding::UTF8);
  return text ? filtersFromText(text->str()) : kit::MutableArray::array();
}

void VeskAdblockManager::foldHits() {
  if (!filters_) return;
  for (kit::Object* item : *filters_) {
    auto* entry = kit::cast<kit::MutableDictionary>(item);
    auto* predicate = entry ? entry->get<AdblockPredicate>(kPredicate) : nullptr;
    if (!predicate) continue;
    if (long hits = predicate->takeHits())
      entry->setObject(kit::Number::numberWithInteger(integerOf(*entry, kHitcount) + hits), kHitcount);
  }
}

kit::MutableArray* VeskAdblockManager::filters() {
  foldHits();
  return filters_.get();
}

void VeskAdblockManager::setFilters(kit::Ref<kit::MutableArray> filters) {
  foldHits();
  filters_ = std::move(filters);
  publishFilters();
}

void VeskAdblockManager::store(bool flush) {
  foldHits();
  kit::Ref<kit::MutableArray> plain = kit::MutableArray::array();
  for (kit::Object* item : *filters_) {
    auto* entry = kit::cast<kit::Dictionary>(item);
    if (!entry) continue;
    kit::Ref<kit::MutableDictionary> copy(kit::cast<kit::MutableDictionary>(entry->mutableCopy()));
    copy->removeObjectForKey(kPredicate);
    plain->addObject(copy);
  }
  kit::UserDefaults& defaults = kit::UserDefaults::standardUserDefaults();
  defaults.setObject(plain.get(), kFilterKey);
  if (flush) defaults.synchronize();
}

void VeskAdblockManager::saveState() {
  if (!filters_) return;
  store(true);
  rebuildPredicates();
}

void VeskAdblockManager::sortWithHitCount() {
  if (!filters_) return;
  foldHits();
  std::vector<kit::Ref<kit::Object>> entries = filters_->toVector();
  std::stable_sort(entries.begin(), entries.end(), [](const kit::Ref<kit::Object>& a, const kit::Ref<kit::Object>& b) {
    auto* x = kit::cast<kit::Dictionary>(a.get());
    auto* y = kit::cast<kit::Dictionary>(b.get());
    return (x ? integerOf(*x, kHitcount) : 0) > (y ? integerOf(*y, kHitcount) : 0);
  });
  kit::Ref<kit::MutableArray> sorted = kit::MutableArray::array();
  for (auto& e : entries) sorted->addObject(e);
  filters_ = sorted;
  store(false);
  publishFilters();
}

void VeskAdblockManager::revertToDefault() {
  filters_ = defaultFilters();
  store(false);
  rebuildPredicates();
}

void VeskAdblockManager::rebuildPredicates() {
  if (filters_) {
    for (kit::Object* item : *filters_) {
      auto* entry = kit::cast<kit::MutableDictionary>(item);
      auto* pattern = entry ? entry->get<kit::String>(kFilter) : nullptr;
      if (!pattern || pattern->str().empty()) continue;
      auto* former = entry->get<AdblockPredicate>(kPredicate);
      entry->setObject(kit::make<AdblockPredicate>(pattern->str(), former ? former->counter() : nullptr), kPredicate);
    }
  }
  publishFilters();
}

void VeskAdblockManager::publishFilters() {
  std::vector<kit::Ref<AdblockPredicate>> live;
  if (filters_) {
    for (kit::Object* item : *filters_) {
      auto* entry = kit::cast<kit::Dictionary>(item);
      if (!entry || integerOf(*entry, kDisabled) != 0) continue;
      if (auto* predicate = entry->get<AdblockPredicate>(kPredicate)) live.emplace_back(predicate);
    }
  }
  auto next = std::make_shared<const AdblockFilterSnapshot>(std::move(live), ++gGenerations);
  {
    std::lock_guard<std::mutex> g(snapshotMutex_);
    snapshot_ = next;
    generation_.store(next->generation(), std::memory_order_release);
  }
  if (existingInstance() == this) adblockSwitched();
}

void VeskAdblockManager::adblockSwitched() {
  VeskAdblockManager* manager = existingInstance();
  if (!manager) return;
  std::vector<std::string> patterns;
  VeskMiscObject* misc = VeskMiscObject::existingInstance();
  if (misc && misc->opt_adblock()) patterns = manager->snapshot()->patterns().patterns();
  kit::WebContentFilter::setBlockedURLPatterns(std::move(patterns));
}

std::shared_ptr<const AdblockFilterSnapshot> VeskAdblockManager::snapshot() const {
  std::lock_guard<std::mutex> g(snapshotMutex_);
  return snapshot_;
}

const std::shared_ptr<const AdblockFilterSnapshot>& VeskAdblockManager::currentSnapshot() const {
  // Each thread keeps the snapshot it last used and takes the lock only when
  // a newer one was published, so checks on many threads share no written
  // memory.
  struct Cached {
    uint64_t generation = 0;
    std::shared_ptr<const AdblockFilterSnapshot> snapshot;
  };
  thread_local Cached cached;
  if (cached.generation != generation_.load(std::memory_order_acquire) || !cached.snapshot) {
    cached.snapshot = snapshot();
    cached.generation = cached.snapshot->generation();
  }
  return cached.snapshot;
}

bool VeskAdblockManager::checkWithFilter(std::string_view url, std::shared_ptr<const AdblockFilterSnapshot>* used) {
  const std::shared_ptr<const AdblockFilterSnapshot>& snapshot = currentSnapshot();
  if (used) *used = snapshot;
  AdblockPredicate* hit = snapshot->firstMatch(url);
  if (!hit) return false;
  hit->countHit();
  return true;
}

}  // namespace tolva
