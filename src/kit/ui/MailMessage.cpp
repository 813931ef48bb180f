#include "kit/ui/MailMessage.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <vector>

#include "kit/security/Base64.h"
#include "kit/security/SecureRandom.h"
#include "kit/ui/MailComposeViewController.h"

namespace kit {
namespace {

bool plainASCII(std::string_view s) {
  for (unsigned char c : s)
    if (c < 0x20 || c > 0x7e) return false;
  return true;
}

std::string base64Lines(std::string_view bytes) {
  std::span<const uint8_t> span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  return Base64::encode(span, 76) + "\r\n";
}

std::string randomBoundary() {
  std::string b = "=_tolva_";
  for (uint8_t byte : SecureRandom::bytes(12)) {
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02x", byte);
    b += hex;
  }
  return b;
}

// RFC 2231 parameter: filename="plain" or filename*=UTF-8''percent-encoded.
std::string fileNameParameter(const std::string& name) {
  std::string safe = MailMessage::headerSafe(name);
  if (plainASCII(safe)) {
    std::string quoted;
    for (char c : safe) {
      if (c == '"' || c == '\\') quoted.push_back('\\');
      quoted.push_back(c);
    }
    return "filename=\"" + quoted + "\"";
  }
  std::string out = "filename*=UTF-8''";
  for (unsigned char c : safe) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ||
        c == '_') {
      out.push_back(char(c));
    } else {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", c);
      out += hex;
    }
  }
  return out;
}

std::string joinAddresses(const std::vector<std::string>& list) {
  std::string out;
  for (const std::string& a : list) {
    std::string safe = MailMessage::headerSafe(a);
    if (safe.empty()) continue;
    if (!out.empty()) out += ", ";
    out += safe;
  }
  return out;
}

std::string mimeTypeOrDefault(const std::string& type) {
  std::string safe = MailMessage::headerSafe(type);
  // A type is token/token; anything else would break the header.
  bool ok = !safe.empty() && safe.find('/') != std::string::npos;
  for (char c : safe)
    ok = ok && (std::isalnum(static_cast<unsigned char>(c)) || std::string_view("/.+-_").find(c) != std::string_view::npos);
  return ok ? safe : "application/octet-stream";
}

}  // namespace

std::string MailMessage::headerSafe(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (unsigned char c : value) out.push_back(c < 0x20 || c == 0x7f ? ' ' : char(c));
  return out;
}

std::string MailMessage::encodedWord(std::string_view value) {
  std::string safe = headerSafe(value);
  if (plainASCII(safe)) return safe;
  // Encoded words stay under the 75-character limit: split between UTF-8 characters.
  std::string out;
  size_t at = 0;
  while (at < safe.size()) {
    size_t end = std::min(safe.size(), at + 45);
    while (end < safe.size() && (static_cast<unsigned char>(safe[end]) & 0xc0) == 0x80) --end;
    if (!out.empty()) out += "\r\n ";
    out += "=?UTF-8?B?" + Base64::encode(std::string_view(safe).substr(at, end - at)) + "?=";
    at = end;
  }
  return out;
}

std::string MailMessage::write(const MailComposeViewController& composer, std::string boundary) {
  // Every part travels as base64, whose alphabet has no '_': a boundary with
  // one can never occur inside the content.
  if (boundary.empty() || boundary.find('_') == std::string::npos) boundary = randomBoundary();

  std::string m;
  m += "MIME-Version: 1.0\r\n";
  if (std::string to = joinAddresses(composer.toRecipients()); !to.empty()) m += "To: " + to + "\r\n";
  if (std::string cc = joinAddresses(composer.ccRecipients()); !cc.empty()) m += "Cc: " + cc + "\r\n";
  if (std::string bcc = joinAddresses(composer.bccRecipients()); !bcc.empty()) m += "Bcc: " + bcc + "\r\n";
  m += "Subject: " + encodedWord(composer.subject()) + "\r\n";
  // Mail programs open a message marked so as a draft to edit and send.
  m += "X-Unsent: 1\r\n";
  m += "Content-Type: multipart/mixed; boundary=\"" + boundary + "\"\r\n\r\n";
  m += "--" + boundary + "\r\n";
  m += std::string("Content-Type: ") + (composer.isBodyHTML() ? "text/html" : "text/plain") + "; charset=UTF-8\r\n";
  m += "Content-Transfer-Encoding: base64\r\n\r\n";
  m += base64Lines(composer.messageBody());
  for (const auto& a : composer.attachments()) {
    m += "--" + boundary + "\r\n";
    m += "Content-Type: " + mimeTypeOrDefault(a.mimeType) + "\r\n";
    m += "Content-Transfer-Encoding: base64\r\n";
    m += "Content-Disposition: attachment; " + fileNameParameter(a.fileName.empty() ? "attachment" : a.fileName) +
         "\r\n\r\n";
    m += base64Lines(a.data ? a.data->view() : std::string_view());
  }
  m += "--" + boundary + "--\r\n";
  return m;
}

}  // namespace kit
