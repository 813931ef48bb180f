#include "share/local/ShareMail.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "common/VeskMiscObject.h"
#include "share/core/Share.h"
#include "share/core/ShareConfiguration.h"
#include "share/core/ShareFunctions.h"

namespace tolva {
namespace {

// The draft keeps its sharer alive, not the sharer itself: when the kit
// replaces the screen before the user answers, both go with it.
class HoldingComposer : public kit::MailComposeViewController {
 public:
  explicit HoldingComposer(ShareMail* sharer) : sharer_(sharer) {}
  void letGo() { sharer_ = nullptr; }

 private:
  kit::Ref<ShareMail> sharer_;
};

}  // namespace

std::string ShareMail::sharerTitle() const { return ShareLocalizedFormat("Email Link"); }

std::string ShareMail::escapeHTML(std::string_view text) { return ShareEscapeMarkup(text, "&#39;"); }

bool ShareMail::send() {
  setQuiet(true);
  if (!validateItem()) return false;
  return sendMail();
}

bool ShareMail::sendMail() { return compose(nullptr); }

bool ShareMail::compose(kit::Data* page) {
  ShareItem* it = item();
  if (!kit::MailComposeViewController::canSendMail()) {
    // No mail program: say so rather than pretend the mail went.
    if (Share* share = Share::currentHelper()) share->hideCurrentViewControllerAnimated(true);
    kit::Ref<kit::Error> error = Share::error(ShareLocalizedFormat("No mail program is set up."));
    sendDidFailWithError(error.get());
    return true;
  }
  kit::Ref<kit::MailComposeViewController> composer(new HoldingComposer(this));
  composer->setMailComposeDelegate(this);

  std::string body = it->customStringForKey("body");
  if (!it->customValueForKey("body")) {
    body = escapeHTML(it->text());
    if (kit::URL* url = it->URL()) {
      std::string link = escapeHTML(linkText(*url));
      body = body.empty() ? link : body + "<br/><br/>" + link;
    }
    if (it->data()) {
      std::string attached =
          escapeHTML(ShareLocalizedFormat("Attached: %@", {it->title().empty() ? it->filename() : it->title()}));
      body = body.empty() ? attached : body + "<br/><br/>" + attached;
    }
    const std::string& email = VeskMiscObject::sharedInstance()->default_email();
    if (!email.empty()) composer->setToRecipients({email});
    if (ShareConfiguration::boolValue("sharedWithSignature"))
      body += "<br/><br/>" +
              escapeHTML(ShareLocalizedFormat("Sent from %@", {ShareConfiguration::stringValue("appName")}));
    it->setCustomValue(body, "body");
  }
  if (kit::Data* data = it->data()) composer->addAttachmentData(kit::Ref<kit::Data>(data), it->mimeType(), it->filename());
  if (kit::Image* image = it->image()) {
    std::string q = it->customStringForKey("jpgQuality");
    double quality = q.empty() ? 1.0 : std::strtod(q.c_str(), nullptr);
    if (!std::isfinite(quality)) quality = 1.0;
    if (kit::Ref<kit::Data> jpeg = image->jpegData(std::clamp(quality, 0.0, 1.0)))
      composer->addAttachmentData(jpeg, "image/jpeg", "Image.jpg");
  }
  if (page) composer->addAttachmentData(kit::Ref<kit::Data>(page), "text/html", "content.html");
  composer->setSubject(it->title());
  composer->setMessageBody(body, true);
  if (Share* share = Share::currentHelper()) share->showViewController(composer.get());
  return true;
}

void ShareMail::mailComposeControllerDidFinish(kit::MailComposeViewController& controller,
                                               kit::MailComposeResult result, kit::Error*) {
  kit::Ref<ShareMail> keep(this);
  if (auto* holding = dynamic_cast<HoldingComposer*>(&controller)) holding->letGo();
  controller.setMailComposeDelegate(nullptr);
  if (Share* share = Share::currentHelper()) share->hideCurrentViewControllerAnimated(true);
  switch (result) {
    case kit::MailComposeResult::Cancelled:
      sendDidCancel();
      break;
    case kit::MailComposeResult::Saved:
    case kit::MailComposeResult::Sent:
      sendDidFinish();
      break;
    case kit::MailComposeResult::Failed:
      sendDidFailWithError(nullptr);
      break;
  }
}

}  // namespace tolva
