#pragma once
// The application delegate. It builds the main screen at launch, installs
// the process-wide request hooks and the shared URL cache, routes URLs that
// other programs hand over, guards the application with the passcode
// window, now and then asks for a store review, and carries the settings
// buttons that clear stored data. Made by the main interface file
// ("MainWindow") together with the main window. Main thread only.

#include <string>

#include "kit/foundation/Dictionary.h"
#include "kit/foundation/URL.h"
#include "kit/ui/AlertView.h"
#include "kit/ui/ApplicationDelegate.h"
#include "kit/ui/Window.h"
#include "shell/VeskWebViewController.h"
#include "data/PINViewController.h"

namespace tolva {

class VeskWebAppDelegate : public kit::Object,
                           public kit::ApplicationDelegate,
                           public kit::AlertViewDelegate,
                           public PINViewControllerDelegate {
 public:
  // Alert tags.
  static constexpr long kTagDeleteCookies = 1;
  static constexpr long kTagDeleteHistories = 2;
  static constexpr long kTagReview = 3;
  static constexpr long kTagDeletePasswords = 4;
  static constexpr long kTagLogoutShareAccounts = 5;
  static constexpr long kTagDeleteCaches = 6;
  // Pages opened in the system from the settings.
  static constexpr const char* kBookmarkletHelpURL = "https://tolva-browser.org/help/bookmarklet";
  static constexpr const char* kReviewURL = "https://tolva-browser.org/review";
  // Delay of the passcode check after the application resigns active.
  static constexpr double kPasscodeCheckDelay = 2.5;

  VeskWebAppDelegate() = default;
  ~VeskWebAppDelegate() override;

  kit::Window* window() const noexcept { return window_.get(); }
  void setWindow(kit::Window* w) { window_ = w; }
  kit::Window* window2() const noexcept { return window2_.get(); }
  void setWindow2(kit::Window* w) { window2_ = w; }
  VeskWebViewController* viewController() const noexcept { return viewController_.get(); }
  void setViewController(VeskWebViewController* c) { viewController_ = c; }
  bool bPasscodeVisible() const noexcept { return bPasscodeVisible_; }
  bool bReviewVisible() const noexcept { return bReviewVisible_; }

  // With onlyHide (entering the background) the main window is just hidden;
  // otherwise the PIN screen comes up when a passcode is set.
  void checkAndShowPasscode(bool onlyHide);
  // Routes a URL handed over by another program; answers whether it was taken.
  bool handleURL(kit::URL* url);
  void checkAndShowAfterDelay();
  void checkAndAskReview();

  // ---- kit::ApplicationDelegate
  bool didFinishLaunchingWithOptions(kit::Application& app, kit::Dictionary* options) override;
  bool handleOpenURL(kit::Application& app, kit::URL* url) override;
  bool openURL(kit::Application& app, kit::URL* url, const std::string& sourceApplication,
               kit::Object* annotation) override;
  void willResignActive(kit::Application& app) override;
  void didBecomeActive(kit::Application& app) override;
  void didEnterBackground(kit::Application& app) override;
  void willEnterForeground(kit::Application& app) override;
  void willTerminate(kit::Application& app) override;
  void didReceiveMemoryWarning(kit::Application& app) override;

  // ---- PINViewControllerDelegate (validateCode)
  bool pinView(PINViewController& pinView, const std::string& code) override;

  // ---- kit::AlertViewDelegate
  void alertViewClickedButtonAtIndex(kit::AlertView& alert, long index) override;

  // ---- Settings buttons (both arguments are ignored)
  static void onDeletePasswords(kit::Object* settings, kit::Object* key);
  static void onDeleteCaches(kit::Object* settings, kit::Object* key);
  static void onDeleteHistories(kit::Object* settings, kit::Object* key);
  static void onDeleteCookies(kit::Object* settings, kit::Object* key);
  static void onLogoutAllShareAccounts(kit::Object* settings, kit::Object* key);
  static void onBookmarkLet(kit::Object* settings, kit::Object* key);
  static void onRateThisApp(kit::Object* settings, kit::Object* key);

  std::string className() const override { return "VeskWebAppDelegate"; }

 private:
  // The user's passcode, when one of exactly four characters is set.
  static bool passcodeIsSet();
  // Shows the question of a clear-data button, answered by the application's delegate.
  static void askToClear(long tag, const char* question);
  static void showResult(const char* message);

  kit::Ref<kit::Window> window_;
  kit::Ref<kit::Window> window2_;
  kit::Ref<VeskWebViewController> viewController_;
  bool bPasscodeVisible_ = false;
  bool bReviewVisible_ = false;
};

}  // namespace tolva
