#pragma once
// Whole-file replacement that a crash cannot tear: the bytes go to a fresh
// temporary file in the same folder, are flushed to disk, and only then take
// the target's name. Readers see either the old file or the new one, never a
// mix, and a failure leaves the old file as it was.

#include <sys/types.h>

#include <functional>
#include <string>
#include <string_view>

#include "kit/foundation/Error.h"

namespace kit {

class AtomicFile {
 public:
  // Writes bytes to path; mode applies to the new file (the process umask
  // still narrows it). Null on success, otherwise the reason (a POSIX error
  // naming the path).
  static Ref<Error> write(const std::string& path, std::string_view bytes, mode_t mode = 0644);

  // Renames a damaged file out of the way as "<path>.corrupt-YYYYMMDDTHHMMSS"
  // (UTC; "-2", "-3", ... appended when that name is taken). An existing file
  // is never overwritten. Answers the new path, or "" with *error set.
  static std::string moveAside(const std::string& path, Ref<Error>* error = nullptr);

  // Removes the temporary files that writes of path left behind when they
  // were cut short (the writer killed between creating and renaming its
  // file): those of processes that are gone, and any older than an hour (a
  // pid may have been reused). Answers how many were removed.
  static size_t removeStaleTemporaries(const std::string& path);

  // Creates (exclusively, write-only) a temporary file of the kind write()
  // uses for path, in path's folder, so removeStaleTemporaries(path) clears
  // it should its writer die. Answers the descriptor with *tempPath set, or
  // -1 with errno set.
  static int openTemporary(const std::string& path, std::string* tempPath, mode_t mode = 0644);

  // Test hook: runs after the temporary file is complete and flushed, just
  // before the rename. A test forks, lets the child _exit() here, and checks
  // that the old file survived. Pass nullptr to remove.
  static void setBeforeRenameHookForTesting(std::function<void(const std::string& tempPath)> hook);
};

}  // namespace kit
