#pragma once
// File-system operations, as static functions (the class holds no state, so every call is
// safe from any thread).
//
// Failing calls return false / null / nullopt and, when `error` is given, store a kit::Error
// in the POSIX domain whose code is the errno and whose user info names the path
// (Error::kFilePathErrorKey). A path holding a NUL byte fails with EINVAL instead of being cut
// short. Nothing ever replaces an existing item silently except writeFile, whose point is to
// replace: move, copy and createFile fail with EEXIST.

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kit/foundation/Data.h"
#include "kit/foundation/Date.h"
#include "kit/foundation/Error.h"

namespace kit {

class FileManager {
 public:
  struct Attributes {
    uint64_t size = 0;
    Ref<Date> modificationDate;
    bool isDirectory = false;
    bool isSymbolicLink = false;
    mode_t permissions = 0;  // the rwx bits
  };

  // The folder a path names an item in: "." for a bare name, "/" for an item of the root.
  static std::string folderOf(const std::string& path);

  // Whether something is at the path (symbolic links followed).
  static bool fileExists(const std::string& path);
  static bool fileExists(const std::string& path, bool* isDirectory);
  static bool isDirectory(const std::string& path);
  static std::optional<uint64_t> fileSize(const std::string& path, Ref<Error>* error = nullptr);
  // The item itself: a symbolic link is described, not followed.
  static std::optional<Attributes> attributesOfItem(const std::string& path, Ref<Error>* error = nullptr);
  // Names in the folder (without "." and ".."), sorted bytewise.
  static std::optional<std::vector<std::string>> contentsOfDirectory(const std::string& path,
                                                                     Ref<Error>* error = nullptr);

  // With intermediates, missing parents are made and an existing folder is success; without,
  // the parent must exist and an existing item fails with EEXIST.
  static bool createDirectory(const std::string& path, bool withIntermediateDirectories = true,
                              Ref<Error>* error = nullptr, mode_t mode = 0755);
  // Removes a file, a symbolic link (not what it points to) or a whole folder tree.
  static bool removeItem(const std::string& path, Ref<Error>* error = nullptr);
  // Renames; across file systems (EXDEV) copies, flushes the copy to disk and only then
  // removes the source. A failed copy leaves the source untouched and no partial destination.
  static bool moveItem(const std::string& from, const std::string& to, Ref<Error>* error = nullptr);
  // Copies a file, a symbolic link or a folder tree (permissions and modification times kept).
  // A failed copy leaves no partial destination.
  static bool copyItem(const std::string& from, const std::string& to, Ref<Error>* error = nullptr);

  // Creates a file holding `contents`, failing with EEXIST when anything is at the path; of
  // several racing callers exactly one wins. The file appears whole or not at all.
  static bool createFile(const std::string& path, std::string_view contents = {}, Ref<Error>* error = nullptr,
                         mode_t mode = 0644);
  // Creates an empty file named prefix + six random characters + suffix in the folder and
  // returns its path; the name is reserved by the creation itself, so it is never reused.
  static std::optional<std::string> createUniqueFile(const std::string& folder, std::string_view prefix = "tmp",
                                                     std::string_view suffix = {}, Ref<Error>* error = nullptr);

  // What readFile reads at most unless told otherwise.
  static constexpr uint64_t kMaxReadBytes = uint64_t{256} << 20;

  // The one way to open a file that a person or another program may have put there: a regular
  // file only (symbolic links followed), opened without blocking, so a FIFO never stalls the
  // caller and a device such as /dev/zero is never read. A folder fails with EISDIR, any other
  // kind of file with ENODEV, a file larger than `maxBytes` with EFBIG, each error saying why.
  // Answers the descriptor (the caller closes it) or -1; `size` gets the file's size.
  static int openRegularFile(const std::string& path, Ref<Error>* error = nullptr,
                             uint64_t maxBytes = kMaxReadBytes, uint64_t* size = nullptr);
  // The whole file, opened as above; a file that grows past `maxBytes` while it is read fails
  // with EFBIG too.
  static Ref<Data> readFile(const std::string& path, Ref<Error>* error = nullptr, uint64_t maxBytes = kMaxReadBytes);
  // Replaces the file atomically: writes a temporary file next to it, flushes it to disk, renames
  // it over the path and flushes the folder, so after a crash the path holds the old or the new
  // contents, never a mix. The new file gets `mode` when given, else the old file's permissions,
  // else 0644.
  static bool writeFile(const std::string& path, std::string_view bytes, Ref<Error>* error = nullptr,
                        std::optional<mode_t> mode = std::nullopt);
  // Writes every byte to a descriptor, retrying short writes and EINTR; false with errno set on failure.
  static bool writeAll(int fd, std::string_view bytes);
};

}  // namespace kit
