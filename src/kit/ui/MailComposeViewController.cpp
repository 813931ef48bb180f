#include "kit/ui/MailComposeViewController.h"

#include <atomic>

#include "kit/foundation/FileManager.h"
#include "kit/foundation/Paths.h"
#include "kit/foundation/RunLoop.h"
#include "kit/ui/MailMessage.h"

namespace kit {
namespace {

std::atomic<bool> gCanSendMail{true};
std::atomic<MailHandler*> gHandler{nullptr};

}  // namespace

MailComposeViewController::MailComposeViewController() { setTitle("New Message"); }

MailComposeViewController::~MailComposeViewController() = default;

bool MailComposeViewController::canSendMail() { return gCanSendMail.load(); }

void MailComposeViewController::setCanSendMail(bool can) { gCanSendMail.store(can); }

void MailComposeViewController::setMailHandler(MailHandler* handler) { gHandler.store(handler); }

MailHandler* MailComposeViewController::mailHandler() { return gHandler.load(); }

void MailComposeViewController::viewDidAppear(bool animated) {
  ViewController::viewDidAppear(animated);
  MailHandler* handler = gHandler.load();
  if (!handler || handedOver_) return;
  handedOver_ = true;
  bool taken = false;
  const std::string folder = Paths::temporaryDirectory() + "/Mail";
  if (FileManager::createDirectory(folder, true)) {
    if (auto path = FileManager::createUniqueFile(folder, "message-", ".eml")) {
      taken = FileManager::writeFile(*path, MailMessage::write(*this)) && handler->openMessage(*path, *this);
    }
  }
  // Finish on the next turn: the delegate dismisses us, which must not happen
  // inside our own appearance call.
  Ref<MailComposeViewController> keep(this);
  RunLoop::main().performAfterDelay(this, "finishHandOver", nullptr, 0, [keep, taken] {
    keep->finish(taken ? MailComposeResult::Saved : MailComposeResult::Failed);
  });
}

void MailComposeViewController::addAttachmentData(Ref<Data> data, std::string mimeType, std::string fileName) {
  if (!data) return;
  attachments_.push_back({std::move(data), std::move(mimeType), std::move(fileName)});
}

bool MailComposeViewController::finish(MailComposeResult result, Error* error) {
  if (!delegate_) return false;
  Ref<MailComposeViewController> keep(this);
  delegate_->mailComposeControllerDidFinish(*this, result, error);
  return true;
}

}  // namespace kit
