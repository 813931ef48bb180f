#pragma once
// The sharing kit's centre: presents the kit's screens modally over whatever
// the application shows (one at a time, a newer one waiting for the older to
// go), keeps each share type's favourite sharers and the user's exclusions,
// each service's credentials in the keychain and the offline queue of shares
// made without a network, and logs out of every service at once.
//
// Most operations are static; the one instance holds the presentation state
// and lives for the process. Main thread only, apart from connected().
//
// Sharers are reached by class name through kit's class registry (each
// registers itself, see ShareSharer::registerSharerClass); the bundle's
// sharers resource lists which of them the share menu offers.

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "kit/foundation/Array.h"
#include "kit/foundation/Dictionary.h"
#include "kit/foundation/Error.h"
#include "kit/foundation/NotificationCenter.h"
#include "kit/foundation/OperationQueue.h"
#include "kit/ui/Toolbar.h"
#include "kit/ui/ViewController.h"
#include "share/core/ShareItem.h"

namespace tolva {

class Reachability;

class Share : public kit::Object {
 public:
  static constexpr const char* kErrorDomain = "sharing";
  static constexpr const char* kHideCurrentViewFinishedNotification = "ShareHideCurrentViewFinished";
  static constexpr const char* kExcludedKey = "ShareExcluded";
  static constexpr const char* kOfflineQueueFolder = "Share";
  static constexpr const char* kOfflineQueueListFile = "ShareOfflineQueue.plist";

  static Share* currentHelper();
  // Forgets the presentation state, the sharers resource read so far and the
  // offline replays' bookkeeping (tests).
  static void resetForTesting();

  static void setRootViewController(kit::ViewController* root);
  static kit::BarStyle barStyle();
  static kit::ViewController::ModalPresentationStyle modalPresentationStyle();
  static kit::ViewController::ModalTransitionStyle modalTransitionStyle();

  // ---- Favourites and exclusions
  static std::vector<std::string> favoriteSharersForType(ShareShareType type);
  static void pushOnFavorites(const std::string& className, ShareShareType type);
  static void setFavorites(const std::vector<std::string>& classNames, ShareShareType type);
  static kit::Ref<kit::Object> getUserExclusions();
  static void setUserExclusions(const kit::Object* exclusions);

  // ---- Credentials (keychain service: the auth prefix and the sharer id)
  static std::optional<std::string> getAuthValueForKey(const std::string& key, const std::string& sharerId);
  static void setAuthValue(const std::string& value, const std::string& key, const std::string& sharerId);
  static void removeAuthValueForKey(const std::string& key, const std::string& sharerId);

  static void logoutOfAll();
  // Sends `logout` to the sharer class of that name; an unknown name does nothing.
  static void logoutOfService(const std::string& className);
  // The bundle's sharers resource ({"actions": [...], "services": [...]}),
  // read once; empty when missing.
  static kit::Dictionary* sharersDictionary();
  // Replaces the resource's contents until the next resetForTesting.
  static void setSharersDictionaryForTesting(kit::Ref<kit::Dictionary> sharers);

  // ---- Offline queue (under the data root: queued shares are the user's data)
  static std::string offlineQueuePath();
  static std::string offlineQueueListPath();
  // A mutable copy of the stored list, or null when there is none. A list
  // that cannot be read is moved aside (never overwritten) and reads as none.
  static kit::Ref<kit::MutableArray> getOfflineQueueList();
  // Writes the list atomically; false (the old list intact) when it failed.
  static bool saveOfflineQueueList(const kit::Array* list);
  // Queues the item for the sharer with its image or file in a blob of its
  // own; false when offline sharing is off or anything could not be written.
  static bool addToOfflineQueue(ShareItem* item, const std::string& sharerId);
  // When connected, replays every queued entry not already replaying, one at
  // a time in order; drops entries that cannot be replayed and blobs that
  // belong to no entry. An entry leaves the list when its share succeeded or
  // failed for good (see offlineReplayEnded); a 429 stops the flush there.
  static void flushOfflineQueue();
  // At the end of the program (kit::BackgroundWork stopping, so no flush
  // starts again): the replays waiting to run are dropped, their entries kept
  // for the next start, and the one under way stops waiting for its sharer.
  // Runs the main loop meanwhile (a replay waits for it to start its sharer),
  // for up to `seconds`.
  static void stopOfflineReplays(double seconds = 2.0);
  // Flushes the queue each time the internet connection is reported back.
  static void flushOfflineQueueWhenConnected();
  // A replay's outcome (main thread): `dropEntry` removes the entry and its
  // blob; otherwise it stays for the next flush.
  static void offlineReplayEnded(const std::string& uid, bool dropEntry);
  // Whether a text may name a queue entry's blob: letters, digits, '-', '_'
  // and '.', not starting with '.', at most 200 characters.
  static bool isSafeUid(const std::string& uid);
  // The offline queue's operations (tests wait on it).
  kit::OperationQueue* offlineQueue() const noexcept { return offlineQueue_.get(); }

  // `underlying` is the failure below, e.g. the connection's when the
  // service gave no answer (the offline replay keeps such entries).
  static kit::Ref<kit::Error> error(const std::string& description, kit::Ref<kit::Error> underlying = nullptr);
  static bool connected();

  // A service's answer that asks to be tried again later: 408, 429 or any 5xx.
  static constexpr const char* kLaterDomain = "ShareServiceAnswerLater";
  static bool statusMeansLater(int status) noexcept { return status == 408 || status == 429 || (status >= 500 && status <= 599); }
  // The failure below such an answer, in kLaterDomain with the status as its
  // code (null for any other status): a queued share stays queued, and after
  // a 429 the rest of the queue waits for the next flush.
  static kit::Ref<kit::Error> laterError(int status);
  // Whether the flush under way was stopped by a 429 (see laterError).
  static bool offlineFlushStopped();
  static void stopOfflineFlush();

  // ---- Presentation
  kit::ViewController* rootViewForCustomUIDisplay();
  void showViewController(kit::ViewController* controller);
  kit::ViewController* getCurrentRootViewController();
  void hideCurrentViewController() { hideCurrentViewControllerAnimated(true); }
  void hideCurrentViewControllerAnimated(bool animated);
  void showPendingView();
  void viewWasDismissed();
  // `screen` disappeared: the current view is dismissed when the screen was
  // it (or sat in it). A screen that goes while a newer one is already up
  // leaves the newer one alone.
  void screenDisappeared(kit::ViewController& screen);
  kit::ViewController* getTopViewController(kit::ViewController* from);

  kit::ViewController* currentView() const noexcept { return currentView_.get(); }
  kit::ViewController* pendingView() const noexcept { return pendingView_.get(); }
  bool isDismissingView() const noexcept { return isDismissingView_; }
  kit::ViewController* rootViewController() const noexcept { return rootViewController_; }
  kit::ViewController* currentRootViewController() const noexcept { return currentRootViewController_; }

  std::string className() const override { return "Share"; }

 private:
  Share() = default;
  static std::string favoritesKey(ShareShareType type);
  static std::string authService(const std::string& sharerId);
  static void assertionFailure(const std::string& message);
  void dismissCurrentFrom(kit::ViewController* dismisser, bool animated, bool announce);

  kit::Ref<kit::ViewController> currentView_;
  kit::Ref<kit::ViewController> pendingView_;
  bool isDismissingView_ = false;
  kit::Ref<kit::OperationQueue> offlineQueue_;
  kit::ViewController* rootViewController_ = nullptr;
  kit::ViewController* currentRootViewController_ = nullptr;
  // Entries whose replay has started and not yet reported its outcome.
  std::set<std::string> replaying_;
  // A service asked to slow down: the replays still waiting keep their entries.
  bool offlineFlushStopped_ = false;
  kit::Ref<Reachability> connectivity_;
  kit::NotificationCenter::Token connectivityToken_;
};

}  // namespace tolva
