#include "share/core/Share.h"

#include <ctime>

#include "http/Reachability.h"
#include "kit/net/BackgroundWork.h"
#include "kit/foundation/Bundle.h"
#include "kit/foundation/ClassRegistry.h"
#include "kit/foundation/Clock.h"
#include "kit/foundation/FileManager.h"
#include "kit/foundation/Format.h"
#include "kit/foundation/Number.h"
#include "kit/foundation/Paths.h"
#include "kit/foundation/PropertyList.h"
#include "kit/foundation/RunLoop.h"
#include "kit/foundation/String.h"
#include "kit/foundation/UserDefaults.h"
#include "kit/security/SecureRandom.h"
#include "kit/ui/Application.h"
#include "kit/ui/NavigationController.h"
#include "kit/ui/View.h"
#include "kit/ui/Window.h"
#include "share/core/CredentialKeychain.h"
#include "share/core/ShareColor.h"
#include "share/core/ShareConfiguration.h"
#include "share/core/ShareOfflineSharer.h"

namespace tolva {
namespace {

kit::UserDefaults& defaults() { return kit::UserDefaults::standardUserDefaults(); }

kit::Ref<Share>& instance() {
  static kit::Ref<Share> shared;
  return shared;
}

kit::Ref<kit::Dictionary>& sharers() {
  static kit::Ref<kit::Dictionary> dictionary;
  return dictionary;
}

std::vector<std::string> stringsOf(const kit::Array* array) {
  std::vector<std::string> out;
  if (!array) return out;
  for (kit::Object* o : *array)
    if (auto* s = kit::cast<kit::String>(o)) out.push_back(s->str());
  return out;
}

kit::Ref<kit::Array> arrayOf(const std::vector<std::string>& names) {
  auto out = kit::MutableArray::array();
  for (const auto& n : names) out->addObject(kit::str(n));
  return out;
}

bool contains(const std::vector<std::string>& list, const std::string& name) {
  return std::find(list.begin(), list.end(), name) != list.end();
}

std::vector<std::string> excluded() { return stringsOf(defaults().arrayForKey(Share::kExcludedKey).get()); }

std::string blobPath(const std::string& uid) { return Share::offlineQueuePath() + "/" + uid; }

std::string entryUid(kit::Object* entry) {
  auto* d = kit::cast<kit::Dictionary>(entry);
  auto* uid = d ? kit::cast<kit::String>(d->objectForKey("uid")) : nullptr;
  return uid ? uid->str() : std::string();
}

}  // namespace

// ---- The instance

Share* Share::currentHelper() {
  if (!instance()) instance() = kit::Ref<Share>(new Share());
  return instance().get();
}

void Share::resetForTesting() {
  if (Share* s = instance().get()) {
    if (s->offlineQueue_) {
      // Replays call the main thread and wait for it: keep it running meanwhile.
      s->offlineQueue_->cancelAllOperations();
      kit::OperationQueue* queue = s->offlineQueue_.get();
      kit::RunLoop::main().runUntil([queue] { return queue->operationCount() == 0; }, 10);
    }
    kit::RunLoop::main().cancelPreviousPerformRequests(s);
  }
  instance() = nullptr;
  sharers() = nullptr;
}

void Share::setRootViewController(kit::ViewController* root) { currentHelper()->rootViewController_ = root; }

kit::BarStyle Share::barStyle() {
  const std::string name = ShareConfiguration::stringValue("barStyle");
  if (name == "UIBarStyleBlack" || name == "UIBarStyleBlackOpaque") return kit::BarStyle::Black;
  if (name == "UIBarStyleBlackTranslucent") return kit::BarStyle::BlackTranslucent;
  return kit::BarStyle::Default;
}

kit::ViewController::ModalPresentationStyle Share::modalPresentationStyle() {
  using S = kit::ViewController::ModalPresentationStyle;
  const std::string name = ShareConfiguration::stringValue("modalPresentationStyle");
  if (name == "UIModalPresentationFullScreen") return S::FullScreen;
  if (name == "UIModalPresentationPageSheet") return S::PageSheet;
  if (name == "UIModalPresentationFormSheet") return S::FormSheet;
  return S::CurrentContext;
}

kit::ViewController::ModalTransitionStyle Share::modalTransitionStyle() {
  using S = kit::ViewController::ModalTransitionStyle;
  const std::string name = ShareConfiguration::stringValue("modalTransitionStyle");
  if (name == "UIModalTransitionStyleFlipHorizontal") return S::FlipHorizontal;
  if (name == "UIModalTransitionStyleCrossDissolve") return S::CrossDissolve;
  if (name == "UIModalTransitionStylePartialCurl") return S::PartialCurl;
  return S::CoverVertical;
}

// ---- Favourites

std::string Share::favoritesKey(ShareShareType type) {
  return kit::format("%@%i", ShareConfiguration::stringValue("favsPrefixKey"), static_cast<int>(type));
}

std::vector<std::string> Share::favoriteSharersForType(ShareShareType type) {
  std::vector<std::string> favorites;
  if (kit::Ref<kit::Array> stored = defaults().arrayForKey(favoritesKey(type))) {
    favorites = stringsOf(stored.get());
  } else {
    switch (type) {
      case ShareShareTypeURL: favorites = ShareConfiguration::stringListValue("defaultFavoriteURLSharers"); break;
      case ShareShareTypeText: favorites = ShareConfiguration::stringListValue("defaultFavoriteTextSharers"); break;
      case ShareShareTypeImage: favorites = ShareConfiguration::stringListValue("defaultFavoriteImageSharers"); break;
      case ShareShareTypeFile: favorites = ShareConfiguration::stringListValue("defaultFavoriteFileSharers"); break;
      default: break;
    }
    setFavorites(favorites, type);
  }

  std::vector<std::string> listed;
  sharersDictionary()->enumerate([&](kit::Object*, kit::Object* section, bool&) {
    for (const auto& name : stringsOf(kit::cast<kit::Array>(section))) listed.push_back(name);
  });
  const size_t before = favorites.size();
  std::erase_if(favorites, [&](const std::string& name) { return !contains(listed, name); });
  if (favorites.size() != before) setFavorites(favorites, type);

  if (defaults().exists(kExcludedKey)) {
    const std::vector<std::string> off = excluded();
    const size_t count = favorites.size();
    std::erase_if(favorites, [&](const std::string& name) { return contains(off, name); });
    if (favorites.size() != count) setFavorites(favorites, type);
  }
  return favorites;
}

void Share::pushOnFavorites(const std::string& className, ShareShareType type) {
  if (!ShareConfiguration::boolValue("autoOrderFavoriteSharers")) return;
  if (contains(excluded(), className)) return;
  std::vector<std::string> favorites = favoriteSharersForType(type);
  std::erase(favorites, className);
  favorites.insert(favorites.begin(), className);
  const long max = ShareConfiguration::integerValue("maxFavCount");
  while (static_cast<long>(favorites.size()) > max && !favorites.empty()) favorites.pop_back();
  setFavorites(favorites, type);
}

void Share::setFavorites(const std::vector<std::string>& classNames, ShareShareType type) {
  defaults().setArray(arrayOf(classNames).get(), favoritesKey(type));
}

kit::Ref<kit::Object> Share::getUserExclusions() {
  return defaults().objectForKey(kit::format("%@Exclusions", ShareConfiguration::stringValue("favsPrefixKey")));
}

void Share::setUserExclusions(const kit::Object* exclusions) {
  const std::string key = kit::format("%@Exclusions", ShareConfiguration::stringValue("favsPrefixKey"));
  if (exclusions)
    defaults().setObject(exclusions, key);
  else
    defaults().removeObjectForKey(key);
}

// ---- Credentials

std::string Share::authService(const std::string& sharerId) {
  return kit::format("%@%@", ShareConfiguration::stringValue("authPrefix"), sharerId);
}

std::optional<std::string> Share::getAuthValueForKey(const std::string& key, const std::string& sharerId) {
  return CredentialKeychain::passwordForService(authService(sharerId), key);
}

void Share::setAuthValue(const std::string& value, const std::string& key, const std::string& sharerId) {
  CredentialKeychain::setPassword(value, authService(sharerId), key);
}

void Share::removeAuthValueForKey(const std::string& key, const std::string& sharerId) {
  CredentialKeychain::deletePasswordForService(authService(sharerId), key);
}

void Share::logoutOfAll() {
  for (const auto& name : stringsOf(kit::cast<kit::Array>(sharersDictionary()->objectForKey("services"))))
    logoutOfService(name);
}

void Share::logoutOfService(const std::string& className) {
  // A name the registry doesn't know (a sharer not built here) has nothing to log out of.
  (void)kit::ClassRegistry::shared().callClassFunction(className, "logout");
}

kit::Dictionary* Share::sharersDictionary() {
  if (!sharers()) {
    const std::string path = kit::Bundle::mainBundle()->pathForResource(
        ShareConfiguration::stringValue("sharersPlistName"), "");
    kit::Ref<kit::Object> read = path.empty() ? nullptr : kit::PropertyList::readFromFile(path);
    auto* d = kit::cast<kit::Dictionary>(read);
    sharers() = d ? kit::Ref<kit::Dictionary>(d) : kit::Dictionary::dictionary();
  }
  return sharers().get();
}

void Share::setSharersDictionaryForTesting(kit::Ref<kit::Dictionary> dictionary) { sharers() = std::move(dictionary); }

kit::Ref<kit::Error> Share::error(const std::string& description, kit::Ref<kit::Error> underlying) {
  return kit::Error::errorWithDescription(kErrorDomain, 1, description, std::move(underlying));
}

kit::Ref<kit::Error> Share::laterError(int status) {
  if (!statusMeansLater(status)) return nullptr;
  return kit::Error::errorWithDescription(kLaterDomain, status,
                                          "The service asked to try again later (HTTP " + std::to_string(status) + ")");
}

bool Share::offlineFlushStopped() { return currentHelper()->offlineFlushStopped_; }

void Share::stopOfflineFlush() { currentHelper()->offlineFlushStopped_ = true; }

bool Share::connected() {
  kit::Ref<Reachability> internet = Reachability::reachabilityForInternetConnection();
  return internet && internet->currentReachabilityStatus() != NetworkStatusNotReachable;
}

// ---- Offline queue

std::string Share::offlineQueuePath() {
  const std::string path = kit::Paths::dataRoot() + "/" + kOfflineQueueFolder;
  if (!kit::FileManager::isDirectory(path)) kit::FileManager::createDirectory(path, true);
  return path;
}

std::string Share::offlineQueueListPath() { return offlineQueuePath() + "/" + kOfflineQueueListFile; }

bool Share::isSafeUid(const std::string& uid) {
  if (uid.empty() || uid.size() > 200 || uid[0] == '.') return false;
  for (char c : uid) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                    c == '_' || c == '.';
    if (!ok) return false;
  }
  return true;
}

kit::Ref<kit::MutableArray> Share::getOfflineQueueList() {
  const std::string path = offlineQueueListPath();
  if (!kit::FileManager::fileExists(path)) return nullptr;
  kit::Ref<kit::Object> read = kit::PropertyList::readFromFile(path, kit::PropertyList::Options::MutableContainers);
  if (auto* list = kit::cast<kit::Array>(read)) {
    if (auto* mutableList = kit::cast<kit::MutableArray>(list)) return kit::Ref<kit::MutableArray>(mutableList);
    return kit::Ref<kit::MutableArray>(kit::cast<kit::MutableArray>(list->mutableCopy()));
  }
  // Keep what could not be read for a person to look at; the queue starts anew.
  const std::string aside =
      kit::format("%@.unreadable-%lld", path, static_cast<long long>(kit::Clock::now() + kit::Clock::kReferenceDateOffset1970));
  if (!kit::FileManager::moveItem(path, aside)) {
    std::fprintf(stderr, "Sharing: could not set the unreadable offline queue aside\n");
    return nullptr;
  }
  // The blobs it names go beside it (which they are cannot be read, so all
  // that are not being replayed), where the orphan sweep leaves them alone.
  const std::string blobsAside = aside + ".blobs";
  if (auto names = kit::FileManager::contentsOfDirectory(offlineQueuePath())) {
    Share* self = currentHelper();
    for (const std::string& name : *names) {
      if (name.rfind(kOfflineQueueListFile, 0) == 0 || !isSafeUid(name) || self->replaying_.count(name)) continue;
      if (!kit::FileManager::isDirectory(blobsAside)) kit::FileManager::createDirectory(blobsAside, true);
      if (!kit::FileManager::moveItem(blobPath(name), blobsAside + "/" + name))
        std::fprintf(stderr, "Sharing: could not set a blob of the unreadable offline queue aside\n");
    }
  }
  return nullptr;
}

bool Share::saveOfflineQueueList(const kit::Array* list) {
  if (!list) return false;
  return !kit::PropertyList::writeToFile(list, offlineQueueListPath(), 0600);
}

bool Share::addToOfflineQueue(ShareItem* item, const std::string& sharerId) {
  if (!item || !ShareConfiguration::boolValue("allowOffline")) return false;
  const long long seconds =
      static_cast<long long>(kit::Clock::now() + kit::Clock::kReferenceDateOffset1970);
  const std::string uid = kit::format("%@-%i-%lld-%i", sharerId, static_cast<int>(item->shareType()), seconds,
                                      static_cast<int32_t>(kit::SecureRandom::uint32()));
  if (!isSafeUid(uid)) return false;

  // The list is read first: setting an unreadable one aside moves the blobs
  // present, and this entry's must not be among them.
  kit::Ref<kit::MutableArray> list = getOfflineQueueList();
  if (!list) list = kit::MutableArray::array();

  kit::Ref<kit::Data> blob;
  if (item->shareType() == ShareShareTypeImage && item->image())
    blob = item->image()->jpegData(1.0);
  else if (item->shareType() == ShareShareTypeFile)
    blob = item->data();
  if (blob && !kit::FileManager::writeFile(blobPath(uid), blob->view(), nullptr, 0600)) return false;

  list->addObject(kit::Ref<kit::Object>(new kit::Dictionary(
      {{"item", item->dictionaryRepresentation()}, {"sharer", kit::str(sharerId)}, {"uid", kit::str(uid)}})));
  if (!saveOfflineQueueList(list.get())) {
    if (blob) kit::FileManager::removeItem(blobPath(uid));
    return false;
  }
  return true;
}

void Share::flushOfflineQueue() {
  if (kit::BackgroundWork::stopping()) return;
  // Nothing was ever queued: don't even make the folder.
  if (!kit::FileManager::isDirectory(kit::Paths::dataRoot() + "/" + kOfflineQueueFolder)) return;
  if (!connected()) return;
  Share* self = currentHelper();
  self->offlineFlushStopped_ = false;
  kit::Ref<kit::MutableArray> list = getOfflineQueueList();
  if (!list) list = kit::MutableArray::array();

  // Entries that cannot be replayed here leave the list with their blobs.
  auto kept = kit::MutableArray::array();
  std::set<std::string> uids;
  bool dropped = false;
  for (kit::Object* entry : *list) {
    auto* d = kit::cast<kit::Dictionary>(entry);
    const std::string uid = entryUid(entry);
    auto* sharer = d ? kit::cast<kit::String>(d->objectForKey("sharer")) : nullptr;
    kit::Ref<ShareItem> item = d ? ShareItem::itemFromDictionary(kit::cast<kit::Dictionary>(d->objectForKey("item")))
                                 : nullptr;
    const bool usable = isSafeUid(uid) && !uids.count(uid) && sharer && item &&
                        kit::ClassRegistry::shared().isSubclassOf(sharer->str(), "ShareSharer") &&
                        kit::ClassRegistry::shared().classExists(sharer->str());
    if (!usable) {
      dropped = true;
      continue;
    }
    uids.insert(uid);
    kept->addObject(kit::Ref<kit::Object>(entry));
    if (self->replaying_.count(uid)) continue;
    if (!self->offlineQueue_) {
      self->offlineQueue_ = kit::make<kit::OperationQueue>();
      // One at a time, so that shares reach a service in the order they were made.
      self->offlineQueue_->setMaxConcurrentOperationCount(1);
      self->offlineQueue_->setName("ShareOfflineQueue");
    }
    self->replaying_.insert(uid);
    auto op = kit::make<ShareOfflineSharer>(item, sharer->str(), uid);
    self->offlineQueue_->addOperation(op.get());
  }
  if (dropped) saveOfflineQueueList(kept.get());

  // A blob whose entry is gone (a crash between the two writes, a dropped
  // entry) is removed; the list file and what was set aside stay.
  if (auto names = kit::FileManager::contentsOfDirectory(offlineQueuePath())) {
    for (const std::string& name : *names) {
      if (name.rfind(kOfflineQueueListFile, 0) == 0 || uids.count(name) || !isSafeUid(name)) continue;
      kit::FileManager::removeItem(blobPath(name));
    }
  }
}

void Share::stopOfflineReplays(double seconds) {
  Share* self = instance().get();
  kit::Ref<kit::OperationQueue> queue = self ? self->offlineQueue_ : nullptr;
  if (!queue) return;
  queue->cancelAllOperations();
  kit::RunLoop::main().runUntil([&queue] { return queue->operationCount() == 0; }, seconds);
}

void Share::offlineReplayEnded(const std::string& uid, bool dropEntry) {
  Share* self = currentHelper();
  self->replaying_.erase(uid);
  if (!dropEntry || !isSafeUid(uid)) return;
  kit::Ref<kit::MutableArray> list = getOfflineQueueList();
  if (list) {
    auto kept = kit::MutableArray::array();
    for (kit::Object* entry : *list)
      if (entryUid(entry) != uid) kept->addObject(kit::Ref<kit::Object>(entry));
    // Should the list not be written, the entry stays and its blob with it.
    if (kept->count() != list->count() && !saveOfflineQueueList(kept.get())) return;
  }
  kit::FileManager::removeItem(blobPath(uid));
}

void Share::flushOfflineQueueWhenConnected() {
  Share* self = currentHelper();
  if (self->connectivity_) return;
  self->connectivity_ = Reachability::reachabilityForInternetConnection();
  if (!self->connectivity_) return;
  self->connectivityToken_ = kit::NotificationCenter::defaultCenter().addObserver(
      kReachabilityChangedNotification, self->connectivity_.get(), [](const kit::Notification&) {
        if (connected()) flushOfflineQueue();
      });
  self->connectivity_->startNotifier();
}

// ---- Presentation

void Share::assertionFailure(const std::string& message) { std::fprintf(stderr, "%s\n", message.c_str()); }

kit::ViewController* Share::getTopViewController(kit::ViewController* from) {
  kit::ViewController* top = from;
  while (top && top->modalViewController()) top = top->modalViewController();
  return top;
}

kit::ViewController* Share::rootViewForCustomUIDisplay() { return getTopViewController(getCurrentRootViewController()); }

kit::ViewController* Share::getCurrentRootViewController() {
  if (rootViewController_) return rootViewController_;
  kit::Application* app = kit::Application::sharedApplication();
  kit::Window* window = app->keyWindow();
  if (!window || window->windowLevel() != kit::Window::kLevelNormal) {
    window = nullptr;
    for (const auto& w : app->windows())
      if (w->windowLevel() == kit::Window::kLevelNormal) {
        window = w.get();
        break;
      }
  }
  if (window) {
    const auto& subviews = window->subviews();
    if (!subviews.empty())
      if (auto* vc = dynamic_cast<kit::ViewController*>(subviews.front()->nextResponder())) return vc;
    if (window->rootViewController()) return window->rootViewController();
  }
  assertionFailure(
      "Sharing: Could not find a root view controller.  You can assign one manually by calling "
      "[[Share currentHelper] setRootViewController:YOURROOTVIEWCONTROLLER].");
  return nullptr;
}

void Share::showViewController(kit::ViewController* controller) {
  if (!controller) return;
  kit::Ref<kit::ViewController> keep(controller);
  currentRootViewController_ = getCurrentRootViewController();
  kit::ViewController* top = getTopViewController(currentRootViewController_);
  if (!top) {
    assertionFailure("Sharing: There is no view controller to display from");
    return;
  }

  if (currentView_) {
    kit::ViewController* dismisser = currentView_->parentViewController();
    if (!dismisser) dismisser = currentView_->presentingViewController();
    if (dismisser) {
      pendingView_ = keep;
      if (!isDismissingView_) {
        isDismissingView_ = true;
        dismissCurrentFrom(dismisser, true, false);
      }
      return;
    }
    // The old screen is no longer shown anywhere (its dismissal is still
    // finishing): present the new one at once. That dismissal's completion no
    // longer concerns the new screen, which must be free to go in its turn.
    currentView_ = nullptr;
    isDismissingView_ = false;
    top = getTopViewController(currentRootViewController_);
  }

  kit::Ref<kit::NavigationController> nav(dynamic_cast<kit::NavigationController*>(controller));
  if (!nav) {
    nav = kit::NavigationController::withRootViewController(controller);
    nav->setToolbarHidden(false);
  }
  nav->setModalPresentationStyle(modalPresentationStyle());
  nav->setModalTransitionStyle(modalTransitionStyle());
  nav->navigationBar()->setBarStyle(barStyle());
  nav->toolbar()->setBarStyle(barStyle());
  kit::Ref<kit::Object> tint = ShareConfiguration::sharedInstance()->configurationValue("barTintForView:", controller);
  if (auto* color = kit::cast<ShareColor>(tint)) nav->navigationBar()->setTintColor(color->color());

  top->presentModalViewController(nav.get(), true);
  currentView_ = nav;
  pendingView_ = nullptr;
}

void Share::hideCurrentViewControllerAnimated(bool animated) {
  if (isDismissingView_ || !currentView_) return;
  kit::ViewController* dismisser = currentView_->parentViewController();
  const bool announce = !dismisser;
  if (!dismisser) dismisser = currentView_->presentingViewController();
  if (!dismisser) {
    currentView_ = nullptr;
    return;
  }
  isDismissingView_ = true;
  dismissCurrentFrom(dismisser, animated, announce);
}

void Share::dismissCurrentFrom(kit::ViewController* dismisser, bool animated, bool announce) {
  kit::Ref<kit::ViewController> dismissed = currentView_;
  dismisser->dismissViewControllerAnimated(animated, [dismissed, announce] {
    kit::RunLoop::main().perform([dismissed, announce] {
      if (announce) kit::NotificationCenter::defaultCenter().postNotification(kHideCurrentViewFinishedNotification);
      // A screen that doesn't report its own disappearance (a plain screen
      // wrapped here) is done now.
      Share* self = currentHelper();
      if (self->currentView_ == dismissed) self->viewWasDismissed();
    });
  });
}

void Share::viewWasDismissed() {
  isDismissingView_ = false;
  currentView_ = nullptr;
  currentRootViewController_ = nullptr;
  if (pendingView_) {
    kit::RunLoop::main().cancelPreviousPerformRequests(this, "showPendingView", nullptr);
    kit::RunLoop::main().performAfterDelay(this, "showPendingView", nullptr, 0.02, [] {
      currentHelper()->showPendingView();
    });
  }
}

void Share::screenDisappeared(kit::ViewController& screen) {
  kit::ViewController* current = currentView_.get();
  if (current && current != &screen && current != screen.navigationController()) return;
  viewWasDismissed();
}

void Share::showPendingView() {
  if (!pendingView_) return;
  kit::Ref<kit::ViewController> pending = pendingView_;
  showViewController(pending.get());
}

}  // namespace tolva
