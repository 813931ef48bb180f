#include "kit/ui/MailComposeViewController.h"

#include <atomic>

namespace kit {
namespace {

std::atomic<bool> gCanSendMail{true};

}  // namespace

MailComposeViewController::MailComposeViewController() { setTitle("New Message"); }

MailComposeViewController::~MailComposeViewController() = default;

bool MailComposeViewController::canSendMail() { return gCanSendMail.load(); }

void MailComposeViewController::setCanSendMail(bool can) { gCanSendMail.store(can); }

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
