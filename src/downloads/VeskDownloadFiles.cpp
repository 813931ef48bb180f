#include "downloads/VeskDownloadFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "kit/foundation/FileManager.h"

namespace tolva {

bool VeskDownloadFiles::makePrivateFolder(const std::string& folder) {
  struct stat st {};
  if (::lstat(folder.c_str(), &st) != 0) {
    const size_t slash = folder.rfind('/');
    if (slash != std::string::npos && slash > 0) kit::FileManager::createDirectory(folder.substr(0, slash));
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
    if (::lstat(folder.c_str(), &st) != 0) return false;
  }
  if (!S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) return false;
  if ((st.st_mode & 07777) != 0700) ::chmod(folder.c_str(), 0700);
  return true;
}

bool VeskDownloadFiles::isSymbolicLink(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool VeskDownloadFiles::createExclusive(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

bool VeskDownloadFiles::prepareForResume(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return createExclusive(path);
  if (S_ISREG(st.st_mode)) return true;
  if (S_ISLNK(st.st_mode) && ::unlink(path.c_str()) == 0) return createExclusive(path);
  return false;
}

int VeskDownloadFiles::moveWithoutReplacing(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  const int error = errno;
  if (error != EXDEV && error != EINVAL && error != ENOSYS) return error;
  // Another file system (or one without the flag): copy into a new file, then drop the original.
  if (::link(from.c_str(), to.c_str()) == 0) {
    ::unlink(from.c_str());
    return 0;
  }
  if (errno == EEXIST) return EEXIST;
  // Not blocking, and a regular file only: what lies there now may not be the download.
  const int in = ::open(from.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (in < 0) return errno;
  if (struct stat st{}; ::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(in);
    return ENODEV;
  }
  const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (out < 0) {
    const int e = errno;
    ::close(in);
    return e;
  }
  char buffer[65536];
  int result = 0;
  for (;;) {
    const ssize_t n = ::read(in, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0 || !kit::FileManager::writeAll(out, std::string_view(buffer, static_cast<size_t>(n)))) {
      result = errno ? errno : EIO;
      break;
    }
  }
  if (result == 0 && ::fsync(out) != 0) result = errno;
  ::close(in);
  if (::close(out) != 0 && result == 0) result = errno;
  if (result != 0) {
    ::unlink(to.c_str());
    return result;
  }
  ::unlink(from.c_str());
  return 0;
}

}  // namespace tolva
