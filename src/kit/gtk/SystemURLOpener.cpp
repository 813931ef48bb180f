#include "kit/gtk/SystemURLOpener.h"

#include <gio/gio.h>

#include <cstdio>

namespace kit::gtk {

bool SystemURLOpener::canOpenURL(const URL& url) {
  const std::string scheme = url.lowercaseScheme();
  if (scheme.empty()) return false;
  GAppInfo* app = g_app_info_get_default_for_uri_scheme(scheme.c_str());
  if (!app) return false;
  g_object_unref(app);
  return true;
}

bool SystemURLOpener::openURL(const URL& url) {
  if (!canOpenURL(url)) return false;
  GError* error = nullptr;
  if (g_app_info_launch_default_for_uri(url.absoluteString().c_str(), nullptr, &error)) return true;
  std::fprintf(stderr, "kit: cannot hand %s over: %s\n", url.absoluteString().c_str(),
               error ? error->message : "unknown error");
  if (error) g_error_free(error);
  return false;
}

}  // namespace kit::gtk
