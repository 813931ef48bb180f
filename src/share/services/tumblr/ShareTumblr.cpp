#include "share/services/tumblr/ShareTumblr.h"

#include "kit/foundation/Format.h"
#include "kit/foundation/String.h"
#include "share/core/Share.h"
#include "share/core/ShareConfiguration.h"
#include "share/core/ShareFunctions.h"
#include "share/ui/ShareFormController.h"
#include "share/services/ShareWebSupport.h"

namespace tolva {

using namespace ShareWebSupport;

ShareTumblr::Hosts& ShareTumblr::hosts() {
  static Hosts h;
  return h;
}

std::vector<kit::Ref<ShareFormFieldSettings>> ShareTumblr::authorizationFormFields() const {
  return {ShareFormFieldSettings::label(ShareLocalizedFormat("Email"), "email", ShareFormFieldTypeTextNoCorrect, ""),
          ShareFormFieldSettings::label(ShareLocalizedFormat("Password"), "password", ShareFormFieldTypePassword, "")};
}

std::string ShareTumblr::authorizationFormCaption() const {
  return ShareLocalizedFormat("Create a free account at %@", {hosts().signUp});
}

void ShareTumblr::authorizationFormValidate(ShareFormController* form) {
  postLogin(*this, form, "https://" + hosts().api + "/api/authenticate", "", {"email", "password"},
            loginAlert(ShareLocalizedFormat("Invalid email or password."),
                       ShareLocalizedFormat("The service encountered an error. Please try again later.")));
}

std::optional<std::vector<kit::Ref<ShareFormFieldSettings>>> ShareTumblr::shareFormFieldsForType(int type) {
  std::vector<kit::Ref<ShareFormFieldSettings>> fields;
  if (type == ShareShareTypeImage)
    fields.push_back(ShareFormFieldSettings::label(ShareLocalizedFormat("Caption"), "caption", ShareFormFieldTypeText, ""));
  else
    fields.push_back(
        ShareFormFieldSettings::label(ShareLocalizedFormat("Title"), "title", ShareFormFieldTypeText, item()->title()));
  fields.push_back(
      ShareFormFieldSettings::label(ShareLocalizedFormat("Tag,Tag"), "tags", ShareFormFieldTypeText, item()->tags()));
  fields.push_back(ShareFormFieldSettings::label(ShareLocalizedFormat("Slug"), "slug", ShareFormFieldTypeText, ""));
  fields.push_back(ShareFormFieldSettings::label(ShareLocalizedFormat("Private"), "private", ShareFormFieldTypeSwitch, "0"));
  fields.push_back(
      ShareFormFieldSettings::label(ShareLocalizedFormat("Send to Twitter"), "twitter", ShareFormFieldTypeSwitch, "0"));
  return fields;
}

std::string ShareTumblr::formBody() const {
  const ShareItem& it = *item();
  std::string body = kit::format("email=%@&password=%@", formValue(getAuthValueForKey("email").value_or("")),
                                 formValue(getAuthValueForKey("password").value_or("")));
  const std::string appName = ShareConfiguration::stringValue("appName");
  if (!appName.empty()) body += "&generator=" + formValue(appName);
  body += it.customBoolForSwitchKey("twitter") ? "&send-to-twitter=auto" : "&send-to-twitter=no";
  if (!it.tags().empty()) body += "&tags=" + formValue(it.tags());
  const std::string slug = it.customStringForKey("slug");
  if (!slug.empty()) body += "&slug=" + formValue(slug);
  body += it.customBoolForSwitchKey("private") ? "&private=1" : "&private=0";
  if (it.shareType() == ShareShareTypeURL) {
    body += "&type=link&url=" + urlValue(it.URL());
    if (!it.title().empty()) body += "&name=" + formValue(it.title());
  } else {
    body += "&type=regular";
    if (!it.title().empty()) body += "&title=" + formValue(it.title());
    body += "&body=" + formValue(it.text());
  }
  return body;
}

kit::Ref<kit::Data> ShareTumblr::generateImageData() const {
  return item()->image() ? item()->image()->jpegData(0.9) : nullptr;
}

std::string ShareTumblr::photoBody() const {
  const ShareItem& it = *item();
  std::string body;
  auto part = [&](const std::string& name, const std::string& value) {
    body += kit::format("\r\n--%@\r\n", kBoundary);
    body += kit::format("Content-Disposition: form-data; name=\"%@\"\r\n\r\n", name);
    body += value;
  };
  part("email", getAuthValueForKey("email").value_or(""));
  part("password", getAuthValueForKey("password").value_or(""));
  part("type", "photo");
  const std::string appName = ShareConfiguration::stringValue("appName");
  if (!appName.empty()) part("generator", appName);
  if (!it.tags().empty()) part("tags", it.tags());
  if (!it.customStringForKey("caption").empty()) part("caption", it.customStringForKey("caption"));
  if (!it.customStringForKey("slug").empty()) part("slug", it.customStringForKey("slug"));
  part("private", it.customBoolForSwitchKey("private") ? "1" : "0");
  part("twitter", it.customBoolForSwitchKey("twitter") ? "auto" : "no");
  body += kit::format("\r\n--%@\r\n", kBoundary);
  body += "Content-Disposition: form-data; name=\"data\"; filename=\"upload.jpg\"\r\n";
  body += "Content-Transfer-Encoding: image/jpg\r\n\r\n";
  if (kit::Ref<kit::Data> jpeg = generateImageData()) body += jpeg->toString();
  body += kit::format("\r\n--%@--\r\n", kBoundary);
  return body;
}

bool ShareTumblr::send() {
  if (!validateItem()) return false;
  kit::Ref<ShareTumblr> self(this);
  const std::string url = "https://" + hosts().api + "/api/write";
  if (item()->shareType() == ShareShareTypeImage) {
    auto headers = kit::Ref<kit::Dictionary>(new kit::Dictionary(
        {{"Content-Type", kit::str(kit::format("multipart/form-data; boundary=%@", kBoundary))}}));
    setRequest(start(this, url, photoBody(), "POST", [self](ShareRequest& r) { self->finish(r); }, headers));
  } else {
    setRequest(start(this, url, formBody(), "POST", [self](ShareRequest& r) { self->sendFinished(r); }));
  }
  sendDidStart();
  return true;
}

void ShareTumblr::sendFinished(ShareRequest& request) {
  if (request.success())
    sendDidFinish();
  else if (request.statusCode() == 403)
    shouldReloginWithPendingAction(SharePendingActionSend);
  else if (request.statusCode() == 500)
    sendDidFailWithError(failure(request, ShareLocalizedFormat("The service encountered an error. Please try again later.")).get());
  else
    sendDidFailWithError(failure(request, ShareLocalizedFormat("There was an error sending your post to Tumblr.")).get());
}

void ShareTumblr::finish(ShareRequest& request) {
  if (request.success())
    sendDidFinish();
  else if (request.statusCode() == 403)
    sendDidFailWithError(Share::error(ShareLocalizedFormat("Invalid email or password.")).get(), true);
  else if (request.statusCode() == 500)
    sendDidFailWithError(failure(request, ShareLocalizedFormat("The service encountered an error. Please try again later.")).get());
  else
    sendDidFailWithError(failure(request, ShareLocalizedFormat("There was an error sending your post to Tumblr.")).get());
}

}  // namespace tolva
