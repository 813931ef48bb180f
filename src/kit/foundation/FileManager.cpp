#include "kit/foundation/FileManager.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "kit/foundation/Dictionary.h"
#include "kit/foundation/String.h"

namespace kit {

namespace {

bool fail(Ref<Error>* error, int err, const std::string& path) {
  if (error) *error = Error::posixError(err, path);
  return false;
}

// A path with a NUL byte would be cut short by the system calls and name another file.
bool usable(const std::string& path, Ref<Error>* error) {
  if (path.find('\0') != std::string::npos) return fail(error, EINVAL, path);
  return true;
}

std::string parentOf(const std::string& path) {
  size_t slash = path.find_last_not_of('/');
  if (slash == std::string::npos) return "/";
  slash = path.rfind('/', slash);
  if (slash == std::string::npos) return ".";
  size_t end = path.find_last_not_of('/', slash);
  return end == std::string::npos ? "/" : path.substr(0, end + 1);
}

std::string nameOf(const std::string& path) {
  size_t end = path.find_last_not_of('/');
  if (end == std::string::npos) return "/";
  size_t slash = path.rfind('/', end);
  return path.substr(slash == std::string::npos ? 0 : slash + 1, end - (slash == std::string::npos ? 0 : slash + 1) + 1);
}

void syncDirectory(const std::string& dir) {
  int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);  // best effort: some file systems refuse to sync folders
  ::close(fd);
}


bool closeChecked(int fd) {
  // After close fails the descriptor is gone either way; EINTR does not mean it stays open.
  return ::close(fd) == 0 || errno == EINTR;
}

bool renameNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // The file system does not know the flag; a hard link also refuses to replace.
  if (::link(from.c_str(), to.c_str()) != 0) return false;
  ::unlink(from.c_str());
  return true;
}

bool removeTreeAt(int parentFd, const std::string& name, const std::string& fullPath, Ref<Error>* error) {
  int fd = ::openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return fail(error, errno, fullPath);
  DIR* dir = ::fdopendir(fd);
  if (!dir) {
    int err = errno;
    ::close(fd);
    return fail(error, err, fullPath);
  }
  bool ok = true;
  while (ok) {
    errno = 0;
    dirent* ent = ::readdir(dir);
    if (!ent) {
      if (errno) ok = fail(error, errno, fullPath);
      break;
    }
    std::string child = ent->d_name;
    if (child == "." || child == "..") continue;
    std::string childPath = fullPath + "/" + child;
    bool isDir = ent->d_type == DT_DIR;
    if (ent->d_type == DT_UNKNOWN) {
      struct stat st{};
      if (::fstatat(fd, child.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        ok = fail(error, errno, childPath);
        break;
      }
      isDir = S_ISDIR(st.st_mode);
    }
    if (isDir) {
      ok = removeTreeAt(fd, child, childPath, error);
    } else if (::unlinkat(fd, child.c_str(), 0) != 0) {
      ok = fail(error, errno, childPath);
    }
  }
  ::closedir(dir);
  if (!ok) return false;
  if (::unlinkat(parentFd, name.c_str(), AT_REMOVEDIR) != 0) return fail(error, errno, fullPath);
  return true;
}

bool copyFile(const std::string& from, const std::string& to, const struct stat& st, bool durable,
              Ref<Error>* error) {
  // The item was a regular file when it was looked at; what is opened must still be one.
  int in = ::open(from.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (in < 0) return fail(error, errno, from);
  struct stat opened{};
  if (::fstat(in, &opened) != 0 || !S_ISREG(opened.st_mode)) {
    ::close(in);
    return fail(error, ENODEV, from);
  }
  int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (out < 0) {
    int err = errno;
    ::close(in);
    return fail(error, err, to);
  }
  std::string buf(1 << 16, '\0');
  int err = 0;
  std::string errPath = to;
  while (true) {
    ssize_t n = ::read(in, buf.data(), buf.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      err = errno;
      errPath = from;
      break;
    }
    if (n == 0) break;
    if (!FileManager::writeAll(out, std::string_view(buf.data(), static_cast<size_t>(n)))) {
      err = errno;
      break;
    }
  }
  ::close(in);
  if (!err) {
    struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (::fchmod(out, st.st_mode & 07777) != 0 || ::futimens(out, times) != 0) err = errno;
  }
  if (!err && durable && ::fsync(out) != 0) err = errno;
  if (!closeChecked(out) && !err) err = errno;
  if (err) {
    ::unlink(to.c_str());
    return fail(error, err, errPath);
  }
  return true;
}

bool copyTree(const std::string& from, const std::string& to, bool durable, Ref<Error>* error) {
  struct stat st{};
  if (::lstat(from.c_str(), &st) != 0) return fail(error, errno, from);
  if (S_ISREG(st.st_mode)) return copyFile(from, to, st, durable, error);
  if (S_ISLNK(st.st_mode)) {
    std::string target(static_cast<size_t>(st.st_size) + 1, '\0');
    ssize_t n = ::readlink(from.c_str(), target.data(), target.size());
    if (n < 0) return fail(error, errno, from);
    target.resize(static_cast<size_t>(n));
    if (::symlink(target.c_str(), to.c_str()) != 0) return fail(error, errno, to);
    return true;
  }
  if (!S_ISDIR(st.st_mode)) return fail(error, ENOTSUP, from);
  // Owner-only while it fills; the source's permissions are applied at the end.
  if (::mkdir(to.c_str(), 0700) != 0) return fail(error, errno, to);
  auto names = FileManager::contentsOfDirectory(from, error);
  bool ok = names.has_value();
  if (ok) {
    for (const auto& name : *names) {
      if (!copyTree(from + "/" + name, to + "/" + name, durable, error)) {
        ok = false;
        break;
      }
    }
  }
  if (ok) {
    struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (::chmod(to.c_str(), st.st_mode & 07777) != 0 || ::utimensat(AT_FDCWD, to.c_str(), times, 0) != 0) {
      ok = fail(error, errno, to);
    }
  }
  if (!ok) {
    FileManager::removeItem(to);  // we made it, so nothing of the caller's is lost
    return false;
  }
  if (durable) syncDirectory(to);
  return true;
}

std::string temporaryTemplate(const std::string& folder, std::string_view prefix, std::string_view suffix) {
  std::string t = folder;
  if (t.empty()) t = ".";
  if (t.back() != '/') t += '/';
  t.append(prefix).append("XXXXXX").append(suffix);
  return t;
}

}  // namespace

std::string FileManager::folderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool FileManager::fileExists(const std::string& path) {
  struct stat st{};
  return path.find('\0') == std::string::npos && ::stat(path.c_str(), &st) == 0;
}

bool FileManager::fileExists(const std::string& path, bool* isDirectory) {
  struct stat st{};
  bool exists = path.find('\0') == std::string::npos && ::stat(path.c_str(), &st) == 0;
  if (isDirectory) *isDirectory = exists && S_ISDIR(st.st_mode);
  return exists;
}

bool FileManager::isDirectory(const std::string& path) {
  bool dir = false;
  return fileExists(path, &dir) && dir;
}

std::optional<uint64_t> FileManager::fileSize(const std::string& path, Ref<Error>* error) {
  auto a = attributesOfItem(path, error);
  if (!a) return std::nullopt;
  return a->size;
}

std::optional<FileManager::Attributes> FileManager::attributesOfItem(const std::string& path, Ref<Error>* error) {
  if (!usable(path, error)) return std::nullopt;
  struct stat st{};
  if (::lstat(path.c_str(), &st) != 0) {
    fail(error, errno, path);
    return std::nullopt;
  }
  Attributes a;
  a.size = static_cast<uint64_t>(st.st_size);
  a.modificationDate = Date::dateWithTimeIntervalSince1970(static_cast<double>(st.st_mtim.tv_sec) +
                                                           static_cast<double>(st.st_mtim.tv_nsec) / 1e9);
  a.isDirectory = S_ISDIR(st.st_mode);
  a.isSymbolicLink = S_ISLNK(st.st_mode);
  a.permissions = st.st_mode & 07777;
  return a;
}

std::optional<std::vector<std::string>> FileManager::contentsOfDirectory(const std::string& path,
                                                                         Ref<Error>* error) {
  if (!usable(path, error)) return std::nullopt;
  DIR* dir = ::opendir(path.c_str());
  if (!dir) {
    fail(error, errno, path);
    return std::nullopt;
  }
  std::vector<std::string> names;
  while (true) {
    errno = 0;
    dirent* ent = ::readdir(dir);
    if (!ent) {
      int err = errno;
      ::closedir(dir);
      if (err) {
        fail(error, err, path);
        return std::nullopt;
      }
      break;
    }
    std::string name = ent->d_name;
    if (name != "." && name != "..") names.push_back(std::move(name));
  }
  std::sort(names.begin(), names.end());
  return names;
}

bool FileManager::createDirectory(const std::string& path, bool withIntermediateDirectories, Ref<Error>* error,
                                  mode_t mode) {
  if (!usable(path, error)) return false;
  if (path.empty()) return fail(error, ENOENT, path);
  if (withIntermediateDirectories) {
    for (size_t pos = path.find('/', 1); pos != std::string::npos; pos = path.find('/', pos + 1)) {
      if (path[pos - 1] == '/') continue;
      std::string prefix = path.substr(0, pos);
      if (::mkdir(prefix.c_str(), mode) != 0 && errno != EEXIST) return fail(error, errno, prefix);
    }
  }
  if (::mkdir(path.c_str(), mode) == 0) return true;
  int err = errno;
  if (err == EEXIST && withIntermediateDirectories && isDirectory(path)) return true;
  return fail(error, err, path);
}

bool FileManager::removeItem(const std::string& path, Ref<Error>* error) {
  if (!usable(path, error)) return false;
  struct stat st{};
  if (::lstat(path.c_str(), &st) != 0) return fail(error, errno, path);
  if (!S_ISDIR(st.st_mode)) {
    if (::unlink(path.c_str()) != 0) return fail(error, errno, path);
    return true;
  }
  return removeTreeAt(AT_FDCWD, path, path, error);
}

bool FileManager::moveItem(const std::string& from, const std::string& to, Ref<Error>* error) {
  if (!usable(from, error) || !usable(to, error)) return false;
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  int err = errno;
  struct stat st{};
  if (err == EINVAL || err == ENOSYS) {
    // No support for the no-replace flag here: check first, then rename.
    if (::lstat(to.c_str(), &st) == 0) return fail(error, EEXIST, to);
    if (::rename(from.c_str(), to.c_str()) == 0) return true;
    err = errno;
  }
  if (err == EEXIST || err == ENOTEMPTY) return fail(error, EEXIST, to);
  if (err != EXDEV) return fail(error, err, from);
  if (::lstat(to.c_str(), &st) == 0) return fail(error, EEXIST, to);
  if (!copyTree(from, to, true, error)) return false;
  syncDirectory(parentOf(to));
  // The copy is safely on disk; a source that cannot be removed is reported, and both stay.
  return removeItem(from, error);
}

bool FileManager::copyItem(const std::string& from, const std::string& to, Ref<Error>* error) {
  if (!usable(from, error) || !usable(to, error)) return false;
  struct stat st{};
  if (::lstat(to.c_str(), &st) == 0) return fail(error, EEXIST, to);
  return copyTree(from, to, false, error);
}

bool FileManager::createFile(const std::string& path, std::string_view contents, Ref<Error>* error, mode_t mode) {
  if (!usable(path, error)) return false;
  if (contents.empty()) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0) return fail(error, errno, path);
    int err = ::fchmod(fd, mode) == 0 ? 0 : errno;  // the umask does not decide
    ::close(fd);
    if (err) {
      ::unlink(path.c_str());
      return fail(error, err, path);
    }
    return true;
  }
  // Written aside, then put in place without replacing: nobody sees a half-written file.
  std::string temp = temporaryTemplate(parentOf(path), "." + nameOf(path) + ".", {});
  int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return fail(error, errno, path);
  int err = 0;
  if (!FileManager::writeAll(fd, contents) || ::fchmod(fd, mode) != 0 || ::fsync(fd) != 0) err = errno;
  if (!closeChecked(fd) && !err) err = errno;
  if (!err && !renameNoReplace(temp, path)) err = errno;
  if (err) {
    ::unlink(temp.c_str());
    return fail(error, err, path);
  }
  syncDirectory(parentOf(path));
  return true;
}

std::optional<std::string> FileManager::createUniqueFile(const std::string& folder, std::string_view prefix,
                                                         std::string_view suffix, Ref<Error>* error) {
  std::string t = temporaryTemplate(folder, prefix, suffix);
  if (!usable(t, error)) return std::nullopt;
  if (prefix.find('/') != std::string_view::npos || suffix.find('/') != std::string_view::npos) {
    fail(error, EINVAL, t);
    return std::nullopt;
  }
  int fd = ::mkostemps(t.data(), static_cast<int>(suffix.size()), O_CLOEXEC);
  if (fd < 0) {
    fail(error, errno, folder);
    return std::nullopt;
  }
  ::close(fd);
  return t;
}

namespace {

bool refuse(Ref<Error>* error, int err, const std::string& path, const std::string& why) {
  if (!error) return false;
  auto info = MutableDictionary::dictionary();
  info->setObject(str(path), Error::kFilePathErrorKey);
  info->setObject(str(path + " " + why), Error::kLocalizedDescriptionKey);
  *error = Error::errorWithDomain(Error::kPOSIXErrorDomain, err, info);
  return false;
}

std::string tooLarge(uint64_t maxBytes) {
  return maxBytes >= (uint64_t{1} << 20) ? "is larger than " + std::to_string(maxBytes >> 20) + " MiB"
                                         : "is larger than " + std::to_string(maxBytes) + " bytes";
}

}  // namespace

int FileManager::openRegularFile(const std::string& path, Ref<Error>* error, uint64_t maxBytes, uint64_t* size) {
  if (!usable(path, error)) return -1;
  // Not blocking: opening a FIFO would wait for a writer that may never come.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    fail(error, errno, path);
    return -1;
  }
  struct stat st{};
  int err = 0;
  std::string why;
  if (::fstat(fd, &st) != 0) {
    err = errno;
  } else if (S_ISDIR(st.st_mode)) {
    err = EISDIR;
  } else if (!S_ISREG(st.st_mode)) {
    // A FIFO, a socket or a device holds no file's contents, however long it is read.
    err = ENODEV;
    why = "is not a regular file";
  } else if (st.st_size < 0 || static_cast<uint64_t>(st.st_size) > maxBytes) {
    err = EFBIG;
    why = tooLarge(maxBytes);
  }
  if (err) {
    ::close(fd);
    if (why.empty())
      fail(error, err, path);
    else
      refuse(error, err, path, why);
    return -1;
  }
  // Reads of a regular file never block anyway; the flag goes so the descriptor behaves plainly.
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  if (size) *size = static_cast<uint64_t>(st.st_size);
  return fd;
}

Ref<Data> FileManager::readFile(const std::string& path, Ref<Error>* error, uint64_t maxBytes) {
  uint64_t size = 0;
  const int fd = openRegularFile(path, error, maxBytes, &size);
  if (fd < 0) return nullptr;
  std::vector<uint8_t> bytes;
  bytes.reserve(static_cast<size_t>(size));
  uint8_t buf[1 << 16];
  while (true) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      int err = errno;
      ::close(fd);
      fail(error, err, path);
      return nullptr;
    }
    if (n == 0) break;
    // The file may grow while it is read.
    if (bytes.size() + static_cast<uint64_t>(n) > maxBytes) {
      ::close(fd);
      refuse(error, EFBIG, path, tooLarge(maxBytes));
      return nullptr;
    }
    bytes.insert(bytes.end(), buf, buf + n);
  }
  ::close(fd);
  return Ref<Data>(new Data(std::move(bytes)));
}

bool FileManager::writeFile(const std::string& path, std::string_view bytes, Ref<Error>* error,
                            std::optional<mode_t> mode) {
  if (!usable(path, error)) return false;
  if (path.empty()) return fail(error, ENOENT, path);
  mode_t perms = 0644;
  struct stat st{};
  if (mode) {
    perms = *mode;
  } else if (::stat(path.c_str(), &st) == 0) {
    perms = st.st_mode & 07777;
  }
  std::string dir = parentOf(path);
  std::string temp = temporaryTemplate(dir, "." + nameOf(path) + ".", {});
  int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return fail(error, errno, path);
  int err = 0;
  if (!FileManager::writeAll(fd, bytes) || ::fchmod(fd, perms) != 0 || ::fsync(fd) != 0) err = errno;
  if (!closeChecked(fd) && !err) err = errno;
  if (!err && ::rename(temp.c_str(), path.c_str()) != 0) err = errno;
  if (err) {
    ::unlink(temp.c_str());
    return fail(error, err, path);
  }
  syncDirectory(dir);
  return true;
}

bool FileManager::writeAll(int fd, std::string_view bytes) {
  const char* p = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  return true;
}

}  // namespace kit
