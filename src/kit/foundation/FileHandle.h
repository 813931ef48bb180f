#pragma once
// An open file that is written at its end (downloads append to their partial file).
// Calls on one handle are serialised, so a close from another thread cannot race a write.

#include <sys/types.h>

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "kit/foundation/Error.h"
#include "kit/foundation/Object.h"

namespace kit {

class FileHandle : public Object {
 public:
  // Opens the file for appending, creating it (with `mode`) when it is missing. A symbolic link
  // at the path is not followed (ELOOP), and anything but a regular file fails with EINVAL.
  static Ref<FileHandle> fileHandleForAppending(const std::string& path, Ref<Error>* error = nullptr,
                                                mode_t mode = 0644);
  ~FileHandle() override;

  const std::string& path() const noexcept { return path_; }
  bool isOpen() const;
  // Writes all bytes at the end of the file (retrying short writes). On failure part of the
  // bytes may have been written; length() tells how far the file got.
  bool write(std::string_view bytes, Ref<Error>* error = nullptr);
  // Current length of the file.
  std::optional<uint64_t> length(Ref<Error>* error = nullptr) const;
  // Cuts the file to `length` bytes (to drop a partly written block).
  bool truncate(uint64_t length, Ref<Error>* error = nullptr);
  // Flushes written bytes to the disk.
  bool synchronize(Ref<Error>* error = nullptr);
  // Closes the file; later writes fail with EBADF. Closing twice is harmless.
  bool close(Ref<Error>* error = nullptr);

  std::string className() const override { return "FileHandle"; }

 private:
  FileHandle(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  bool fail(int err, Ref<Error>* error) const;

  mutable std::mutex mutex_;
  int fd_;
  std::string path_;
};

}  // namespace kit
