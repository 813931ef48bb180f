#include "kit/foundation/Bundle.h"
#include "kit/foundation/UTF8.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <set>

#include "kit/foundation/FileManager.h"
#include "kit/foundation/PropertyList.h"
#include "kit/foundation/StringsTable.h"

namespace kit {

namespace fs = std::filesystem;

namespace {

constexpr const char* kCocoaErrorDomain = Error::kCocoaErrorDomain;
constexpr long kFileReadUnknownError = 256;
constexpr long kFileReadNoSuchFileError = 260;
constexpr long kFileReadInapplicableStringEncodingError = 261;

// Info.plist's root dictionary, or null (reported on stderr) when it cannot be read.
Ref<Dictionary> readInfoPropertyList(const std::string& path) {
  Ref<Error> error;
  Ref<Object> root = PropertyList::readFromFile(path, PropertyList::Options::Immutable, &error);
  Ref<Dictionary> dict(cast<Dictionary>(root));
  if (!dict) {
    std::cerr << "kit: " << path << " is ignored: "
              << (error ? error->localizedDescription() : std::string("the root is not a dictionary")) << std::endl;
  }
  return dict;
}

std::string absolutePath(std::string path) {
  if (path.empty()) return path;
  std::error_code ec;
  fs::path p = fs::absolute(fs::path(path), ec);
  if (ec) return path;
  std::string s = p.lexically_normal().string();
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

bool exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

bool isDirectory(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// A relative path that stays inside the folder it is joined to.
bool staysInside(std::string_view rel) {
  if (rel.empty()) return true;
  if (rel.front() == '/') return false;
  size_t start = 0;
  while (start <= rel.size()) {
    size_t end = rel.find('/', start);
    if (end == std::string_view::npos) end = rel.size();
    if (rel.substr(start, end - start) == "..") return false;
    start = end + 1;
  }
  return true;
}

std::string join(std::string_view a, std::string_view b) {
  if (b.empty()) return std::string(a);
  std::string out(a);
  if (out.empty() || out.back() != '/') out.push_back('/');
  out.append(b);
  return out;
}

std::string_view withoutDot(std::string_view type) {
  if (!type.empty() && type.front() == '.') type.remove_prefix(1);
  return type;
}

// The folders a resource may be in, in search order.
std::vector<std::string> searchFolders(const std::string& root, std::string_view subdirectory) {
  return {join(root, subdirectory), join(join(root, Bundle::kLocalizationFolder), subdirectory)};
}

Ref<Error> readError(long code, const std::string& description, const std::string& path, int posixErr = 0) {
  auto info = MutableDictionary::dictionary();
  info->setObject(str(description), Error::kLocalizedDescriptionKey);
  info->setObject(str(path), Error::kFilePathErrorKey);
  if (posixErr) info->setObject(Error::posixError(posixErr, path), Error::kUnderlyingErrorKey);
  return Error::errorWithDomain(kCocoaErrorDomain, code, info);
}

void setError(Ref<Error>* out, Ref<Error> e) {
  if (out) *out = std::move(e);
}

std::string executableFolder() {
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  return ec ? std::string(".") : exe.parent_path().string();
}

std::mutex& mainMutex() {
  static std::mutex m;
  return m;
}
std::string& configuredMainPath() {
  static std::string path;
  return path;
}
Ref<Bundle>& currentMain() {
  static Ref<Bundle>* main = new Ref<Bundle>();  // kept for the process
  return *main;
}

}  // namespace

Bundle::Bundle(std::string path) : path_(absolutePath(std::move(path))) {}

Ref<Bundle> Bundle::bundleWithPath(const std::string& path) {
  if (path.empty() || !isDirectory(path)) return nullptr;
  return make<Bundle>(path);
}

void Bundle::setMainBundlePath(std::string path) {
  std::lock_guard lock(mainMutex());
  configuredMainPath() = std::move(path);
}

Ref<Bundle> Bundle::mainBundle() {
  std::string wanted;
  const char* env = std::getenv(kResourcesEnvironmentVariable);
  std::lock_guard lock(mainMutex());
  if (env && *env) {
    wanted = env;
  } else if (!configuredMainPath().empty()) {
    wanted = configuredMainPath();
  } else {
    wanted = join(executableFolder(), "resources");
  }
  // Asked for on every picture and text lookup: an absolute path already
  // normalised once is not worked out again (a relative one follows the
  // working folder, so it is).
  static std::string* lastWanted = new std::string();
  static std::string* lastAbsolute = new std::string();
  if (!wanted.empty() && wanted[0] == '/' && wanted == *lastWanted) {
    wanted = *lastAbsolute;
  } else {
    std::string given = wanted;
    wanted = absolutePath(wanted);
    *lastWanted = given;
    *lastAbsolute = wanted;
  }
  Ref<Bundle>& main = currentMain();
  // A changed path gives a new bundle; holders of the old one keep it intact.
  if (!main || main->bundlePath() != wanted) main = make<Bundle>(wanted);
  return main;
}

std::string Bundle::pathForResource(std::string_view name, std::string_view type) const {
  return pathForResource(name, type, {});
}

std::string Bundle::pathForResource(std::string_view name, std::string_view type,
                                    std::string_view subdirectory) const {
  type = withoutDot(type);
  if (name.empty() || !staysInside(name) || !staysInside(subdirectory)) return {};
  std::string file(name);
  if (!type.empty()) {
    file.push_back('.');
    file.append(type);
  }
  for (const auto& folder : searchFolders(path_, subdirectory)) {
    std::string candidate = join(folder, file);
    if (exists(candidate)) return candidate;
  }
  return {};
}

std::vector<std::string> Bundle::pathsForResourcesOfType(std::string_view type,
                                                         std::string_view subdirectory) const {
  type = withoutDot(type);
  std::vector<std::string> out;
  if (!staysInside(subdirectory)) return out;
  std::set<std::string> seen;
  const std::string suffix = type.empty() ? std::string() : "." + std::string(type);
  for (const auto& folder : searchFolders(path_, subdirectory)) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
      std::string n = it->path().filename().string();
      if (n.size() <= suffix.size() || (!suffix.empty() && !n.ends_with(suffix))) continue;
      // The localisation folder is part of the bundle's layout, not a resource.
      if (n == kLocalizationFolder && folder == path_) continue;
      names.push_back(std::move(n));
    }
    std::sort(names.begin(), names.end());
    for (auto& n : names) {
      if (seen.insert(n).second) out.push_back(join(folder, n));
    }
  }
  return out;
}

Ref<String> Bundle::textOfResource(std::string_view name, std::string_view type, TextEncoding encoding,
                                   Ref<Error>* error) const {
  std::string path = pathForResource(name, type);
  if (path.empty()) {
    std::string file(name);
    if (!withoutDot(type).empty()) file += "." + std::string(withoutDot(type));
    setError(error, readError(kFileReadNoSuchFileError, "The resource " + file + " is not in the bundle",
                              join(path_, file), ENOENT));
    return nullptr;
  }
  return textOfFile(path, encoding, error);
}

Ref<String> Bundle::textOfFile(const std::string& path, TextEncoding encoding, Ref<Error>* error) {
  Ref<Error> failure;
  Ref<Data> bytes = FileManager::readFile(path, &failure);
  if (!bytes) {
    const int err = failure ? static_cast<int>(failure->code()) : EIO;
    setError(error, readError(err == ENOENT ? kFileReadNoSuchFileError : kFileReadUnknownError,
                              "The file " + path + " could not be read", path, err));
    return nullptr;
  }
  std::string_view text = bytes->view();
  if (encoding == TextEncoding::ASCII) {
    auto bad = std::find_if(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    if (bad != text.end()) {
      setError(error, readError(kFileReadInapplicableStringEncodingError,
                                "The file " + path + " is not ASCII text (byte " +
                                    std::to_string(bad - text.begin()) + ")",
                                path));
      return nullptr;
    }
    return str(std::string(text));
  }
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  if (!utf8::isValid(text)) {
    setError(error, readError(kFileReadInapplicableStringEncodingError,
                              "The file " + path + " is not valid UTF-8 text", path));
    return nullptr;
  }
  return str(std::string(text));
}

Ref<Dictionary> Bundle::infoDictionary() const {
  std::lock_guard lock(mutex_);
  if (!info_) {
    std::string path = pathForResource("Info", "plist");
    Ref<Dictionary> d = path.empty() ? nullptr : readInfoPropertyList(path);
    info_ = d ? d : Dictionary::dictionary();
  }
  return info_;
}

Object* Bundle::objectForInfoDictionaryKey(std::string_view key) const {
  // info_ lives as long as the bundle once loaded, so the raw pointer stays valid.
  return infoDictionary()->objectForKey(key);
}

std::string Bundle::bundleIdentifier() const {
  auto* s = infoDictionary()->get<String>(kIdentifierKey);
  return s ? s->str() : std::string();
}

Ref<Dictionary> Bundle::stringsTable(std::string_view table) const {
  if (table.empty()) table = kDefaultTable;
  std::lock_guard lock(mutex_);
  auto it = tables_.find(table);
  if (it != tables_.end()) return it->second;
  Ref<Dictionary> loaded;
  std::string path = pathForResource(table, "strings");
  if (!path.empty()) {
    Ref<Error> error;
    loaded = StringsTable::load(path, &error);
    if (!loaded) {
      std::cerr << "kit: strings table " << path << " is ignored: "
                << (error ? error->localizedDescription() : std::string("unreadable")) << std::endl;
    }
  }
  if (!loaded) loaded = Dictionary::dictionary();
  tables_.emplace(std::string(table), loaded);
  return loaded;
}

std::string Bundle::localizedStringForKey(std::string_view key, std::string_view value,
                                          std::string_view table) const {
  if (!key.empty()) {
    if (auto* s = stringsTable(table)->get<String>(key)) return s->str();
  }
  return std::string(value.empty() ? key : value);
}

}  // namespace kit
