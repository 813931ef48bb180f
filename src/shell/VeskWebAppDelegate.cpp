#include "shell/VeskWebAppDelegate.h"

#include "kit/foundation/RunLoop.h"
#include "kit/foundation/String.h"
#include "kit/foundation/UserDefaults.h"
#include "kit/net/HTTPCookieStorage.h"
#include "kit/net/URLCache.h"
#include "kit/ui/Application.h"
#include "kit/ui/Device.h"
#include "kit/ui/Screen.h"
#include "common/LocalizedText.h"
#include "shell/MyMutableURLRequest.h"
#include "shell/VeskAnalytics.h"
#include "common/VeskMiscObject.h"
#include "data/MyURLCache.h"
#include "data/MyURLRequest.h"
#include "share/core/Share.h"
#include "share/core/ShareConfiguration.h"
#include "share/social/ShareFacebook.h"
#include "data/VeskBookmarkDatabase.h"
#include "data/VeskPagePasswordDatabase.h"
#include "data/VeskPasscodeStore.h"
#include "shell/VeskSharingConfigurator.h"

namespace tolva {
namespace {

constexpr uint64_t kDefaultMemoryCapacity = 524288;  // 512 KiB
constexpr uint64_t kDefaultDiskCapacity = 10485760;  // 10 MiB

kit::UserDefaults& defaults() { return kit::UserDefaults::standardUserDefaults(); }

std::string lowercase(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

bool startsWithIgnoringCase(const std::string& s, const std::string& prefix) {
  return s.size() >= prefix.size() && lowercase(s.substr(0, prefix.size())) == lowercase(prefix);
}

// What a "tolp" URL asks to open: the text after "tolp:" and its slashes,
// with a missing or broken "http://" repaired; empty when nothing follows.
std::string tolpTarget(const kit::URL& url) {
  const std::string& abs = url.absoluteString();
  size_t start = url.scheme().size() + 1;  // past "tolp:"
  for (int i = 0; i < 2 && start < abs.size() && abs[start] == '/'; ++i) ++start;
  std::string rest = start < abs.size() ? abs.substr(start) : std::string();
  if (rest.empty()) return rest;
  if (!startsWithIgnoringCase(rest, "http")) return "http://" + rest;
  if (startsWithIgnoringCase(rest, "http//")) return "http://" + rest.substr(6);
  if (startsWithIgnoringCase(rest, "https//")) return "https://" + rest.substr(7);
  return rest;
}

}  // namespace

VeskWebAppDelegate::~VeskWebAppDelegate() {
  kit::RunLoop::main().cancelPreviousPerformRequests(this);
  for (const kit::Ref<kit::AlertView>& alert : kit::AlertView::visibleAlerts())
    if (alert->delegate() == this) alert->setDelegate(nullptr);
  kit::Application* app = kit::Application::sharedApplication();
  if (app->delegate() == this) app->setDelegate(nullptr);
}

// ---- Start-up

bool VeskWebAppDelegate::didFinishLaunchingWithOptions(kit::Application&, kit::Dictionary* options) {
  bool pad = kit::Device::currentDevice().isPad();
  viewController_ = kit::make<VeskWebViewController>(pad ? "VeskWebViewController" : "VeskWebViewController~iphone");
  if (!window_) window_ = kit::make<kit::Window>();
  kit::View* main = viewController_->view();
  main->setFrame(kit::Screen::mainScreen().applicationFrame());
  window_->addSubview(main);
  window_->makeKeyAndVisible();

  ShareConfiguration::sharedInstanceWithConfigurator(kit::make<VeskSharingConfigurator>());
  // Shares queued without a network go out once it is back.
  Share::flushOfflineQueueWhenConnected();

  MyMutableURLRequest::setupUserAgentOverwrite();
  MyURLRequest::setupAdblockFilter();

  kit::Ref<kit::URLCache> current = kit::URLCache::sharedURLCache();
  uint64_t memory = current->memoryCapacity();
  uint64_t disk = current->diskCapacity();
  kit::URLCache::setSharedURLCache(kit::make<MyURLCache>(memory ? memory : kDefaultMemoryCapacity,
                                                         disk ? disk : kDefaultDiskCapacity, "web_cache"));

  if (options) {
    kit::Object* given = options->objectForKey(kit::Application::kLaunchOptionsURLKey);
    kit::Ref<kit::URL> url(kit::cast<kit::URL>(given));
    if (!url)
      if (auto* text = kit::cast<kit::String>(given)) url = kit::URL::URLWithString(text->str());
    if (url) handleURL(url.get());
  }

  checkAndShowPasscode(false);
  return true;
}

// ---- Incoming URLs

bool VeskWebAppDelegate::handleOpenURL(kit::Application&, kit::URL* url) { return handleURL(url); }

bool VeskWebAppDelegate::openURL(kit::Application&, kit::URL* url, const std::string&, kit::Object*) {
  return handleURL(url);
}

bool VeskWebAppDelegate::handleURL(kit::URL* url) {
  if (!url) return true;

  // A login callback of the social network: scheme "fb" + the app id. Without
  // an app id every "fb..." scheme would count as one, so none does.
  kit::Ref<kit::Object> appId = ShareConfiguration::sharedInstance()->configurationValue("facebookAppId", nullptr);
  auto* id = kit::cast<kit::String>(appId);
  if (id && !id->empty() && startsWithIgnoringCase(url->scheme(), "fb" + id->str()))
    return ShareFacebook::handleOpenURL(url);

  if (!url->schemeIs("tolp")) {
    if (!url->isFileURL() && viewController_) viewController_->createNewTabWithURL(url->absoluteString());
    return true;
  }
  std::string target = tolpTarget(*url);
  if (!target.empty() && viewController_) viewController_->createNewTabWithURL(target);
  return true;
}

// ---- Passcode

bool VeskWebAppDelegate::passcodeIsSet() { return VeskPasscodeStore::isOn(); }

void VeskWebAppDelegate::checkAndShowPasscode(bool onlyHide) {
  if (!passcodeIsSet() || bPasscodeVisible_ || !window_) return;
  if (onlyHide) {
    window_->setHidden(true);
    return;
  }
  // A private tab may have opened since the flag was last recorded (a desktop
  // rarely enters the background): read the tab strip now.
  if (viewController_) viewController_->_savePrivateTabState();
  if (defaults().exists("passcode_ask_only_private_exists") &&
      defaults().boolForKey("passcode_ask_only_private_exists") &&
      !VeskMiscObject::sharedInstance()->bPrivateTabExists()) {
    window_->setHidden(false);
    window_->makeKeyAndVisible();
    return;
  }
  kit::Ref<kit::ViewController> plain = kit::make<kit::ViewController>();
  kit::Ref<PINViewController> pin = kit::make<PINViewController>("PINViewDefault");
  pin->setDelegate(this);
  pin->setMessageText(LocalizedText::localized("Enter Your PIN"));
  pin->setTitle(LocalizedText::localized("Tolva Web Browser"));
  window2_ = kit::make<kit::Window>(kit::Screen::mainScreen().bounds());
  window2_->setRootViewController(plain.get());
  window2_->setBackgroundColor(kit::Color::whiteColor());
  window2_->makeKeyAndVisible();
  plain->presentViewController(pin.get(), false);
  window_->setHidden(true);
  bPasscodeVisible_ = true;
}

void VeskWebAppDelegate::checkAndShowAfterDelay() { checkAndShowPasscode(false); }

bool VeskWebAppDelegate::pinView(PINViewController& pinView, const std::string& code) {
  std::optional<std::string> stored = VeskPasscodeStore::passcode();
  if (!stored || *stored != code) {
    pinView.setErrorText(LocalizedText::localized("Passcode did not match. Try again."));
    return false;
  }
  kit::Ref<PINViewController> keep(&pinView);
  pinView.dismissViewControllerAnimated(false);
  checkAndAskReview();
  bPasscodeVisible_ = false;
  if (viewController_) viewController_->view()->setHidden(false);
  if (window2_) {
    window2_->setHidden(true);
    window2_ = nullptr;
  }
  if (window_) {
    window_->setHidden(false);
    window_->makeKeyAndVisible();
  }
  if (defaults().exists("opt_lock_rotation") && defaults().boolForKey("opt_lock_rotation") &&
      defaults().exists("opt_lock_rotation_info")) {
    long held = defaults().integerForKey("opt_lock_rotation_info");
    if (kit::isValidInterfaceOrientation(held))
      kit::Application::sharedApplication()->setStatusBarOrientation(static_cast<kit::InterfaceOrientation>(held));
  }
  return true;
}

// ---- Life cycle

void VeskWebAppDelegate::willResignActive(kit::Application&) {
  kit::RunLoop::main().cancelPreviousPerformRequests(this, "checkAndShowAfterDelay", nullptr);
  kit::RunLoop::main().performAfterDelay(this, "checkAndShowAfterDelay", nullptr, kPasscodeCheckDelay,
                                         [this] { checkAndShowAfterDelay(); });
}

void VeskWebAppDelegate::didBecomeActive(kit::Application&) {
  kit::RunLoop::main().cancelPreviousPerformRequests(this);
  Share::flushOfflineQueue();
  if (!(passcodeIsSet() && !bPasscodeVisible_)) checkAndAskReview();
}

void VeskWebAppDelegate::didEnterBackground(kit::Application&) {
  VeskAnalytics::sharedInstance()->endUsing();
  VeskBookmarkDatabase::getSharedInstance()->saveStatus();
  defaults().synchronize();
  checkAndShowPasscode(true);
}

void VeskWebAppDelegate::willEnterForeground(kit::Application&) { checkAndShowPasscode(false); }

void VeskWebAppDelegate::willTerminate(kit::Application&) {
  VeskAnalytics::sharedInstance()->endUsing();
  // Closing the window ends the program too: the tree must reach the disk.
  VeskBookmarkDatabase::getSharedInstance()->saveStatus();
  defaults().synchronize();
}

void VeskWebAppDelegate::didReceiveMemoryWarning(kit::Application&) {}

// ---- Review question

void VeskWebAppDelegate::checkAndAskReview() {
  VeskAnalytics* counters = VeskAnalytics::sharedInstance();
  if (counters->reviewed() || counters->remindCounter() > 0 || bReviewVisible_) return;
  kit::Ref<kit::AlertView> alert(new kit::AlertView(
      LocalizedText::localized("Review helps us."),
      LocalizedText::localized(
          "Are you enjoying Tolva? Would you like to write a review? It would be a great support for Tolva."),
      this, LocalizedText::localized("No, Thanks."),
      {LocalizedText::localized("Sure!"), LocalizedText::localized("Ask me later.")}));
  alert->setTag(kTagReview);
  alert->show();
  bReviewVisible_ = true;
}

// ---- Alerts

void VeskWebAppDelegate::alertViewClickedButtonAtIndex(kit::AlertView& alert, long index) {
  long tag = alert.tag();
  if (tag == kTagReview) {
    VeskAnalytics* counters = VeskAnalytics::sharedInstance();
    if (index == 1) {
      onRateThisApp(nullptr, nullptr);
      counters->setReviewed(true);
    } else if (index == 2) {
      counters->setRemindCounter(10);
    } else if (index == 0) {
      counters->setRemindCounter(2000);
    }
    bReviewVisible_ = false;
    return;
  }
  if (index != 1) return;
  switch (tag) {
    case kTagDeleteCookies: {
      kit::HTTPCookieStorage& storage = kit::HTTPCookieStorage::sharedHTTPCookieStorage();
      for (const kit::Ref<kit::HTTPCookie>& cookie : storage.cookies()) storage.deleteCookie(*cookie);
      showResult("All the cookies were removed.");
      break;
    }
    case kTagDeleteHistories: {
      VeskBookmarkDatabase* bookmarks = VeskBookmarkDatabase::getSharedInstance();
      bookmarks->clearHistory();
      bookmarks->saveStatus();
      showResult("All the histories were removed.");
      break;
    }
    case kTagDeletePasswords:
      VeskPagePasswordDatabase::sharedInstance()->deleteAllPasswords();
      showResult("All the passwords were removed.");
      break;
    case kTagLogoutShareAccounts:
      Share::logoutOfAll();
      showResult("All the share account sessions were cleared.");
      break;
    case kTagDeleteCaches:
      kit::URLCache::sharedURLCache()->removeAllCachedResponses();
      showResult("Browser cache was cleared.");
      break;
    default:
      break;
  }
}

void VeskWebAppDelegate::showResult(const char* message) {
  kit::Ref<kit::AlertView> alert(
      new kit::AlertView("", LocalizedText::localized(message), nullptr, LocalizedText::localized("OK")));
  alert->show();
}

// ---- Settings buttons

void VeskWebAppDelegate::askToClear(long tag, const char* question) {
  auto* delegate = dynamic_cast<kit::AlertViewDelegate*>(kit::Application::sharedApplication()->delegate());
  kit::Ref<kit::AlertView> alert(new kit::AlertView("", LocalizedText::localized(question), delegate,
                                                    LocalizedText::localized("Cancel"),
                                                    {LocalizedText::localized("Clear")}));
  alert->setTag(tag);
  alert->show();
}

void VeskWebAppDelegate::onDeletePasswords(kit::Object*, kit::Object*) {
  askToClear(kTagDeletePasswords, "Do you want to clear all the saved password(s)?");
}

void VeskWebAppDelegate::onDeleteCaches(kit::Object*, kit::Object*) {
  askToClear(kTagDeleteCaches, "Do you want to clear the cache?");
}

void VeskWebAppDelegate::onDeleteHistories(kit::Object*, kit::Object*) {
  askToClear(kTagDeleteHistories, "Do you want to clear all the histories?");
}

void VeskWebAppDelegate::onDeleteCookies(kit::Object*, kit::Object*) {
  askToClear(kTagDeleteCookies, "Do you want to clear all the cookies?");
}

void VeskWebAppDelegate::onLogoutAllShareAccounts(kit::Object*, kit::Object*) {
  askToClear(kTagLogoutShareAccounts, "Do you want to clear all share account sessions?");
}

void VeskWebAppDelegate::onBookmarkLet(kit::Object*, kit::Object*) {
  if (kit::Ref<kit::URL> url = kit::URL::URLWithString(LocalizedText::localized(kBookmarkletHelpURL)))
    kit::Application::sharedApplication()->openURLInSystem(url.get());
}

void VeskWebAppDelegate::onRateThisApp(kit::Object*, kit::Object*) {
  if (kit::Ref<kit::URL> url = kit::URL::URLWithString(kReviewURL))
    kit::Application::sharedApplication()->openURLInSystem(url.get());
}

}  // namespace tolva
