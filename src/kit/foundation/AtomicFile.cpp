#include "kit/foundation/AtomicFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <random>

#include "kit/foundation/Clock.h"
#include "kit/foundation/FileManager.h"

namespace kit {
namespace {

std::mutex gHookMutex;
std::function<void(const std::string&)> gBeforeRename;

std::string baseOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A name nobody else is using right now: pid, a process-wide counter and
// some randomness, so concurrent writers (threads or processes) never share
// a temporary file.
constexpr const char* kTempMarker = ".tmp-";

std::string temporaryName(const std::string& path) {
  static std::atomic<unsigned long> counter{0};
  thread_local std::mt19937_64 rng(std::random_device{}());
  char suffix[96];
  std::snprintf(suffix, sizeof suffix, "%s%d-%lu-%08llx", kTempMarker, static_cast<int>(::getpid()),
                counter.fetch_add(1), static_cast<unsigned long long>(rng() & 0xffffffffULL));
  return FileManager::folderOf(path) + "/." + baseOf(path) + suffix;
}

int openExclusive(std::string& tempPath, const std::string& path, mode_t mode) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    tempPath = temporaryName(path);
    int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}


// Makes the rename itself durable. Some file systems cannot sync a folder
// (EINVAL); the data is already safe there, so that is not a failure.
int syncFolder(const std::string& folder) {
  int dfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd < 0) return errno;
  int err = 0;
  if (::fsync(dfd) != 0 && errno != EINVAL && errno != EROFS) err = errno;
  ::close(dfd);
  return err;
}

// Renames without ever replacing an existing target.
int renameNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  // The file system cannot rename exclusively: a hard link fails on an
  // existing name just the same.
  if (::link(from.c_str(), to.c_str()) != 0) return errno;
  ::unlink(from.c_str());
  return 0;
}

}  // namespace

Ref<Error> AtomicFile::write(const std::string& path, std::string_view bytes, mode_t mode) {
  if (path.empty()) return Error::posixError(ENOENT, path);
  std::string tempPath;
  int fd = openExclusive(tempPath, path, mode);
  if (fd < 0) return Error::posixError(errno, path);

  auto fail = [&](int err) {
    if (fd >= 0) ::close(fd);
    ::unlink(tempPath.c_str());
    return Error::posixError(err, path);
  };
  // The umask must not narrow the mode (a 0600 secret file stays readable to us)
  // nor an inherited one widen it.
  if (::fchmod(fd, mode) != 0) return fail(errno);
  if (!FileManager::writeAll(fd, bytes)) return fail(errno);
  if (::fsync(fd) != 0) return fail(errno);
  int closing = ::close(fd);
  fd = -1;
  if (closing != 0) return fail(errno);

  {
    std::function<void(const std::string&)> hook;
    {
      std::lock_guard<std::mutex> g(gHookMutex);
      hook = gBeforeRename;
    }
    if (hook) hook(tempPath);
  }

  if (::rename(tempPath.c_str(), path.c_str()) != 0) return fail(errno);
  // The new file is in place and its contents are on disk; a folder that
  // cannot be synced only delays the rename's durability, so callers must not
  // treat the write as lost.
  if (int err = syncFolder(FileManager::folderOf(path)))
    std::fprintf(stderr, "kit: could not sync the folder of %s: %s\n", path.c_str(), std::strerror(err));
  return nullptr;
}

std::string AtomicFile::moveAside(const std::string& path, Ref<Error>* error) {
  auto secs = static_cast<time_t>(Clock::now() + Clock::kReferenceDateOffset1970);
  struct tm tm{};
  gmtime_r(&secs, &tm);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%S", &tm);
  std::string base = path + ".corrupt-" + stamp;

  int err = ENOENT;
  for (int n = 1; n < 1000; ++n) {
    std::string target = n == 1 ? base : base + "-" + std::to_string(n);
    err = renameNoReplace(path, target);
    if (err == 0) {
      syncFolder(FileManager::folderOf(path));
      if (error) *error = nullptr;
      return target;
    }
    if (err != EEXIST) break;
  }
  if (error) *error = Error::posixError(err, path);
  return {};
}

size_t AtomicFile::removeStaleTemporaries(const std::string& path) {
  const std::string prefix = "." + baseOf(path) + kTempMarker;
  const std::string folder = FileManager::folderOf(path);
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return 0;
  const time_t now = ::time(nullptr);  // file times are real, whatever the clock says
  size_t removed = 0;
  while (dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.compare(0, prefix.size(), prefix) != 0) continue;
    // "<pid>-<counter>-<random>" follows the marker.
    const char* digits = name.c_str() + prefix.size();
    char* end = nullptr;
    errno = 0;
    const long pid = std::strtol(digits, &end, 10);
    if (end == digits || *end != '-' || errno != 0 || pid <= 0) continue;
    struct stat st{};
    if (::fstatat(::dirfd(dir), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) continue;
    const bool writerGone = ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
    const bool old = now - st.st_mtime > 3600;
    if (!writerGone && !old) continue;
    if (::unlinkat(::dirfd(dir), name.c_str(), 0) == 0) ++removed;
  }
  ::closedir(dir);
  return removed;
}

int AtomicFile::openTemporary(const std::string& path, std::string* tempPath, mode_t mode) {
  return openExclusive(*tempPath, path, mode);
}

void AtomicFile::setBeforeRenameHookForTesting(std::function<void(const std::string&)> hook) {
  std::lock_guard<std::mutex> g(gHookMutex);
  gBeforeRename = std::move(hook);
}

}  // namespace kit
