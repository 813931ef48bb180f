#pragma once
// The shared ad-block filter list: entries {"filter", "disabled",
// "hitcount"} in checking and display order, stored under the user-defaults
// key "filter", built from the bundle's "adblock.txt" when nothing is stored.
//
// Threads. The list itself (filters()) belongs to the main thread: the
// screens edit it there. Checks come from any thread and never touch it:
// they read an immutable snapshot (AdblockFilterSnapshot) of the enabled
// entries' predicates, swapped in whole after every change that alters what
// matches (saveState, sortWithHitCount, revertToDefault, rebuildPredicates,
// publishFilters), and count hits on the predicates' atomic counters, which
// filters() moves into the entries' "hitcount" before answering.
//
// An edited or new pattern matches from the next rebuild of the predicates;
// until then an edited entry keeps matching with its old pattern.

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "data/AdblockFilterSnapshot.h"
#include "kit/foundation/Array.h"
#include "kit/foundation/Dictionary.h"
#include "kit/foundation/NotificationCenter.h"
#include "kit/foundation/Object.h"

namespace tolva {

class VeskAdblockManager : public kit::Object {
 public:
  static constexpr const char* kFilterKey = "filter";
  static constexpr const char* kDefaultListResource = "adblock";

  // The one manager, created on first use (on any thread) and kept.
  static VeskAdblockManager* sharedInstance();
  // The manager, or null when none was made yet.
  static VeskAdblockManager* existingInstance();

  bool enabled() const { return true; }
  // Stores the list (without predicates) under "filter", flushes user
  // defaults and rebuilds the predicates. Nothing when the list is null.
  void saveState();
  // Whether the first enabled entry that matches the whole URL exists; that
  // entry's hit count rises by one. Any thread. `used`, when given, gets
  // the snapshot that answered.
  bool checkWithFilter(std::string_view url, std::shared_ptr<const AdblockFilterSnapshot>* used = nullptr);
  // Highest hit count first (equal counts keep their order), stored at once.
  void sortWithHitCount();
  // The default list again, every hit count gone; stored without flushing.
  void revertToDefault();
  // A new predicate for every entry with a non-empty pattern.
  void rebuildPredicates();

  // Main thread. Hits counted since the last call are added to the entries first.
  kit::MutableArray* filters();
  void setFilters(kit::Ref<kit::MutableArray> filters);
  // The list without that step, for reading many rows after one filters().
  kit::MutableArray* currentFilters() const { return filters_.get(); }

  // A new snapshot of the list as it stands (after an entry was switched on
  // or off, or deleted), handed to the checks and, while ad blocking is on,
  // to the web views' own requests.
  void publishFilters();
  // The "opt_adblock" switch of the shared app-state object changed: the web
  // views' list follows. Never creates that object: without one, ad
  // blocking counts as off until it is made (it posts its switch then).
  static void adblockSwitched();

  // The list checks see now. Any thread.
  std::shared_ptr<const AdblockFilterSnapshot> snapshot() const;

  // Reads the stored list (or the default one) again, as at creation.
  void resetForTesting();
  // The default list resource's entries (empty when it cannot be read).
  static kit::Ref<kit::MutableArray> defaultFilters();
  // An entry's integer value ("disabled", "hitcount"): 0 when missing.
  static long integerOf(const kit::Dictionary& entry, const char* key);
  // Entries of a default-list text: one per line that is not blank, the
  // line ending (LF or CRLF) left out.
  static kit::Ref<kit::MutableArray> filtersFromText(std::string_view text);

  std::string className() const override { return "VeskAdblockManager"; }

 private:
  VeskAdblockManager();
  void load();
  void foldHits();
  void store(bool flush);
  const std::shared_ptr<const AdblockFilterSnapshot>& currentSnapshot() const;

  kit::Ref<kit::MutableArray> filters_;
  mutable std::mutex snapshotMutex_;
  std::shared_ptr<const AdblockFilterSnapshot> snapshot_;
  std::atomic<uint64_t> generation_{0};
  kit::NotificationCenter::Token switchObserver_;
};

}  // namespace tolva
