#pragma once
// A screen for writing one e-mail: subject, recipients, body (plain or
// HTML) and attachments, filled in by the program and then presented. The
// user sends, saves or cancels it; the delegate (not owned) then hears the
// result and dismisses the composer.
//
// Headless, nothing is sent: the composer records what it was given and a
// test plays the user's part with finish(). Whether mail can be sent at all
// is a process-wide switch the backend (or a test) sets; it is on by default.

#include <string>
#include <vector>

#include "kit/foundation/Data.h"
#include "kit/foundation/Error.h"
#include "kit/ui/ViewController.h"

namespace kit {

class MailComposeViewController;

enum class MailComposeResult { Cancelled = 0, Saved = 1, Sent = 2, Failed = 3 };

class MailComposeViewControllerDelegate {
 public:
  virtual ~MailComposeViewControllerDelegate() = default;
  virtual void mailComposeControllerDidFinish(MailComposeViewController& controller, MailComposeResult result,
                                              Error* error) = 0;
};

// Takes a written message to the user's mail program (the window backend's
// one opens the desktop's default mail handler). Not owned.
class MailHandler {
 public:
  virtual ~MailHandler() = default;
  // `path` holds the message (MailMessage); answers whether a mail program took it.
  virtual bool openMessage(const std::string& path, const MailComposeViewController& composer) = 0;
};

class MailComposeViewController : public ViewController {
 public:
  struct Attachment {
    Ref<Data> data;
    std::string mimeType;
    std::string fileName;
  };

  MailComposeViewController();
  ~MailComposeViewController() override;

  static bool canSendMail();
  static void setCanSendMail(bool can);
  // With a handler, the composer hands its message over once it has appeared
  // and then finishes by itself: Saved when the mail program took the draft,
  // Failed when it did not. Without one (headless), a test plays the user.
  static void setMailHandler(MailHandler* handler);
  static MailHandler* mailHandler();

  void viewDidAppear(bool animated) override;

  MailComposeViewControllerDelegate* mailComposeDelegate() const noexcept { return delegate_; }
  void setMailComposeDelegate(MailComposeViewControllerDelegate* d) { delegate_ = d; }

  const std::string& subject() const noexcept { return subject_; }
  void setSubject(std::string s) { subject_ = std::move(s); }
  const std::vector<std::string>& toRecipients() const noexcept { return to_; }
  void setToRecipients(std::vector<std::string> r) { to_ = std::move(r); }
  const std::vector<std::string>& ccRecipients() const noexcept { return cc_; }
  void setCcRecipients(std::vector<std::string> r) { cc_ = std::move(r); }
  const std::vector<std::string>& bccRecipients() const noexcept { return bcc_; }
  void setBccRecipients(std::vector<std::string> r) { bcc_ = std::move(r); }
  const std::string& messageBody() const noexcept { return body_; }
  bool isBodyHTML() const noexcept { return bodyIsHTML_; }
  void setMessageBody(std::string body, bool isHTML) {
    body_ = std::move(body);
    bodyIsHTML_ = isHTML;
  }
  void addAttachmentData(Ref<Data> data, std::string mimeType, std::string fileName);
  const std::vector<Attachment>& attachments() const noexcept { return attachments_; }

  // The user's answer: tells the delegate (which dismisses the composer).
  // Answers false when there is no delegate to tell.
  bool finish(MailComposeResult result, Error* error = nullptr);

  std::string className() const override { return "MailComposeViewController"; }

 private:
  MailComposeViewControllerDelegate* delegate_ = nullptr;
  std::string subject_;
  std::vector<std::string> to_;
  std::vector<std::string> cc_;
  std::vector<std::string> bcc_;
  std::string body_;
  bool bodyIsHTML_ = false;
  std::vector<Attachment> attachments_;
  bool handedOver_ = false;
};

}  // namespace kit
