#include "kit/gtk/SystemMailHandler.h"

#include <gio/gio.h>

#include <cstdio>
#include <string>

#include "kit/gtk/SystemURLOpener.h"


namespace kit::gtk {
namespace {

bool launch(GAppInfo* app, GList* files, GList* uris) {
  GError* error = nullptr;
  gboolean ok = files ? g_app_info_launch(app, files, nullptr, &error)
                      : g_app_info_launch_uris(app, uris, nullptr, &error);
  if (!ok) {
    std::fprintf(stderr, "kit: the mail program did not start: %s\n", error ? error->message : "unknown error");
    if (error) g_error_free(error);
  }
  return ok;
}

std::string component(const std::string& text) {
  gchar* escaped = g_uri_escape_string(text.c_str(), nullptr, FALSE);
  std::string out = escaped ? escaped : "";
  g_free(escaped);
  return out;
}

std::string joined(const std::vector<std::string>& list) {
  std::string out;
  for (const std::string& a : list) out += (out.empty() ? "" : ",") + a;
  return out;
}

}  // namespace

std::string SystemMailHandler::mailtoURI(const MailComposeViewController& composer) {
  std::string uri = "mailto:" + component(joined(composer.toRecipients()));
  std::string query;
  auto add = [&](const char* name, const std::string& value) {
    if (value.empty()) return;
    query += (query.empty() ? "?" : "&") + std::string(name) + "=" + component(value);
  };
  add("cc", joined(composer.ccRecipients()));
  add("bcc", joined(composer.bccRecipients()));
  add("subject", composer.subject());
  add("body", composer.messageBody());
  return uri + query;
}

bool SystemMailHandler::openMessage(const std::string& path, const MailComposeViewController& composer) {
  if (GAppInfo* app = g_app_info_get_default_for_type("message/rfc822", FALSE)) {
    GFile* file = g_file_new_for_path(path.c_str());
    GList* files = g_list_append(nullptr, file);
    bool ok = launch(app, files, nullptr);
    g_list_free(files);
    g_object_unref(file);
    g_object_unref(app);
    if (ok) return true;
  }
  if (GAppInfo* app = g_app_info_get_default_for_uri_scheme("mailto")) {
    std::string uri = mailtoURI(composer);
    GList* uris = g_list_append(nullptr, uri.data());
    bool ok = launch(app, nullptr, uris);
    g_list_free(uris);
    g_object_unref(app);
    if (!ok) SystemURLOpener::tellUser("Mail Not Sent", "The mail program did not start, so the message was not handed over.");
    return ok;
  }
  std::fprintf(stderr, "kit: no mail program is set up on this desktop\n");
  SystemURLOpener::tellUser("No Mail Program", "No mail program is set up on this desktop, so the message cannot be sent.");
  return false;
}

}  // namespace kit::gtk
