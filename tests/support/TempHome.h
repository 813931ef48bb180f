#pragma once
// A fresh TOLVA_HOME for one test: created on construction, pointed to by the
// environment and kit's paths, removed with everything in it on destruction.

#include <string>

namespace tolvatest {

class TempHome {
 public:
  TempHome();
  ~TempHome();
  TempHome(const TempHome&) = delete;
  TempHome& operator=(const TempHome&) = delete;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Removes a file tree; ignores what is already gone.
void removeTree(const std::string& path);
// Leaves a Unix socket (that nobody listens on) at `path`; false when that fails.
bool makeUnixSocket(const std::string& path);

}  // namespace tolvatest
