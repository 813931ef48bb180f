#include "kit/gtk/SystemURLOpener.h"

#include <gio/gio.h>

#include <cstdio>

#include "kit/ui/AlertView.h"

namespace kit::gtk {

bool SystemURLOpener::canOpenURL(const URL& url) {
  const std::string scheme = url.lowercaseScheme();
  if (scheme.empty()) return false;
  GAppInfo* app = g_app_info_get_default_for_uri_scheme(scheme.c_str());
  if (!app) return false;
  g_object_unref(app);
  return true;
}

void SystemURLOpener::tellUser(const std::string& title, const std::string& message) {
  Ref<AlertView> alert = make<AlertView>(title, message, nullptr, "OK");
  alert->show();
}

bool SystemURLOpener::openURL(const URL& url) {
  const std::string address = url.absoluteString();
  if (!canOpenURL(url)) {
    std::fprintf(stderr, "kit: no program on this desktop opens %s\n", address.c_str());
    tellUser("Cannot Open", "No program on this desktop opens this address:\n" + address);
    return false;
  }
  GError* error = nullptr;
  if (g_app_info_launch_default_for_uri(address.c_str(), nullptr, &error)) return true;
  const std::string why = error ? error->message : "unknown error";
  std::fprintf(stderr, "kit: cannot hand %s over: %s\n", address.c_str(), why.c_str());
  if (error) g_error_free(error);
  tellUser("Cannot Open", "The program for this address did not start (" + why + "):\n" + address);
  return false;
}

}  // namespace kit::gtk
