#pragma once
// A mail composer's contents written as one standard MIME message
// (RFC 5322 / 2045), the form desktop mail programs open as a draft. Header
// values never carry a line break, non-ASCII subjects and file names are
// encoded (RFC 2047 / 2231), the body and attachments travel as base64.

#include <string>

namespace kit {

class MailComposeViewController;

class MailMessage {
 public:
  // The whole message, CRLF line ends. `boundary` is for tests (it must hold a
  // '_'); empty picks a random one.
  static std::string write(const MailComposeViewController& composer, std::string boundary = {});

  // A header value on one line: CR, LF and other control characters become spaces.
  static std::string headerSafe(std::string_view value);
  // `value` as an RFC 2047 encoded word when it is not plain printable ASCII.
  static std::string encodedWord(std::string_view value);
};

}  // namespace kit
