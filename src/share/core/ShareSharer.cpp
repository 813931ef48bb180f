#include "share/core/ShareSharer.h"

#include "kit/foundation/Format.h"
#include "kit/foundation/NotificationCenter.h"
#include "kit/foundation/Number.h"
#include "kit/foundation/String.h"
#include "kit/foundation/UserDefaults.h"
#include "kit/ui/AlertView.h"
#include "settings/PrefAutorotation.h"
#include "share/core/Share.h"
#include "share/core/ShareConfiguration.h"
#include "share/core/ShareFunctions.h"
#include "share/ui/ShareCustomFormController.h"
#include "share/ui/ShareFormOptionController.h"

namespace tolva {
namespace {

kit::Ref<ShareSharer> instanceFor(const kit::ClassCall& call) {
  return kit::Ref<ShareSharer>(kit::cast<ShareSharer>(call.registry.create(call.className)));
}

void post(const char* name, ShareSharer* sharer, kit::Ref<kit::Dictionary> info = nullptr) {
  kit::NotificationCenter::defaultCenter().postNotification(name, sharer, std::move(info));
}

}  // namespace

ShareSharer::ShareSharer() : shareDelegate_(kit::make<ShareSharerDelegate>()), item_(kit::make<ShareItem>()) {
  setModalPresentationStyle(Share::modalPresentationStyle());
  setModalTransitionStyle(Share::modalTransitionStyle());
}

ShareSharer::~ShareSharer() = default;

// ---- Registry

void ShareSharer::registerBase(kit::ClassRegistry& registry) {
  if (registry.classExists("ShareSharer")) return;
  registry.registerClass("ShareSharer", {});
  using Call = const kit::ClassCall&;
  registry.registerClassFunction("ShareSharer", "sharerTitle", [](Call c) -> kit::Ref<kit::Object> {
    auto s = instanceFor(c);
    return s ? kit::Ref<kit::Object>(kit::str(s->sharerTitle())) : nullptr;
  });
  registry.registerClassFunction("ShareSharer", "sharerId", [](Call c) -> kit::Ref<kit::Object> {
    auto s = instanceFor(c);
    return s ? kit::Ref<kit::Object>(kit::str(s->sharerId())) : nullptr;
  });
  registry.registerClassFunction("ShareSharer", "canShare", [](Call c) -> kit::Ref<kit::Object> {
    auto s = instanceFor(c);
    return kit::boolean(s && s->canShare());
  });
  registry.registerClassFunction("ShareSharer", "canShareType", [](Call c) -> kit::Ref<kit::Object> {
    auto s = instanceFor(c);
    auto* type = kit::cast<kit::Number>(c.arg(0));
    return kit::boolean(s && type && s->canShareType(type->intValue()));
  });
  registry.registerClassFunction("ShareSharer", "logout", [](Call c) -> kit::Ref<kit::Object> {
    if (auto s = instanceFor(c)) s->logout();
    return nullptr;
  });
  registry.registerClassFunction("ShareSharer", "isServiceAuthorized", [](Call c) -> kit::Ref<kit::Object> {
    auto s = instanceFor(c);
    return kit::boolean(s && s->isAuthorized());
  });
}

kit::Ref<ShareSharer> ShareSharer::sharerWithClassName(std::string_view className) {
  kit::ClassRegistry& registry = kit::ClassRegistry::shared();
  if (!registry.isSubclassOf(className, "ShareSharer")) return nullptr;
  return kit::Ref<ShareSharer>(kit::cast<ShareSharer>(registry.create(className)));
}

// ---- Class answers

std::vector<kit::Ref<ShareFormFieldSettings>> ShareSharer::authorizationFormFields() const {
  return {ShareFormFieldSettings::label(ShareLocalizedFormat("Username"), "username", ShareFormFieldTypeTextNoCorrect, ""),
          ShareFormFieldSettings::label(ShareLocalizedFormat("Password"), "password", ShareFormFieldTypePassword, "")};
}

bool ShareSharer::canShareType(int type) const {
  switch (type) {
    case ShareShareTypeURL: return canShareURL();
    case ShareShareTypeText: return canShareText();
    case ShareShareTypeImage: return canShareImage();
    case ShareShareTypeFile: return canShareFile();
    case ShareShareTypeUserInfo: return canGetUserInfo();
    default: return false;
  }
}

kit::Ref<ShareSharer> ShareSharer::startWith(std::string_view className, kit::Ref<ShareItem> item) {
  kit::Ref<ShareSharer> sharer = sharerWithClassName(className);
  if (!sharer) return nullptr;
  sharer->setItem(item.get());
  sharer->share();
  return sharer;
}

kit::Ref<ShareSharer> ShareSharer::shareItem(std::string_view className, ShareItem* item) {
  if (item) Share::pushOnFavorites(std::string(className), item->shareType());
  return startWith(className, kit::Ref<ShareItem>(item));
}

kit::Ref<ShareSharer> ShareSharer::shareURL(std::string_view className, kit::Ref<kit::URL> url, std::string title) {
  return startWith(className, ShareItem::URL(std::move(url), std::move(title)));
}

kit::Ref<ShareSharer> ShareSharer::shareImage(std::string_view className, kit::Ref<kit::Image> image,
                                              std::string title) {
  return startWith(className, ShareItem::image(std::move(image), std::move(title)));
}

kit::Ref<ShareSharer> ShareSharer::shareText(std::string_view className, std::string text) {
  return startWith(className, ShareItem::text(std::move(text)));
}

kit::Ref<ShareSharer> ShareSharer::shareFile(std::string_view className, kit::Ref<kit::Data> data,
                                             std::string filename, std::string mimeType, std::string title) {
  return startWith(className,
                   ShareItem::file(std::move(data), std::move(filename), std::move(mimeType), std::move(title)));
}

kit::Ref<ShareSharer> ShareSharer::getUserInfo(std::string_view className) {
  auto item = kit::make<ShareItem>();
  item->setShareType(ShareShareTypeUserInfo);
  return startWith(className, item);
}

void ShareSharer::logout() {
  for (const auto& field : authorizationFormFields()) Share::removeAuthValueForKey(field->key(), sharerId());
}

bool ShareSharer::isServiceAuthorized(std::string_view className) {
  kit::Ref<ShareSharer> sharer = sharerWithClassName(className);
  return sharer && sharer->isAuthorized();
}

// ---- The share

bool ShareSharer::shouldAutoShare() const {
  return kit::UserDefaults::standardUserDefaults().boolForKey(kit::format("%@_shouldAutoShare", sharerId()));
}

void ShareSharer::setShouldAutoShare(bool autoShare) {
  kit::UserDefaults::standardUserDefaults().setBool(autoShare, kit::format("%@_shouldAutoShare", sharerId()));
}

void ShareSharer::loadItem(ShareItem* item) {
  if (item) Share::pushOnFavorites(className(), item->shareType());
  setItem(item);
}

void ShareSharer::share() {
  kit::Ref<ShareSharer> keep(this);
  if (!authorize()) {
    pendingAction_ = SharePendingActionShare;
    return;
  }
  if (ShareConfiguration::boolValue("allowAutoShare") && shouldAutoShare() && tryToSend()) return;
  show();
}

bool ShareSharer::isAuthorized() {
  if (!requiresAuthentication()) return true;
  for (const auto& field : authorizationFormFields())
    if (getAuthValueForKey(field->key())) return true;
  return false;
}

bool ShareSharer::authorize() {
  if (isAuthorized()) return true;
  promptAuthorization();
  return false;
}

void ShareSharer::promptAuthorization() {
  if (!shareRequiresInternetConnection() || Share::connected()) {
    authorizationFormShow();
    return;
  }
  alert(ShareLocalizedFormat("Offline"), ShareLocalizedFormat("You must be online to login to %@", {sharerTitle()}));
}

std::optional<std::string> ShareSharer::getAuthValueForKey(const std::string& key) const {
  return Share::getAuthValueForKey(key, sharerId());
}

void ShareSharer::authorizationFormShow() {
  auto form = kit::make<ShareCustomFormController>(kit::TableView::Style::Grouped, ShareLocalizedFormat("Login"),
                                                   ShareLocalizedFormat("Login"));
  form->addSection(authorizationFormFields(), "", authorizationFormCaption());
  kit::WeakRef<ShareSharer> weak(this);
  form->setDelegate(this);
  form->setValidateSelector([weak](ShareFormController* f) {
    if (auto s = weak.lock()) s->authorizationFormValidate(f);
  });
  form->setSaveSelector([weak](ShareFormController* f) {
    if (auto s = weak.lock()) s->authorizationFormSave(f);
  });
  form->setCancelSelector([weak](ShareFormController* f) {
    if (auto s = weak.lock()) s->authorizationFormCancel(f);
  });
  form->setAutoSelect(true);
  pushViewController(form.get(), false);
  Share::currentHelper()->showViewController(this);
}

void ShareSharer::authorizationFormValidate(ShareFormController*) {}

void ShareSharer::authorizationFormSave(ShareFormController* form) {
  kit::Ref<ShareSharer> keep(this);
  if (form && !form->sections().empty()) {
    const ShareFormController::Values values = form->formValues();
    for (const auto& field : form->sections().front().rows) {
      auto it = values.find(field->key());
      if (it != values.end()) Share::setAuthValue(it->second, field->key(), sharerId());
    }
  }
  tryPendingAction();
}

void ShareSharer::authorizationFormCancel(ShareFormController*) { sendDidCancel(); }

void ShareSharer::show() {
  std::optional<std::vector<kit::Ref<ShareFormFieldSettings>>> fields = shareFormFieldsForType(item_->shareType());
  if (!fields) {
    tryToSend();
    return;
  }
  auto form = kit::make<ShareCustomFormController>(kit::TableView::Style::Grouped, "",
                                                   ShareLocalizedFormat("Send to %@", {sharerTitle()}));
  form->addSection(std::move(*fields), "", item_->URL() ? item_->URL()->absoluteString() : std::string());
  if (ShareConfiguration::boolValue("allowAutoShare") && canAutoShare())
    form->addSection({ShareFormFieldSettings::label(ShareLocalizedFormat("Auto Share"), "autoShare",
                                                    ShareFormFieldTypeSwitch, shouldAutoShare() ? "1" : "0")},
                     "", ShareLocalizedFormat("Enable auto share to skip this step in the future."));
  kit::WeakRef<ShareSharer> weak(this);
  form->setDelegate(this);
  form->setValidateSelector([weak](ShareFormController* f) {
    if (auto s = weak.lock()) s->shareFormValidate(f);
  });
  form->setSaveSelector([weak](ShareFormController* f) {
    if (auto s = weak.lock()) s->shareFormSave(f);
  });
  form->setCancelSelector([weak](ShareFormController* f) {
    if (auto s = weak.lock()) s->shareFormCancel(f);
  });
  pushViewController(form.get(), false);
  Share::currentHelper()->showViewController(this);
}

std::optional<std::vector<kit::Ref<ShareFormFieldSettings>>> ShareSharer::shareFormFieldsForType(int type) {
  if (type != ShareShareTypeURL) return std::nullopt;
  return std::vector<kit::Ref<ShareFormFieldSettings>>{
      ShareFormFieldSettings::label(ShareLocalizedFormat("Title"), "title", ShareFormFieldTypeText, item_->title())};
}

void ShareSharer::shareFormValidate(ShareFormController* form) {
  if (form) form->saveForm();
}

void ShareSharer::shareFormSave(ShareFormController* form) {
  kit::Ref<ShareSharer> keep(this);
  updateItemWithForm(form);
  if (form && ShareConfiguration::boolValue("allowAutoShare") && canAutoShare()) {
    const ShareFormController::Values second = form->formValuesForSection(1);
    auto it = second.find("autoShare");
    if (it != second.end()) setShouldAutoShare(it->second == "1");
  }
  tryToSend();
}

void ShareSharer::shareFormCancel(ShareFormController*) { sendDidCancel(); }

void ShareSharer::updateItemWithForm(ShareFormController* form) {
  if (!form) return;
  for (const auto& [key, value] : form->formValues()) {
    if (key == "title")
      item_->setTitle(value);
    else if (key == "text")
      item_->setText(value);
    else if (key == "tags")
      item_->setTags(value);
    else
      item_->setCustomValue(value, key);
  }
}

bool ShareSharer::validateItem() {
  switch (item_->shareType()) {
    case ShareShareTypeURL: return item_->URL() != nullptr;
    case ShareShareTypeText: return !item_->text().empty();
    case ShareShareTypeImage: return item_->image() != nullptr;
    case ShareShareTypeFile: return item_->data() != nullptr;
    case ShareShareTypeUserInfo: return canGetUserInfo();
    default: return false;
  }
}

bool ShareSharer::tryToSend() {
  kit::Ref<ShareSharer> keep(this);
  if (!shareRequiresInternetConnection() || Share::connected()) return send();
  if (ShareConfiguration::boolValue("allowOffline") && canShareOffline())
    return Share::addToOfflineQueue(item_.get(), sharerId());
  if (quiet_) return false;
  alert(ShareLocalizedFormat("Offline"),
        ShareLocalizedFormat("You must be online in order to share with %@", {sharerTitle()}));
  return true;
}

void ShareSharer::tryPendingAction() {
  switch (pendingAction_) {
    case SharePendingActionShare:
      pendingAction_ = SharePendingActionNone;
      share();
      break;
    case SharePendingActionRefreshToken:
    case SharePendingActionSend:
      pendingAction_ = SharePendingActionNone;
      tryToSend();
      break;
    default: break;
  }
}

bool ShareSharer::shouldAutorotateToInterfaceOrientation(kit::InterfaceOrientation o) {
  return PrefAutorotation::shouldAutorotate(this, o);
}

void ShareSharer::viewDidDisappear(bool animated) {
  kit::NavigationController::viewDidDisappear(animated);
  Share* share = Share::currentHelper();
  if (share->currentView() == this) share->viewWasDismissed();
}

void ShareSharer::setPendingForm(ShareFormController* f) { pendingForm_ = f; }

void ShareSharer::setCurOptionController(ShareFormOptionController* c) { curOptionController_ = c; }

// ---- Reports

void ShareSharer::sendDidStart() {
  sending_ = this;
  post(kSendDidStartNotification, this);
  if (shareDelegate_) shareDelegate_->sharerStartedSending(this);
}

void ShareSharer::endOfSend() {
  // Let go only after the report, which may still use this sharer.
  kit::Ref<ShareSharer> last = std::move(sending_);
  (void)last;
}

void ShareSharer::sendDidFinish() {
  kit::Ref<ShareSharer> keep(this);
  post(kSendDidFinishNotification, this);
  kit::Ref<ShareSharerDelegate> delegate = shareDelegate_;
  if (delegate) delegate->sharerFinishedSending(this);
  endOfSend();
}

void ShareSharer::shouldReloginWithPendingAction(ShareSharerPendingAction action) {
  kit::Ref<ShareSharer> keep(this);
  if (action == SharePendingActionShare && curOptionController_) {
    popViewControllerAnimated(false);
    curOptionController_ = nullptr;
    auto* form = dynamic_cast<ShareFormController*>(topViewController());
    if (form)
      updateItemWithForm(form);
    else
      std::fprintf(stderr, "topViewController must be ShareCustomFormController now!\n");
  }
  pendingAction_ = action;
  sendDidFailWithError(Share::error(ShareLocalizedFormat("Could not authenticate you. Please relogin.")).get(), true);
}

void ShareSharer::sendDidFailWithError(const kit::Error* error, bool shouldRelogin) {
  kit::Ref<ShareSharer> keep(this);
  lastError_ = const_cast<kit::Error*>(error);
  post(kSendDidFailWithErrorNotification, this);
  kit::Ref<ShareSharerDelegate> delegate = shareDelegate_;
  if (delegate) delegate->sharer(this, error, shouldRelogin);
  endOfSend();
}

void ShareSharer::sendDidCancel() {
  kit::Ref<ShareSharer> keep(this);
  post(kSendDidCancelNotification, this);
  kit::Ref<ShareSharerDelegate> delegate = shareDelegate_;
  if (delegate) delegate->sharerCancelledSending(this);
  endOfSend();
}

void ShareSharer::authDidFinish(bool success) {
  kit::Ref<ShareSharer> keep(this);
  post(kAuthDidFinishNotification, this,
       kit::Ref<kit::Dictionary>(new kit::Dictionary({{"success", kit::boolean(success)}})));
  if (shareDelegate_) shareDelegate_->sharerAuthDidFinish(this, success);
}

void ShareSharer::alert(const std::string& title, const std::string& message) const {
  if (quiet_) return;
  auto a = kit::make<kit::AlertView>();
  a->setTitle(title);
  a->setMessage(message);
  a->setCancelButtonIndex(a->addButtonWithTitle(ShareLocalizedFormat("Close")));
  a->show();
}

}  // namespace tolva
