#include "kit/gtk/GioDocumentOpener.h"

#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <limits>

#include "kit/foundation/FileManager.h"

namespace kit::gtk {

namespace {

bool launch(GAppInfo* app, const std::string& path) {
  GFile* file = g_file_new_for_path(path.c_str());
  GList* files = g_list_append(nullptr, file);
  GError* error = nullptr;
  const bool ok = g_app_info_launch(app, files, nullptr, &error);
  if (!ok) {
    std::fprintf(stderr, "kit: cannot open %s: %s\n", path.c_str(), error ? error->message : "unknown error");
    if (error) g_error_free(error);
  }
  g_list_free(files);
  g_object_unref(file);
  return ok;
}

}  // namespace

std::string GioDocumentOpener::contentTypeOfFile(const std::string& path) {
  char head[4096];
  ssize_t n = 0;
  // Only a regular file's head is looked at: a FIFO in the folder must not block the window.
  if (const int fd = FileManager::openRegularFile(path, nullptr, std::numeric_limits<uint64_t>::max()); fd >= 0) {
    do {
      n = ::read(fd, head, sizeof head);
    } while (n < 0 && errno == EINTR);
    ::close(fd);
  }
  gboolean uncertain = FALSE;
  gchar* type = g_content_type_guess(path.c_str(), reinterpret_cast<const guchar*>(head),
                                     static_cast<gsize>(n > 0 ? n : 0), &uncertain);
  gchar* mime = type ? g_content_type_get_mime_type(type) : nullptr;
  std::string result = mime ? mime : (type ? type : "application/octet-stream");
  g_free(mime);
  g_free(type);
  return result;
}

std::vector<DocumentOpener::Application> GioDocumentOpener::applicationsForFile(const std::string& path) {
  std::vector<Application> result;
  const std::string type = contentTypeOfFile(path);
  GList* apps = g_app_info_get_all_for_type(type.c_str());
  for (GList* l = apps; l; l = l->next) {
    auto* app = G_APP_INFO(l->data);
    const char* id = g_app_info_get_id(app);
    if (!id || !g_app_info_should_show(app)) continue;
    result.push_back({id, g_app_info_get_display_name(app) ? g_app_info_get_display_name(app) : id});
  }
  g_list_free_full(apps, g_object_unref);
  return result;
}

bool GioDocumentOpener::openFileWithApplication(const std::string& path, const std::string& identifier) {
  GDesktopAppInfo* app = g_desktop_app_info_new(identifier.c_str());
  if (!app) return false;
  const bool ok = launch(G_APP_INFO(app), path);
  g_object_unref(app);
  return ok;
}

bool GioDocumentOpener::openFileWithDefaultApplication(const std::string& path) {
  const std::string type = contentTypeOfFile(path);
  GAppInfo* app = g_app_info_get_default_for_type(type.c_str(), FALSE);
  if (!app) return false;
  const bool ok = launch(app, path);
  g_object_unref(app);
  return ok;
}

}  // namespace kit::gtk
