#include "kit/foundation/Paths.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>

namespace kit {
namespace {

std::mutex gMutex;
std::string gData, gCache;

std::string env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

void makeDirs(const std::string& path) {
  for (size_t i = 1; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '/') {
      std::string part = path.substr(0, i);
      if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return;
    }
  }
}

void resolve() {
  if (!gData.empty()) return;
  std::string home = env("TOLVA_HOME");
  if (!home.empty()) {
    gData = home + "/data";
    gCache = home + "/cache";
    return;
  }
  std::string userHome = env("HOME");
  if (userHome.empty()) userHome = "/tmp";
  std::string xdgData = env("XDG_DATA_HOME");
  std::string xdgCache = env("XDG_CACHE_HOME");
  // XDG says relative values are invalid and must be ignored.
  if (xdgData.empty() || xdgData[0] != '/') xdgData = userHome + "/.local/share";
  if (xdgCache.empty() || xdgCache[0] != '/') xdgCache = userHome + "/.cache";
  gData = xdgData + "/tolva";
  gCache = xdgCache + "/tolva";
}

std::string folder(const std::string& root, const char* name) {
  std::string p = root + "/" + name;
  makeDirs(p);
  return p;
}

}  // namespace

std::string Paths::dataRoot() {
  std::lock_guard<std::mutex> g(gMutex);
  resolve();
  makeDirs(gData);
  return gData;
}

std::string Paths::cacheRoot() {
  std::lock_guard<std::mutex> g(gMutex);
  resolve();
  makeDirs(gCache);
  return gCache;
}

std::string Paths::documentsDirectory() { return folder(dataRoot(), "Documents"); }
std::string Paths::cachesDirectory() { return folder(cacheRoot(), "Caches"); }
std::string Paths::temporaryDirectory() { return folder(cacheRoot(), "tmp"); }
std::string Paths::preferencesFile() { return dataRoot() + "/Preferences.plist"; }
std::string Paths::keychainFile() { return dataRoot() + "/keychain.plist"; }

void Paths::reset() {
  std::lock_guard<std::mutex> g(gMutex);
  gData.clear();
  gCache.clear();
}

}  // namespace kit
