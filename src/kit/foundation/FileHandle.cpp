#include "kit/foundation/FileHandle.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace kit {

Ref<FileHandle> FileHandle::fileHandleForAppending(const std::string& path, Ref<Error>* error, mode_t mode) {
  if (path.find('\0') != std::string::npos) {
    if (error) *error = Error::posixError(EINVAL, path);
    return nullptr;
  }
  // A link planted at the path is not followed, and only a regular file is written (a FIFO
  // would hold the writer up, a device would swallow the download).
  int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, mode);
  if (fd < 0) {
    if (error) *error = Error::posixError(errno, path);
    return nullptr;
  }
  struct stat st {};
  const int err = ::fstat(fd, &st) != 0 ? errno : S_ISREG(st.st_mode) ? 0 : EINVAL;
  if (err) {
    ::close(fd);
    if (error) *error = Error::posixError(err, path);
    return nullptr;
  }
  // Back to ordinary, waiting writes.
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return Ref<FileHandle>(new FileHandle(fd, path));
}

FileHandle::~FileHandle() {
  if (fd_ >= 0) ::close(fd_);
}

bool FileHandle::fail(int err, Ref<Error>* error) const {
  if (error) *error = Error::posixError(err, path_);
  return false;
}

bool FileHandle::isOpen() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return fd_ >= 0;
}

bool FileHandle::write(std::string_view bytes, Ref<Error>* error) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (fd_ < 0) return fail(EBADF, error);
  const char* p = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    ssize_t n = ::write(fd_, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return fail(errno, error);
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  return true;
}

std::optional<uint64_t> FileHandle::length(Ref<Error>* error) const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (fd_ < 0) {
    fail(EBADF, error);
    return std::nullopt;
  }
  struct stat st{};
  if (::fstat(fd_, &st) != 0) {
    fail(errno, error);
    return std::nullopt;
  }
  return static_cast<uint64_t>(st.st_size);
}

bool FileHandle::truncate(uint64_t length, Ref<Error>* error) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (fd_ < 0) return fail(EBADF, error);
  if (::ftruncate(fd_, static_cast<off_t>(length)) != 0) return fail(errno, error);
  return true;
}

bool FileHandle::synchronize(Ref<Error>* error) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (fd_ < 0) return fail(EBADF, error);
  if (::fsync(fd_) != 0) return fail(errno, error);
  return true;
}

bool FileHandle::close(Ref<Error>* error) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (fd_ < 0) return true;
  int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0 && errno != EINTR) return fail(errno, error);
  return true;
}

}  // namespace kit
