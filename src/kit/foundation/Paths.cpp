#include "kit/foundation/Paths.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>

namespace kit {
namespace {

// Never destroyed: a worker thread still running while the process exits
// (a site-icon fetch) may ask for a folder after static destructors ran.
struct State {
  std::mutex mutex;
  std::string data, cache;
};
State& state() {
  static State* s = new State();
  return *s;
}

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
  std::string& data = state().data;
  std::string& cache = state().cache;
  if (!data.empty()) return;
  std::string home = env("TOLVA_HOME");
  if (!home.empty()) {
    data = home + "/data";
    cache = home + "/cache";
    return;
  }
  std::string userHome = env("HOME");
  if (userHome.empty()) userHome = "/tmp";
  std::string xdgData = env("XDG_DATA_HOME");
  std::string xdgCache = env("XDG_CACHE_HOME");
  // XDG says relative values are invalid and must be ignored.
  if (xdgData.empty() || xdgData[0] != '/') xdgData = userHome + "/.local/share";
  if (xdgCache.empty() || xdgCache[0] != '/') xdgCache = userHome + "/.cache";
  data = xdgData + "/tolva";
  cache = xdgCache + "/tolva";
}

std::string folder(const std::string& root, const char* name) {
  std::string p = root + "/" + name;
  makeDirs(p);
  return p;
}

}  // namespace

std::string Paths::dataRoot() {
  std::lock_guard<std::mutex> g(state().mutex);
  resolve();
  makeDirs(state().data);
  return state().data;
}

std::string Paths::cacheRoot() {
  std::lock_guard<std::mutex> g(state().mutex);
  resolve();
  makeDirs(state().cache);
  return state().cache;
}

std::string Paths::documentsDirectory() { return folder(dataRoot(), "Documents"); }
std::string Paths::cachesDirectory() { return folder(cacheRoot(), "Caches"); }
std::string Paths::cachesDirectoryPath() {
  std::lock_guard<std::mutex> g(state().mutex);
  resolve();
  return state().cache + "/Caches";
}
std::string Paths::temporaryDirectory() { return folder(cacheRoot(), "tmp"); }
std::string Paths::preferencesFile() { return dataRoot() + "/Preferences.plist"; }
std::string Paths::keychainFile() { return dataRoot() + "/keychain.plist"; }

void Paths::reset() {
  std::lock_guard<std::mutex> g(state().mutex);
  state().data.clear();
  state().cache.clear();
}

}  // namespace kit
