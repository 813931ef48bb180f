#pragma once
// The base of every sharing service: a navigation controller (its login and
// share forms are pushed onto it and the kit presents it as one screen) that
// knows what its service can share, whether the user is logged in, how to
// ask for the login and for the share's details, and how to send. It reports
// to its share delegate and posts a notification for each report.
//
// A concrete sharer overrides the capability answers, the title, its form
// fields and send(), and registers itself with registerSharerClass<T>(name):
// the kit then reaches it by class name (the sharers resource, the offline
// queue, logging out of all services) and asks the class functions
// "sharerTitle", "sharerId", "canShare", "canShareType", "logout" and
// "isServiceAuthorized" of it. The sharer id is the class name.
//
// A sharer that reported sendDidStart keeps itself alive until it reports the
// outcome, so that a caller letting go of it never cuts a share short.

#include <optional>
#include <string>
#include <vector>

#include "kit/foundation/ClassRegistry.h"
#include "kit/foundation/Error.h"
#include "kit/ui/NavigationController.h"
#include "share/core/ShareItem.h"
#include "share/core/ShareSharerDelegate.h"
#include "share/ui/ShareFormFieldSettings.h"

namespace tolva {

class ShareFormController;
class ShareFormOptionController;

enum ShareSharerPendingAction : int {
  SharePendingActionNone = 0,
  SharePendingActionShare = 1,
  SharePendingActionRefreshToken = 2,
  SharePendingActionSend = 3,
};

class ShareSharer : public kit::NavigationController {
 public:
  static constexpr const char* kSendDidStartNotification = "ShareSendDidStartNotification";
  static constexpr const char* kSendDidFinishNotification = "ShareSendDidFinish";
  static constexpr const char* kSendDidFailWithErrorNotification = "ShareSendDidFailWithError";
  static constexpr const char* kSendDidCancelNotification = "ShareSendDidCancel";
  static constexpr const char* kAuthDidFinishNotification = "ShareAuthDidFinish";

  ShareSharer();
  ~ShareSharer() override;

  // ---- Registry
  // Registers T (default-constructible) under `name` as a sharer.
  template <class T>
  static void registerSharerClass(kit::ClassRegistry& registry, std::string_view name) {
    registerBase(registry);
    registry.registerClass(name, [] { return kit::Ref<kit::Object>(new T()); }, "ShareSharer");
  }
  // The base class and its class functions (done by registerSharerClass too).
  static void registerBase(kit::ClassRegistry& registry);
  // A new sharer of the registered class, or null for an unknown one.
  static kit::Ref<ShareSharer> sharerWithClassName(std::string_view className);

  // ---- What the service can do (class answers)
  virtual std::string sharerTitle() const { return ""; }
  virtual std::string sharerId() const { return className(); }
  virtual bool canShareText() const { return false; }
  virtual bool canShareURL() const { return false; }
  virtual bool canShareImage() const { return false; }
  virtual bool canShareFile() const { return false; }
  virtual bool canGetUserInfo() const { return false; }
  virtual bool shareRequiresInternetConnection() const { return true; }
  virtual bool canShareOffline() const { return true; }
  virtual bool requiresAuthentication() const { return true; }
  virtual bool canAutoShare() const { return true; }
  virtual bool canShare() const { return true; }
  virtual std::vector<kit::Ref<ShareFormFieldSettings>> authorizationFormFields() const;
  virtual std::string authorizationFormCaption() const { return ""; }
  bool canShareType(int type) const;

  // ---- Starting a share of the class named `className`
  // Moves the class to the front of the item type's favourites, then shares.
  static kit::Ref<ShareSharer> shareItem(std::string_view className, ShareItem* item);
  static kit::Ref<ShareSharer> shareURL(std::string_view className, kit::Ref<kit::URL> url, std::string title = {});
  static kit::Ref<ShareSharer> shareImage(std::string_view className, kit::Ref<kit::Image> image, std::string title);
  static kit::Ref<ShareSharer> shareText(std::string_view className, std::string text);
  static kit::Ref<ShareSharer> shareFile(std::string_view className, kit::Ref<kit::Data> data, std::string filename,
                                         std::string mimeType, std::string title);
  static kit::Ref<ShareSharer> getUserInfo(std::string_view className);
  // Forgets the stored login (sharers with sessions of their own do more).
  virtual void logout();
  static bool isServiceAuthorized(std::string_view className);

  // ---- The share
  // Sharers that never ask for details (the local ones) answer yes.
  virtual bool shouldAutoShare() const;
  void setShouldAutoShare(bool autoShare);
  void loadItem(ShareItem* item);
  virtual void share();
  virtual bool isAuthorized();
  virtual bool authorize();
  virtual void promptAuthorization();
  std::optional<std::string> getAuthValueForKey(const std::string& key) const;
  virtual void authorizationFormShow();
  virtual void authorizationFormValidate(ShareFormController* form);
  virtual void authorizationFormSave(ShareFormController* form);
  virtual void authorizationFormCancel(ShareFormController* form);
  virtual void show();
  virtual std::optional<std::vector<kit::Ref<ShareFormFieldSettings>>> shareFormFieldsForType(int type);
  virtual void shareFormValidate(ShareFormController* form);
  virtual void shareFormSave(ShareFormController* form);
  virtual void shareFormCancel(ShareFormController* form);
  virtual void updateItemWithForm(ShareFormController* form);
  virtual bool validateItem();
  virtual bool tryToSend();
  // Starts sending; whether it started. The base sends nothing.
  virtual bool send() { return false; }
  void tryPendingAction();
  bool shouldAutorotateToInterfaceOrientation(kit::InterfaceOrientation orientation) override;
  void viewDidDisappear(bool animated) override;

  // ---- Reports
  void sendDidStart();
  void sendDidFinish();
  void shouldReloginWithPendingAction(ShareSharerPendingAction action);
  void sendDidFailWithError(const kit::Error* error) { sendDidFailWithError(error, false); }
  void sendDidFailWithError(const kit::Error* error, bool shouldRelogin);
  void sendDidCancel();
  void authDidFinish(bool success);

  ShareSharerDelegate* shareDelegate() const noexcept { return shareDelegate_.get(); }
  void setShareDelegate(ShareSharerDelegate* d) { shareDelegate_ = d; }
  ShareItem* item() const noexcept { return item_.get(); }
  void setItem(ShareItem* item) { item_ = item ? kit::Ref<ShareItem>(item) : kit::make<ShareItem>(); }
  ShareFormController* pendingForm() const noexcept { return pendingForm_.get(); }
  void setPendingForm(ShareFormController* f);
  ShareFormOptionController* curOptionController() const noexcept { return curOptionController_.get(); }
  void setCurOptionController(ShareFormOptionController* c);
  kit::Object* request() const noexcept { return request_.get(); }
  void setRequest(kit::Ref<kit::Object> r) { request_ = std::move(r); }
  const kit::Error* lastError() const noexcept { return lastError_.get(); }
  void setLastError(kit::Ref<kit::Error> e) { lastError_ = std::move(e); }
  bool quiet() const noexcept { return quiet_; }
  void setQuiet(bool q) { quiet_ = q; }
  ShareSharerPendingAction pendingAction() const noexcept { return pendingAction_; }
  void setPendingAction(ShareSharerPendingAction a) { pendingAction_ = a; }

  // An "Offline"-style alert with one "Close" button (nothing when quiet).
  void alert(const std::string& title, const std::string& message) const;

  std::string className() const override { return "ShareSharer"; }

 private:
  static kit::Ref<ShareSharer> startWith(std::string_view className, kit::Ref<ShareItem> item);
  void endOfSend();

  kit::Ref<ShareSharerDelegate> shareDelegate_;
  kit::Ref<ShareItem> item_;
  kit::Ref<ShareFormController> pendingForm_;
  kit::Ref<ShareFormOptionController> curOptionController_;
  kit::Ref<kit::Object> request_;
  kit::Ref<kit::Error> lastError_;
  bool quiet_ = false;
  ShareSharerPendingAction pendingAction_ = SharePendingActionNone;
  // Set while a send is under way (see the class comment).
  kit::Ref<ShareSharer> sending_;
};

}  // namespace tolva
