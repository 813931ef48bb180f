#pragma once
// The file steps of the download manager that must not follow or replace what someone else put
// in their way: the private folder of partial files, partial files made exclusively, and moves
// that never replace an existing file.

#include <string>

namespace tolva {

class VeskDownloadFiles {
 public:
  // Makes the folder (and its parents) when missing and keeps it 0700; false when the path is
  // not a folder of ours.
  static bool makePrivateFolder(const std::string& folder);
  static bool isSymbolicLink(const std::string& path);
  // A new empty 0600 file; false when anything (a file, a link) is already there.
  static bool createExclusive(const std::string& path);
  // A partial file a resume may append to: a regular file, or nothing (then made anew). A link
  // in its place is removed, never followed.
  static bool prepareForResume(const std::string& path);
  // Moves a file to a name nothing uses, also across file systems: 0, EEXIST when the target is
  // taken, or another errno value.
  static int moveWithoutReplacing(const std::string& from, const std::string& to);
};

}  // namespace tolva
